#include "ui/diagnostics/trend_chart.h"

#include <QDateTime>
#include <QDateTimeAxis>
#include <QFontMetrics>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

namespace orlo::ui {

namespace {

// One colour per series, in the order of TrendSeries; cells in distinct hues.
const QColor kColours[kTrendSeriesCount] = {
    QColor(31, 119, 180),  QColor(255, 127, 14),  QColor(44, 160, 44), QColor(214, 39, 40),  // cells
    QColor(148, 103, 189),                                                                   // current
    QColor(23, 190, 207),                                                                    // SOC
    QColor(140, 86, 75),   QColor(227, 119, 194),                                            // temperatures
    QColor(127, 127, 127),                                                                   // total
    QColor(188, 189, 34),                                                                    // spread
};

// The smallest of 1, 2 or 5 times a power of ten that is at least `rough`.
double niceStep(double rough) {
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  for (double m : {1.0, 2.0, 5.0})
    if (rough <= m * power * (1 + 1e-9)) return m * power;
  return 10 * power;
}

QString axisFormat(std::int64_t spanMs) {
  return spanMs <= 60LL * 60 * 1000 ? "HH:mm:ss" : "dd.MM HH:mm";
}

}  // namespace

TrendChart::TrendChart(const QString& title, const std::vector<TrendSeries>& series, QWidget* parent)
    : QChartView(parent), order_(series), xAxis_(new QDateTimeAxis), yAxis_(new QValueAxis) {
  auto* c = new QChart;
  c->setTitle(title);
  c->legend()->setVisible(series.size() > 1);
  c->legend()->setAlignment(Qt::AlignRight);
  c->setMargins(QMargins(4, 2, 4, 2));
  c->addAxis(xAxis_, Qt::AlignBottom);
  c->addAxis(yAxis_, Qt::AlignLeft);
  xAxis_->setTickCount(7);
  setChart(c);
  setRenderHint(QPainter::Antialiasing, false);  // cheaper redraws; the curves are dense anyway
  setMouseTracking(true);
  viewport()->setMouseTracking(true);
  setMinimumHeight(140);
  for (TrendSeries s : series) {
    lines_.push_back(Line{s, kColours[static_cast<std::size_t>(s)], true, {}, 0});
    segmentAt(lines_.back(), 0);  // the first segment carries the legend entry
  }
}

QLineSeries* TrendChart::segmentAt(Line& line, std::size_t index) {
  while (line.segments.size() <= index) {
    auto* s = new QLineSeries;
    s->setName(trendSeriesInfo(line.series).name);
    s->setPen(QPen(line.color, 1.5));
    chart()->addSeries(s);
    s->attachAxis(xAxis_);
    s->attachAxis(yAxis_);
    if (!line.segments.empty())
      for (QLegendMarker* m : chart()->legend()->markers(s)) m->setVisible(false);
    line.segments.push_back(s);
  }
  return line.segments[index];
}

void TrendChart::setSeriesVisible(TrendSeries series, bool visible) {
  for (Line& line : lines_) {
    if (line.series != series) continue;
    line.visible = visible;
    for (QLineSeries* s : line.segments) s->setVisible(visible);
    // Hiding a series hides its legend marker too; the first one must stay for the toggle to show.
    if (!line.segments.empty())
      for (QLegendMarker* m : chart()->legend()->markers(line.segments[0])) m->setVisible(true);
  }
}

bool TrendChart::anySeriesVisible() const {
  return std::any_of(lines_.begin(), lines_.end(), [](const Line& l) { return l.visible; });
}

void TrendChart::redraw(const TrendBuffer& buffer, const TrendRange& range, std::int64_t startMs,
                        std::int64_t spanMs) {
  PlotRequest request;
  request.startMs = startMs;
  request.spanMs = spanMs;
  request.buckets = static_cast<std::size_t>(std::max(width(), 100));
  bool haveRange = false;
  double low = 0, high = 0;
  for (Line& line : lines_) {
    PlotSeries plot = line.visible ? plotSeries(buffer, range, line.series, request) : PlotSeries{};
    drawLine(line, plot);
    if (plot.empty()) continue;
    low = haveRange ? std::min(low, plot.minValue) : plot.minValue;
    high = haveRange ? std::max(high, plot.maxValue) : plot.maxValue;
    haveRange = true;
  }
  xAxis_->setFormat(axisFormat(spanMs));
  xAxis_->setRange(QDateTime::fromMSecsSinceEpoch(startMs), QDateTime::fromMSecsSinceEpoch(startMs + spanMs));
  if (haveRange) setYRange(low, high);
}

void TrendChart::drawLine(Line& line, const PlotSeries& plot) {
  std::size_t n = plot.segments.size();
  for (std::size_t i = 0; i < n; ++i) {
    QList<QPointF> points;
    points.reserve(static_cast<qsizetype>(plot.segments[i].size()));
    for (const PlotPoint& p : plot.segments[i]) points.append(QPointF(p.timeMs, p.value));
    QLineSeries* s = segmentAt(line, i);
    s->replace(points);
    // A lone sample between two gaps has no line to draw; show it as a dot.
    s->setPointsVisible(points.size() == 1);
    s->setVisible(line.visible);
  }
  // Segments left over from a previous redraw with more gaps are emptied, not deleted.
  for (std::size_t i = n; i < static_cast<std::size_t>(line.used); ++i) line.segments[i]->clear();
  line.used = static_cast<int>(n);
}

// Round steps so that the labels stay short and readable.
void TrendChart::setYRange(double low, double high) {
  if (high - low < 1e-9) {
    const double pad = std::max(1.0, std::abs(high) * 0.01);
    low -= pad;
    high += pad;
  }
  // A little room so that a flat top or bottom does not run along the frame.
  const double margin = (high - low) * 0.02;
  low -= margin;
  high += margin;
  // Qt elides labels that are closer together than a line of text: keep the ticks apart.
  const int lineHeight = QFontMetrics(yAxis_->labelsFont()).height() + 4;
  const int maxTicks = std::max(2, static_cast<int>(chart()->plotArea().height()) / lineHeight + 1);
  double step = niceStep((high - low) / 4);
  double first = std::floor(low / step) * step;
  double last = std::ceil(high / step) * step;
  while (std::lround((last - first) / step) + 1 > maxTicks) {
    step = niceStep(step * 1.5);
    first = std::floor(low / step) * step;
    last = std::ceil(high / step) * step;
  }
  const int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
  const int ticks = static_cast<int>(std::lround((last - first) / step)) + 1;
  // Most redraws land on the same scale; leaving the axis alone then spares a relayout.
  if (ticks != yAxis_->tickCount()) yAxis_->setTickCount(ticks);
  const QString format = QString("%.%1f").arg(decimals);
  if (format != yAxis_->labelFormat()) yAxis_->setLabelFormat(format);
  if (first != yAxis_->min() || last != yAxis_->max()) yAxis_->setRange(first, last);
}

const TrendChart::Line* TrendChart::find(TrendSeries series) const {
  for (const Line& l : lines_)
    if (l.series == series) return &l;
  return nullptr;
}

int TrendChart::segmentCount(TrendSeries series) const {
  const Line* l = find(series);
  if (!l) return 0;
  return static_cast<int>(std::count_if(l->segments.begin(), l->segments.end(),
                                        [](const QLineSeries* s) { return s->count() > 0; }));
}

int TrendChart::pointCount(TrendSeries series) const {
  const Line* l = find(series);
  int n = 0;
  if (l)
    for (const QLineSeries* s : l->segments) n += s->count();
  return n;
}

void TrendChart::mouseMoveEvent(QMouseEvent* event) {
  QChartView::mouseMoveEvent(event);
  QPointF scenePos = mapToScene(event->position().toPoint());
  QPointF value = chart()->mapToValue(chart()->mapFromScene(scenePos));
  emit hovered(static_cast<qint64>(value.x()));
}

}  // namespace orlo::ui
