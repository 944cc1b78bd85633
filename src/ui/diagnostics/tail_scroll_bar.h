#pragma once
// The scroll bar of a table that grows at its end (TailTable). QScrollBar repaints all of
// itself at every change of range or value, which with a new row a second is a tall gradient
// drawn again each second. This one repaints only what a change can alter: nothing when the
// slider stays where it was drawn, and under Fusion, whose groove and slider look the same all
// along their length, the strips where an end of the slider moved. Such a strip is drawn into an
// image of its own height: the style fills its groove and slider whole and leaves the cut to the
// clip, and the raster engine hands any fill of a hundred lines or more to its thread pool.

#include <QScrollBar>

namespace orlo::ui {

class TailScrollBar : public QScrollBar {
  Q_OBJECT

 public:
  explicit TailScrollBar(QWidget* parent = nullptr);

  // Between these, changes of range and value are taken as one, repainted at the release: a new
  // row moves the slider up as the range grows and down again as the view follows it.
  void holdChanges();
  void releaseChanges();

 protected:
  void sliderChange(SliderChange change) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  // What the drawing depends on, besides the style's own state (hover, press, focus).
  struct Look {
    QSize size;
    QRect slider;
    bool atMinimum = false;
    bool atMaximum = false;
    bool enabled = false;
    bool operator==(const Look& o) const {
      return size == o.size && slider == o.slider && atMinimum == o.atMinimum && atMaximum == o.atMaximum &&
             enabled == o.enabled;
    }
  };
  void repaintChange(SliderChange change);
  Look look() const;
  bool drawsUniformAlongLength() const;

  Look drawn_;  // as of the last change, which a pending repaint shows if one is due
  bool known_ = false;
  bool holding_ = false;
};

}  // namespace orlo::ui
