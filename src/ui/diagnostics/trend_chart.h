#pragma once
// One chart of the Trends window: the series that share a unit (the four cells, the
// temperatures, ...), each drawn as separate polylines so that link gaps stay blank.
//
// Painted by hand to stay cheap while it follows the clock: the frame (title, legend, value
// axis and its grid) is kept in a pixmap and rebuilt only when the value scale, the size or a
// series' visibility changes; a redraw repaints the plot and the time axis under it, whose tick
// labels sit at round times and are drawn once each, into an image that a repaint blends in
// (drawing a text blends it glyph by glyph, many times the cost). Each repaint is one rectangle, the
// plot's ground and lines in it filled rectangles and the rest copied from the frame: a clip of
// several rectangles, or a pen, takes the raster engine's general path, which hands anything
// taller than about a hundred lines to a pool of threads.

#include <QColor>
#include <QHash>
#include <QImage>
#include <QPixmap>
#include <QPolygonF>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <vector>

#include "app/trend_buffer.h"
#include "app/trend_plot.h"

namespace orlo::ui {

class TrendChart : public QWidget {
  Q_OBJECT

 public:
  TrendChart(const QString& title, const std::vector<TrendSeries>& series, QWidget* parent = nullptr);

  const std::vector<TrendSeries>& seriesShown() const { return order_; }
  void setSeriesVisible(TrendSeries series, bool visible);
  bool anySeriesVisible() const;

  // Draws the span [startMs, startMs + spanMs] from the samples in range.
  void redraw(const TrendBuffer& buffer, const TrendRange& range, std::int64_t startMs, std::int64_t spanMs);

  // What is on screen, for tests: segments with points, and points over all segments.
  int segmentCount(TrendSeries series) const;
  int pointCount(TrendSeries series) const;
  // The value scale, lowest and highest tick, and how often the frame was rebuilt.
  double scaleLow() const { return yFirst_; }
  double scaleHigh() const { return yLast_; }
  int frameBuilds() const { return frameBuilds_; }

  QSize sizeHint() const override { return {600, 180}; }

 signals:
  void hovered(qint64 timeMs);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  struct Line {
    TrendSeries series;
    QColor color;
    bool visible = true;
    std::vector<std::vector<PlotPoint>> segments;
  };
  void setScale(double low, double high);
  QRect plotRect() const;
  void buildFrame();
  int gridRows() const;
  int gridY(const QRect& plot, int row) const;
  void paintPlotGround(QPainter& painter, const QRect& plot) const;
  void paintTimeAxis(QPainter& painter, const QRect& plot);
  const QImage& timeLabel(std::int64_t tickMs);
  const Line* find(TrendSeries series) const;

  QString title_;
  std::vector<TrendSeries> order_;
  std::vector<Line> lines_;
  std::int64_t startMs_ = 0;
  std::int64_t spanMs_ = 60000;
  double dataLow_ = 0, dataHigh_ = 1;  // of the samples drawn last
  double yFirst_ = 0, yLast_ = 1, yStep_ = 0.25;
  int decimals_ = 2;
  int labelWidth_ = 0;   // of the widest value label
  int legendWidth_ = 0;  // 0 without a legend
  QPixmap frame_;
  bool frameValid_ = false;
  int frameBuilds_ = 0;
  QString timeFormat_;
  int timeLabelWidth_ = 0;            // room one time label needs, 0 until measured
  std::int64_t zoneOffsetMs_ = 0;     // local time's offset from UTC
  QHash<qint64, QImage> timeLabels_;  // text on a clear ground, by tick time
};

}  // namespace orlo::ui
