#pragma once
// Drawing the charts of LogViewerPlot: one chart of lines that share a unit, the bands of MOS
// state, mode and alarms, and the date-time axis. Times are local date-time seconds.

#include <QColor>
#include <QPainter>
#include <QRect>
#include <QString>
#include <vector>

#include "core/loaded_log.h"

namespace orlo::ui {

struct ChartLine {
  LogChannel channel;
  QColor color;
  const char* name;
};

struct ChartKind {
  const char* title;
  const char* unit;
  std::vector<ChartLine> lines;
};

// The charts from top to bottom.
const std::vector<ChartKind>& logCharts();

// The span drawn and the logs drawn over it.
struct ChartView {
  double from;
  double to;
  const LoadedLog* primary;
  const LoadedLog* second;
  CivilSeconds secondShift;
};

void drawChart(QPainter& painter, const QRect& area, const ChartKind& chart, const ChartView& view);

// Three bands: MOS state, mode, alarms; `area` is their whole height.
void drawBands(QPainter& painter, const QRect& area, const ChartView& view);
constexpr int kBandCount = 3;

// Ticks and date-time labels under `area` (the plots' horizontal extent).
void drawTimeAxis(QPainter& painter, const QRect& area, double from, double to);

// A value for the cursor text: "3301 mV", "-1.500 A".
QString valueText(const ChartLine& line, const ChartKind& chart, float value);

}  // namespace orlo::ui
