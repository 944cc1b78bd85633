#include "ui/diagnostics/trend_chart.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "core/time_ticks.h"

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
const QColor kGrid(225, 225, 225);
const QColor kAxis(90, 90, 90);
constexpr int kPad = 4;

// The smallest of 1, 2 or 5 times a power of ten that is at least `rough`.
double niceStep(double rough) {
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  for (double m : {1.0, 2.0, 5.0})
    if (rough <= m * power * (1 + 1e-9)) return m * power;
  return 10 * power;
}

QString timeFormat(std::int64_t spanMs) {
  return spanMs <= 60LL * 60 * 1000 ? "HH:mm:ss" : "dd.MM HH:mm";
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

}  // namespace

TrendChart::TrendChart(const QString& title, const std::vector<TrendSeries>& series, QWidget* parent)
    : QWidget(parent), title_(title), order_(series), timeFormat_(timeFormat(spanMs_)) {
  zoneOffsetMs_ = QDateTime::currentDateTime().offsetFromUtc() * 1000LL;
  setAttribute(Qt::WA_OpaquePaintEvent);  // the frame pixmap covers every pixel
  setMouseTracking(true);
  setMinimumHeight(140);
  for (TrendSeries s : series) lines_.push_back(Line{s, kColours[static_cast<std::size_t>(s)], true, {}});
  if (series.size() > 1) {
    const QFontMetrics fm(font());
    for (TrendSeries s : series)
      legendWidth_ =
          std::max(legendWidth_, fm.horizontalAdvance(QString::fromStdString(trendSeriesInfo(s).name)));
    legendWidth_ += 24;
  }
  setScale(0, 1);
}

void TrendChart::setSeriesVisible(TrendSeries series, bool visible) {
  for (Line& line : lines_)
    if (line.series == series) line.visible = visible;
  frameValid_ = false;  // the legend greys a hidden series out
  update();
}

bool TrendChart::anySeriesVisible() const {
  return std::any_of(lines_.begin(), lines_.end(), [](const Line& l) { return l.visible; });
}

void TrendChart::redraw(const TrendBuffer& buffer, const TrendRange& range, std::int64_t startMs,
                        std::int64_t spanMs) {
  PlotRequest request;
  request.startMs = startMs;
  request.spanMs = spanMs;
  request.buckets = static_cast<std::size_t>(std::max(plotRect().width(), 100));
  bool haveRange = false;
  double low = 0, high = 0;
  for (Line& line : lines_) {
    PlotSeries plot = line.visible ? plotSeries(buffer, range, line.series, request) : PlotSeries{};
    line.segments = std::move(plot.segments);
    if (line.segments.empty()) continue;
    low = haveRange ? std::min(low, plot.minValue) : plot.minValue;
    high = haveRange ? std::max(high, plot.maxValue) : plot.maxValue;
    haveRange = true;
  }
  startMs_ = startMs;
  spanMs_ = std::max<std::int64_t>(1, spanMs);
  const QString format = timeFormat(spanMs_);
  if (format != timeFormat_) {
    timeFormat_ = format;
    timeLabels_.clear();
    timeLabelWidth_ = 0;
  }
  if (haveRange) {
    dataLow_ = low;
    dataHigh_ = high;
    setScale(low, high);
  }
  if (!frameValid_) {
    update();
    return;
  }
  // The title stays as it is; the plot and the time axis under it move. One rectangle, so that
  // the frame under it is copied as a block rather than span by span through the clip.
  update(QRect(0, plotRect().top(), width(), height() - plotRect().top()));
}

// Round steps so that the labels stay short and readable.
void TrendChart::setScale(double low, double high) {
  if (high - low < 1e-9) {
    const double pad = std::max(1.0, std::abs(high) * 0.01);
    low -= pad;
    high += pad;
  }
  // A little room so that a flat top or bottom does not run along the frame.
  const double margin = (high - low) * 0.02;
  low -= margin;
  high += margin;
  // Labels closer together than a line of text would overlap: keep the ticks apart.
  const int lineHeight = fontMetrics().height() + 4;
  const int maxTicks = std::max(2, plotRect().height() / lineHeight + 1);
  double step = niceStep((high - low) / 4);
  double first = std::floor(low / step) * step;
  double last = std::ceil(high / step) * step;
  while (std::lround((last - first) / step) + 1 > maxTicks) {
    step = niceStep(step * 1.5);
    first = std::floor(low / step) * step;
    last = std::ceil(high / step) * step;
  }
  const int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
  if (first == yFirst_ && last == yLast_ && step == yStep_ && decimals == decimals_) return;
  yFirst_ = first;
  yLast_ = last;
  yStep_ = step;
  decimals_ = decimals;
  const QFontMetrics fm(font());
  labelWidth_ = std::max(fm.horizontalAdvance(QString::number(first, 'f', decimals)),
                         fm.horizontalAdvance(QString::number(last, 'f', decimals)));
  frameValid_ = false;
}

