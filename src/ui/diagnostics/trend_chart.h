#pragma once
// One chart of the Trends window: the series that share a unit (the four cells, the
// temperatures, ...), each drawn as a pool of line segments so that link gaps stay blank.

#include <QChartView>
#include <QColor>
#include <QString>
#include <vector>

#include "app/trend_buffer.h"
#include "app/trend_plot.h"

class QLineSeries;
class QValueAxis;
class QDateTimeAxis;

namespace orlo::ui {

class TrendChart : public QChartView {
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

 signals:
  void hovered(qint64 timeMs);

 protected:
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  struct Line {
    TrendSeries series;
    QColor color;
    bool visible = true;
    std::vector<QLineSeries*> segments;
    int used = 0;
  };
  QLineSeries* segmentAt(Line& line, std::size_t index);
  void drawLine(Line& line, const PlotSeries& plot);
  void setYRange(double low, double high);
  const Line* find(TrendSeries series) const;

  std::vector<TrendSeries> order_;
  std::vector<Line> lines_;
  QDateTimeAxis* xAxis_;
  QValueAxis* yAxis_;
};

}  // namespace orlo::ui
