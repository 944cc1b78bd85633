#pragma once
// A read-only text that changes often and wraps at the width it is given: the Traffic window's
// counters. A QLabel asks its window for a new layout at each new text (a wrapped one then
// measures its text for every size it is asked about), and a selectable one keeps the text as
// a document laid out again each time. This lays the text out once per change, asks for a new
// layout only when its height changes, and offers Copy on its context menu for the selection.

#include <QStaticText>
#include <QString>
#include <QWidget>

namespace orlo::ui {

class WrappedText : public QWidget {
  Q_OBJECT

 public:
  explicit WrappedText(QWidget* parent = nullptr);

  void setText(const QString& text);
  QString text() const { return text_.text(); }

  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QStaticText laidOut(const QString& text, int width) const;

  QStaticText text_;
  int height_ = 0;  // of text_ at the current width
};

}  // namespace orlo::ui