QRect TrendChart::plotRect() const {
  const QFontMetrics fm(font());
  const int top = fm.height() + 2 * kPad;
  const int left = kPad + labelWidth_ + 6;
  const int bottom = height() - fm.height() - 2 * kPad;
  const int right = width() - kPad - legendWidth_;
  return QRect(QPoint(left, top), QPoint(std::max(left + 1, right), std::max(top + 1, bottom)));
}

void TrendChart::buildFrame() {
  const qreal ratio = devicePixelRatioF();
  frame_ = QPixmap(size() * ratio);
  frame_.setDevicePixelRatio(ratio);
  frame_.fill(palette().color(QPalette::Base));
  QPainter p(&frame_);
  const QFontMetrics fm(font());
  const QRect plot = plotRect();
  QFont bold = font();
  bold.setBold(true);
  p.setFont(bold);
  p.setPen(palette().color(QPalette::Text));
  p.drawText(QRect(0, kPad, width(), fm.height()), Qt::AlignCenter, title_);
  p.setFont(font());
  paintPlotGround(p, plot);
  p.setPen(kAxis);
  for (int i = 0; i <= gridRows(); ++i)
    p.drawText(QRect(kPad, gridY(plot, i) - fm.height() / 2, labelWidth_, fm.height()),
               Qt::AlignRight | Qt::AlignVCenter, QString::number(yFirst_ + i * yStep_, 'f', decimals_));
  if (legendWidth_ > 0) {
    int y = plot.top() + (plot.height() - static_cast<int>(lines_.size()) * (fm.height() + 2)) / 2;
    const int x = plot.right() + 2 * kPad + 2;
    for (const Line& line : lines_) {
      p.fillRect(QRect(x, y + fm.height() / 2 - 5, 10, 10), line.visible ? line.color : kGrid);
      p.setPen(line.visible ? palette().color(QPalette::Text) : kAxis.lighter(160));
      p.drawText(QPoint(x + 14, y + fm.ascent()), QString::fromStdString(trendSeriesInfo(line.series).name));
      y += fm.height() + 2;
    }
  }
  frameValid_ = true;
  ++frameBuilds_;
  timeLabels_.clear();  // drawn again at the frame's pixel ratio and font
}

int TrendChart::gridRows() const {
  return static_cast<int>(std::lround((yLast_ - yFirst_) / yStep_));
}

int TrendChart::gridY(const QRect& plot, int row) const {
  return plot.bottom() - static_cast<int>(std::lround(row * plot.height() / std::max(1.0, 1.0 * gridRows())));
}

// The plot's background, value grid and outline, down to the bottom edge: filled rectangles
// only. The frame holds the same; a repaint fills them rather than copying them from it.
void TrendChart::paintPlotGround(QPainter& p, const QRect& plot) const {
  p.fillRect(QRect(plot.left(), plot.top(), plot.width() + 1, height() - plot.top()),
             palette().color(QPalette::Base));
  for (int i = 0; i <= gridRows(); ++i)
    p.fillRect(QRect(plot.left(), gridY(plot, i), plot.width(), 1), kGrid);
  p.fillRect(QRect(plot.left(), plot.top(), plot.width() + 1, 1), kAxis);
  p.fillRect(QRect(plot.left(), plot.bottom() + 1, plot.width() + 1, 1), kAxis);
  p.fillRect(QRect(plot.left(), plot.top(), 1, plot.height() + 1), kAxis);
  p.fillRect(QRect(plot.right() + 1, plot.top(), 1, plot.height() + 2), kAxis);
}

