#include "ui/diagnostics/log_viewer_plot.h"

#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "core/loaded_log.h"
#include "ui/diagnostics/log_viewer_charts.h"

namespace orlo::ui {
namespace {

constexpr int kLeft = 70;  // the charts' labels
constexpr int kAxisHeight = 24;
constexpr int kBandHeight = 16;
constexpr double kShortestSpan = 10;  // seconds

}  // namespace

LogViewerPlot::LogViewerPlot(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  setMinimumSize(480, 420);
  setAccessibleName(QStringLiteral("Log charts"));
  setAccessibleDescription(QStringLiteral(
      "Wheel or + and - zoom, drag or Left and Right pan, Shift-drag zooms to a band, Home resets, "
      "Shift with Left or Right moves the cursor line"));
}

void LogViewerPlot::setLogs(const LoadedLog* primary, const LoadedLog* second, CivilSeconds secondShift) {
  primary_ = primary;
  second_ = second;
  secondShift_ = secondShift;
  resetView();
}

void LogViewerPlot::setEvents(std::vector<EventMark> events) {
  events_ = std::move(events);
  update();
}

void LogViewerPlot::fullSpan(double* from, double* to) const {
  *from = INFINITY;
  *to = -INFINITY;
  const auto widen = [&](const LoadedLog* log, CivilSeconds shift) {
    if (!log || log->series.empty()) return;
    *from = std::min(*from, static_cast<double>(log->at(0) + shift));
    *to = std::max(*to, static_cast<double>(log->at(log->series.size() - 1) + shift + 1));
  };
  widen(primary_, 0);
  widen(second_, secondShift_);
  if (!(*from < *to)) {
    *from = 0;
    *to = 1;
  }
}

void LogViewerPlot::setView(double from, double to) {
  double first = 0, last = 0;
  fullSpan(&first, &last);
  const double span = std::clamp(to - from, kShortestSpan, std::max(last - first, kShortestSpan));
  from = std::clamp(from, first, std::max(first, last - span));
  from_ = from;
  to_ = from + span;
  if (cursor_ < from_ || cursor_ > to_) cursor_ = (from_ + to_) / 2;
  update();
  emit viewChanged();
  emit cursorMoved();
}

void LogViewerPlot::resetView() {
  double first = 0, last = 0;
  fullSpan(&first, &last);
  cursor_ = first;
  setView(first, last);
}

void LogViewerPlot::zoom(double factor, double aroundFraction) {
  const double span = (to_ - from_) * factor;
  const double at = from_ + (to_ - from_) * aroundFraction;
  setView(at - span * aroundFraction, at - span * aroundFraction + span);
}

void LogViewerPlot::pan(double fraction) {
  const double by = (to_ - from_) * fraction;
  setView(from_ + by, to_ + by);
}

void LogViewerPlot::setCursor(double at) {
  cursor_ = std::clamp(at, from_, to_);
  update();
  emit cursorMoved();
}

QString LogViewerPlot::cursorText() const {
  QString text = QString::fromStdString(formatCivil(static_cast<CivilSeconds>(std::floor(cursor_))));
  const auto describe = [&](const LoadedLog* log, CivilSeconds shift, const QString& name) {
    if (!log || log->series.empty()) return;
    const std::size_t row = log->series.nearest(static_cast<CivilSeconds>(cursor_) - log->firstDay - shift);
    text += "\n" + name + " " + QString::fromStdString(formatCivil(log->at(row))) + " run " +
            QString::number(log->series.run(row) + 1) + ":";
    for (const ChartKind& chart : logCharts())
      for (const ChartLine& line : chart.lines)
        text += "  " + valueText(line, chart, log->series.value(line.channel, row));
    text += QStringLiteral("  mode %1  MOS %2  alarms 0x%3")
                .arg(log->series.mode(row))
                .arg(log->series.mosStatus(row))
                .arg(log->series.alarms(row), 0, 16);
  };
  describe(primary_, 0, QStringLiteral("Log"));
  describe(second_, secondShift_, QStringLiteral("Second log"));
  for (const EventMark& e : events_)
    if (std::abs(static_cast<double>(e.at) - cursor_) <= (to_ - from_) / std::max(width(), 1) * 3)
      text += "\nEvent " + QString::fromStdString(formatCivil(e.at) + " " + e.kind + ": " + e.text);
  return text;
}

QRect LogViewerPlot::plotArea() const {
  return QRect(kLeft, 0, std::max(width() - kLeft - 8, 1), height());
}

double LogViewerPlot::xToTime(double x) const {
  const QRect area = plotArea();
  return from_ + (x - area.left()) / area.width() * (to_ - from_);
}

double LogViewerPlot::timeToX(double t) const {
  const QRect area = plotArea();
  return area.left() + (t - from_) / (to_ - from_) * area.width();
}

void LogViewerPlot::paintEvent(QPaintEvent*) {
  QElapsedTimer clock;
  clock.start();
  QPainter painter(this);
  painter.fillRect(rect(), palette().window());
  const ChartView view{from_, to_, primary_, second_, secondShift_};
  const auto& charts = logCharts();
  const int bands = kBandHeight * kBandCount * (second_ ? 2 : 1);
  const int chartHeight = (height() - kAxisHeight - bands - 4) / static_cast<int>(charts.size());
  const QRect whole(0, 0, width() - 8, height());
  for (std::size_t i = 0; i < charts.size(); ++i)
    drawChart(painter, QRect(whole.left(), static_cast<int>(i) * chartHeight, whole.width(), chartHeight),
              charts[i], view);
  const int bandTop = static_cast<int>(charts.size()) * chartHeight + 2;
  drawBands(painter, QRect(whole.left(), bandTop, whole.width(), bands), view);
  drawTimeAxis(painter, QRect(whole.left(), bandTop + bands, whole.width(), kAxisHeight), from_, to_);

  painter.setPen(QPen(QColor(255, 140, 0), 1));
  for (const EventMark& e : events_) {
    if (e.at < from_ || e.at > to_) continue;
    const int x = static_cast<int>(timeToX(static_cast<double>(e.at)));
    painter.drawLine(x, 0, x, 6);
    painter.drawLine(x, bandTop - 6, x, bandTop + bands);
  }
  painter.setPen(QPen(Qt::black, 1, Qt::DashLine));
  const int cx = static_cast<int>(timeToX(cursor_));
  painter.drawLine(cx, 0, cx, bandTop + bands);
  if (rubberBand_ && dragStartX_ >= 0) {
    painter.fillRect(QRect(QPoint(std::min(dragStartX_, rubberX_), 0),
                           QPoint(std::max(dragStartX_, rubberX_), bandTop + bands)),
                     QColor(0, 120, 215, 50));
  }
  if (hasFocus()) {
    painter.setPen(QPen(palette().highlight().color(), 1, Qt::DotLine));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
  }
  lastPaintMs_ = static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

void LogViewerPlot::wheelEvent(QWheelEvent* event) {
  const double fraction =
      std::clamp((event->position().x() - plotArea().left()) / plotArea().width(), 0.0, 1.0);
  zoom(event->angleDelta().y() > 0 ? 0.8 : 1.25, fraction);
  event->accept();
}

void LogViewerPlot::mousePressEvent(QMouseEvent* event) {
  dragStartX_ = static_cast<int>(event->position().x());
  dragStartFrom_ = from_;
  rubberBand_ = event->button() == Qt::RightButton || (event->modifiers() & Qt::ShiftModifier);
  rubberX_ = dragStartX_;
}

void LogViewerPlot::mouseMoveEvent(QMouseEvent* event) {
  const double x = event->position().x();
  if (dragStartX_ >= 0 && rubberBand_) {
    rubberX_ = static_cast<int>(x);
    update();
  } else if (dragStartX_ >= 0) {
    const double by = (dragStartX_ - x) / plotArea().width() * (to_ - from_);
    setView(dragStartFrom_ + by, dragStartFrom_ + by + (to_ - from_));
  } else {
    setCursor(xToTime(x));
  }
}

void LogViewerPlot::mouseReleaseEvent(QMouseEvent* event) {
  if (rubberBand_ && std::abs(event->position().x() - dragStartX_) > 4) {
    const double a = xToTime(dragStartX_), b = xToTime(event->position().x());
    setView(std::min(a, b), std::max(a, b));
  }
  dragStartX_ = -1;
  rubberBand_ = false;
  update();
}

void LogViewerPlot::keyPressEvent(QKeyEvent* event) {
  const bool shift = event->modifiers() & Qt::ShiftModifier;
  const double pixel = (to_ - from_) / plotArea().width();
  switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
      zoom(0.8, (cursor_ - from_) / (to_ - from_));
      break;
    case Qt::Key_Minus:
      zoom(1.25, (cursor_ - from_) / (to_ - from_));
      break;
    case Qt::Key_Left:
      shift ? setCursor(cursor_ - pixel * 5) : pan(-0.1);
      break;
    case Qt::Key_Right:
      shift ? setCursor(cursor_ + pixel * 5) : pan(0.1);
      break;
    case Qt::Key_Home:
    case Qt::Key_0:
      resetView();
      break;
    default:
      QWidget::keyPressEvent(event);
  }
}

}  // namespace orlo::ui
