#include "ui/diagnostics/wrapped_text.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QPainter>
#include <cmath>

namespace orlo::ui {

WrappedText::WrappedText(QWidget* parent) : QWidget(parent) {
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
  auto* copy = new QAction(QStringLiteral("Copy"), this);
  connect(copy, &QAction::triggered, this, [this] { QGuiApplication::clipboard()->setText(text()); });
  addAction(copy);
  setContextMenuPolicy(Qt::ActionsContextMenu);
  text_.setTextFormat(Qt::PlainText);
}

QStaticText WrappedText::laidOut(const QString& text, int width) const {
  QStaticText laid(text);
  laid.setTextFormat(Qt::PlainText);
  laid.setTextWidth(std::max(1, width));
  laid.prepare(QTransform(), font());
  return laid;
}

void WrappedText::setText(const QString& text) {
  if (text == text_.text()) return;
  text_ = laidOut(text, width());
  setAccessibleName(text);
  const int height = static_cast<int>(std::ceil(text_.size().height()));
  if (height != height_) {
    height_ = height;
    updateGeometry();  // a line more or less: the window lays itself out again
  }
  update();
}

int WrappedText::heightForWidth(int width) const {
  return std::max(fontMetrics().height(),
                  static_cast<int>(std::ceil(laidOut(text_.text(), width).size().height())));
}

QSize WrappedText::sizeHint() const {
  const int width = fontMetrics().horizontalAdvance(text_.text()) + 1;
  return {width, heightForWidth(width)};
}

QSize WrappedText::minimumSizeHint() const {
  return {fontMetrics().averageCharWidth() * 10, fontMetrics().height()};
}

void WrappedText::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  text_ = laidOut(text_.text(), width());
  height_ = static_cast<int>(std::ceil(text_.size().height()));
}

void WrappedText::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(palette().color(QPalette::WindowText));
  painter.drawStaticText(QPointF(0, 0), text_);
}

}  // namespace orlo::ui