const QImage& TrendChart::timeLabel(std::int64_t tickMs) {
  auto it = timeLabels_.find(tickMs);
  if (it == timeLabels_.end()) {
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(tickMs);
    zoneOffsetMs_ = at.offsetFromUtc() * 1000LL;  // looked up with each new label, not each paint
    const QString text = at.toString(timeFormat_);
    const QFontMetrics fm(font());
    const qreal ratio = devicePixelRatioF();
    QImage image(QSize(fm.horizontalAdvance(text), fm.height()) * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setFont(font());
    p.setPen(kAxis);
    p.drawText(QPointF(0, fm.ascent()), text);
    p.end();
    it = timeLabels_.insert(tickMs, image);
  }
  return *it;
}

void TrendChart::paintTimeAxis(QPainter& painter, const QRect& plot) {
  if (timeLabelWidth_ == 0) timeLabelWidth_ = fontMetrics().horizontalAdvance(timeFormat_) + 16;
  // At most six labels, however wide the plot.
  const std::int64_t step = timeTickStepMs(spanMs_, std::min(6, plot.width() / timeLabelWidth_));
  // Ticks sit on round local times: shift by the zone's offset from UTC before rounding.
  const std::int64_t offset = zoneOffsetMs_;
  const std::int64_t end = startMs_ + spanMs_;
  // Labels scrolled out of view are dropped, so the cache holds a span's worth at most.
  for (auto it = timeLabels_.begin(); it != timeLabels_.end();)
    it = it.key() < startMs_ - step ? timeLabels_.erase(it) : std::next(it);
  // Grid lines and ticks are filled rectangles, straight into the image.
  for (std::int64_t t = (floorDiv(startMs_ + offset, step) + 1) * step - offset; t <= end; t += step) {
    const int x = plot.left() + static_cast<int>((t - startMs_) * plot.width() / spanMs_);
    painter.fillRect(QRect(x, plot.top() + 1, 1, plot.height() - 2), kGrid);
    painter.fillRect(QRect(x, plot.bottom(), 1, 4), kAxis);
    const QImage& label = timeLabel(t);
    const QSize size = label.deviceIndependentSize().toSize();
    const int left = x - size.width() / 2;
    if (left >= 0 && left + size.width() <= width())
      painter.drawImage(QPoint(left, plot.bottom() + 4), label);
  }
}

void TrendChart::paintEvent(QPaintEvent* event) {
  if (!frameValid_ || frame_.size() != size() * devicePixelRatioF()) buildFrame();
  QPainter p(this);
  const QRect plot = plotRect();
  // Title, value axis and legend come from the frame; the plot's ground is filled in place.
  const int below = height() - plot.top();
  const QRect copied[] = {QRect(0, 0, width(), plot.top()), QRect(0, plot.top(), plot.left(), below),
                          QRect(plot.right() + 2, plot.top(), width() - plot.right() - 2, below)};
  const qreal ratio = frame_.devicePixelRatio();
  for (const QRect& part : copied) {
    const QRect r = part & event->rect();
    if (!r.isEmpty()) p.drawPixmap(r, frame_, QRectF(QPointF(r.topLeft()) * ratio, QSizeF(r.size()) * ratio));
  }
  paintPlotGround(p, plot);
  paintTimeAxis(p, plot);
  p.setClipRect(plot.adjusted(1, 1, 0, 0));
  const double xScale = plot.width() / static_cast<double>(spanMs_);
  const double yScale = plot.height() / std::max(1e-12, yLast_ - yFirst_);
  QPolygonF points;
  for (const Line& line : lines_) {
    if (!line.visible) continue;
    // Two one-pixel lines make a bold curve on the rasterizer's fast path for thin pens.
    p.setPen(QPen(line.color, 1));
    p.setBrush(line.color);
    for (const auto& segment : line.segments) {
      points.clear();
      for (const PlotPoint& pt : segment)
        points.append(QPointF(plot.left() + (pt.timeMs - startMs_) * xScale,
                              plot.bottom() - (pt.value - yFirst_) * yScale));
      // A lone sample between two gaps has no line to draw; show it as a dot.
      if (points.size() == 1)
        p.drawEllipse(points.front(), 2, 2);
      else {
        p.drawPolyline(points);
        points.translate(0, 1);
        p.drawPolyline(points);
      }
    }
  }
}

void TrendChart::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  setScale(dataLow_, dataHigh_);  // the room for value labels changed
  frameValid_ = false;
}

const TrendChart::Line* TrendChart::find(TrendSeries series) const {
  for (const Line& l : lines_)
    if (l.series == series) return &l;
  return nullptr;
}

int TrendChart::segmentCount(TrendSeries series) const {
  const Line* l = find(series);
  return l ? static_cast<int>(l->segments.size()) : 0;
}

int TrendChart::pointCount(TrendSeries series) const {
  const Line* l = find(series);
  int n = 0;
  if (l)
    for (const auto& s : l->segments) n += static_cast<int>(s.size());
  return n;
}

void TrendChart::mouseMoveEvent(QMouseEvent* event) {
  QWidget::mouseMoveEvent(event);
  const QRect plot = plotRect();
  const double fraction = (event->position().x() - plot.left()) / std::max(1, plot.width());
  emit hovered(static_cast<qint64>(startMs_ + fraction * spanMs_));
}

}  // namespace orlo::ui
