#pragma once
// The charts of a recorded log: cells, spread, current, SOC, temperatures and total voltage one
// above the other, the MOS state, mode and alarm flags as bands under them, and a second log
// drawn lighter over the first. Each chart draws from the per-pixel minimum/maximum reduction,
// so a frame costs about the same for a day as for a month.
//
// Mouse: wheel zooms around the pointer, a drag pans, a drag with Shift (or the right button)
// zooms to the band drawn. Keys: + and - zoom, Left and Right pan, Home resets, and Shift with
// Left or Right moves the cursor line.

#include <QString>
#include <QWidget>
#include <vector>

#include "core/log_event_marks.h"

namespace orlo {
struct LoadedLog;  // core/loaded_log.h, kept out of this header: its Status clashes with moc's view ids
}

namespace orlo::ui {

class LogViewerPlot : public QWidget {
  Q_OBJECT

 public:
  explicit LogViewerPlot(QWidget* parent = nullptr);

  // The logs drawn (either may be null); the second one's rows are moved by `secondShift`
  // seconds. The view is reset to the whole of both.
  void setLogs(const LoadedLog* primary, const LoadedLog* second, CivilSeconds secondShift);
  void setEvents(std::vector<EventMark> events);

  // The span shown, in local date-time seconds.
  double viewFrom() const { return from_; }
  double viewTo() const { return to_; }
  void setView(double from, double to);
  void resetView();
  void zoom(double factor, double aroundFraction = 0.5);
  void pan(double fraction);

  // The cursor line's date-time, and the values of each log's row nearest it.
  double cursor() const { return cursor_; }
  void setCursor(double at);
  QString cursorText() const;

  // Milliseconds the last paint took.
  double lastPaintMs() const { return lastPaintMs_; }

 signals:
  void viewChanged();
  void cursorMoved();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QRect plotArea() const;
  double xToTime(double x) const;
  double timeToX(double t) const;
  void fullSpan(double* from, double* to) const;

  const LoadedLog* primary_ = nullptr;
  const LoadedLog* second_ = nullptr;
  CivilSeconds secondShift_ = 0;
  std::vector<EventMark> events_;
  double from_ = 0;
  double to_ = 1;
  double cursor_ = 0;
  int dragStartX_ = -1;
  double dragStartFrom_ = 0;
  bool rubberBand_ = false;
  int rubberX_ = -1;
  double lastPaintMs_ = 0;
};

}  // namespace orlo::ui
