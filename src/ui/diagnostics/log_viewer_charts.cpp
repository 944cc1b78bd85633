#include "ui/diagnostics/log_viewer_charts.h"

#include <QVector>
#include <algorithm>
#include <cmath>

#include "core/time_ticks.h"
#include "link/answers.h"

namespace orlo::ui {
namespace {

constexpr int kLabelWidth = 70;

void reduceBoth(const ChartView& v, LogChannel channel, int columns, std::vector<ColumnRange>* first,
                std::vector<ColumnRange>* second) {
  first->clear();
  second->clear();
  if (v.primary)
    v.primary->series.reduce(channel, v.from - v.primary->firstDay, v.to - v.primary->firstDay, columns,
                             first);
  if (v.second) {
    const double origin = static_cast<double>(v.second->firstDay + v.secondShift);
    v.second->series.reduce(channel, v.from - origin, v.to - origin, columns, second);
  }
}

void widenRange(const std::vector<ColumnRange>& columns, float* low, float* high) {
  for (const ColumnRange& c : columns) {
    if (c.empty()) continue;
    *low = std::min(*low, c.low);
    *high = std::max(*high, c.high);
  }
}

// Each column as a vertical stroke from its minimum to its maximum, joined to the column before
// unless a run starts between them or a column is empty.
void drawColumns(QPainter& painter, const QRect& area, const std::vector<ColumnRange>& columns, float low,
                 float high, const QColor& color) {
  const double scale = area.height() / static_cast<double>(high - low);
  const auto y = [&](float v) { return area.bottom() - (v - low) * scale; };
  QVector<QLineF> lines;
  lines.reserve(static_cast<int>(columns.size() * 2));
  const ColumnRange* previous = nullptr;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const ColumnRange& c = columns[i];
    const double x = area.left() + static_cast<double>(i);
    if (c.empty()) {
      previous = nullptr;
      continue;
    }
    lines.append(QLineF(x, y(c.low), x, y(c.high) - 0.01));
    if (previous && previous->lastRun == c.firstRun)
      lines.append(QLineF(x - 1, y((previous->low + previous->high) / 2), x, y((c.low + c.high) / 2)));
    previous = &c;
  }
  painter.setPen(QPen(color, 1));
  painter.drawLines(lines);
}

QColor bandColor(int band, const LoadedLog& log, std::size_t row) {
  if (band == 0) {
    const std::optional<MosState> mos = decodeMosStatus(static_cast<std::uint8_t>(log.series.mosStatus(row)));
    if (!mos) return Qt::lightGray;
    return mos->charge && mos->discharge ? QColor(60, 170, 90)
           : mos->charge                 ? QColor(70, 130, 220)
           : mos->discharge              ? QColor(230, 160, 40)
                                         : QColor(200, 60, 60);
  }
  if (band == 1) {
    static const QColor kModes[] = {QColor(180, 180, 180), QColor(230, 160, 40), QColor(70, 130, 220)};
    const int mode = log.series.mode(row);
    return mode < 3 ? kModes[mode] : Qt::darkGray;
  }
  return Qt::lightGray;
}

// The first row of each of `columns` columns over the view; size() for a column without rows.
std::vector<std::size_t> columnFirstRows(const LoadedLog& log, CivilSeconds shift, const ChartView& view,
                                         int columns) {
  std::vector<std::size_t> rows;
  const double origin = static_cast<double>(log.firstDay + shift);
  const double perColumn = (view.to - view.from) / columns;
  for (int x = 0; x < columns; ++x) {
    const double t = view.from + x * perColumn - origin;
    const std::size_t row = log.series.lowerBound(static_cast<CivilSeconds>(std::floor(t)));
    const bool inColumn = row < log.series.size() && log.series.seconds(row) <= t + perColumn;
    rows.push_back(inColumn ? row : log.series.size());
  }
  return rows;
}

}  // namespace

const std::vector<ChartKind>& logCharts() {
  static const std::vector<ChartKind> kCharts = {
      {"Cells",
       "mV",
       {{LogChannel::Cell1, QColor(31, 119, 180), "Cell 1"},
        {LogChannel::Cell2, QColor(255, 127, 14), "Cell 2"},
        {LogChannel::Cell3, QColor(44, 160, 44), "Cell 3"},
        {LogChannel::Cell4, QColor(214, 39, 40), "Cell 4"}}},
      {"Spread", "mV", {{LogChannel::Spread, QColor(148, 103, 189), "Spread"}}},
      {"Current", "A", {{LogChannel::Current, QColor(23, 190, 207), "Current"}}},
      {"SOC", "%", {{LogChannel::Soc, QColor(140, 86, 75), "SOC"}}},
      {"Temp",
       "°C",
       {{LogChannel::MosTemp, QColor(227, 119, 194), "MOS"},
        {LogChannel::PackTemp, QColor(127, 127, 127), "Pack"}}},
      {"Total", "V", {{LogChannel::Total, QColor(188, 189, 34), "Total"}}},
  };
  return kCharts;
}

void drawChart(QPainter& painter, const QRect& area, const ChartKind& chart, const ChartView& view) {
  const QRect plot = area.adjusted(kLabelWidth, 2, 0, -2);
  painter.fillRect(plot, Qt::white);
  painter.setPen(QColor(200, 200, 200));
  painter.drawRect(plot.adjusted(0, 0, -1, -1));
  std::vector<std::vector<ColumnRange>> firsts(chart.lines.size()), seconds(chart.lines.size());
  float low = std::numeric_limits<float>::infinity(), high = -low;
  for (std::size_t i = 0; i < chart.lines.size(); ++i) {
    reduceBoth(view, chart.lines[i].channel, plot.width(), &firsts[i], &seconds[i]);
    widenRange(firsts[i], &low, &high);
    widenRange(seconds[i], &low, &high);
  }
  painter.setPen(Qt::black);
  painter.drawText(QRect(area.left(), area.top(), kLabelWidth - 4, 16), Qt::AlignRight,
                   QString::fromUtf8(chart.title));
  if (!(low <= high)) return;
  const float pad = std::max((high - low) * 0.05f, 0.5f);
  low -= pad;
  high += pad;
  painter.drawText(QRect(area.left(), plot.top() + 14, kLabelWidth - 4, 16), Qt::AlignRight,
                   QString::number(high, 'f', high - low < 10 ? 2 : 0) + " " + QString::fromUtf8(chart.unit));
  painter.drawText(QRect(area.left(), plot.bottom() - 16, kLabelWidth - 4, 16), Qt::AlignRight,
                   QString::number(low, 'f', high - low < 10 ? 2 : 0));
  painter.save();
  painter.setClipRect(plot);
  for (std::size_t i = 0; i < chart.lines.size(); ++i) {
    QColor light = chart.lines[i].color;
    light.setAlpha(90);
    drawColumns(painter, plot, seconds[i], low, high, light);
    drawColumns(painter, plot, firsts[i], low, high, chart.lines[i].color);
  }
  painter.restore();
}

void drawBands(QPainter& painter, const QRect& area, const ChartView& view) {
  static const char* kNames[kBandCount] = {"MOS", "Mode", "Alarms"};
  const QRect plot = area.adjusted(kLabelWidth, 0, 0, 0);
  const int height = area.height() / kBandCount;
  const LoadedLog* logs[] = {view.primary, view.second};
  // Each column's first row, found once for the three bands.
  std::vector<std::size_t> firstRows[2];
  for (int k = 0; k < 2; ++k)
    if (logs[k] && !logs[k]->series.empty())
      firstRows[k] = columnFirstRows(*logs[k], k == 1 ? view.secondShift : 0, view, plot.width());
  for (int band = 0; band < kBandCount; ++band) {
    const int top = area.top() + band * height;
    painter.setPen(Qt::black);
    painter.drawText(QRect(area.left(), top, kLabelWidth - 4, height), Qt::AlignRight | Qt::AlignVCenter,
                     QString::fromUtf8(kNames[band]));
    for (int k = 0; k < 2; ++k) {
      const LoadedLog* log = logs[k];
      if (!log || log->series.empty()) continue;
      const double origin = static_cast<double>(log->firstDay + (k == 1 ? view.secondShift : 0));
      const double perColumn = (view.to - view.from) / plot.width();
      const int rowTop = top + 1 + k * (height - 2) / 2;
      const int rowHeight = view.second ? (height - 2) / 2 : height - 2;
      // Neighbouring columns of one colour are filled as one rectangle.
      int spanStart = 0;
      QColor spanColor;
      const auto flush = [&](int end) {
        if (spanColor.isValid() && end > spanStart)
          painter.fillRect(QRect(plot.left() + spanStart, rowTop, end - spanStart, rowHeight), spanColor);
      };
      for (int x = 0; x < plot.width(); ++x) {
        const double t = view.from + x * perColumn - origin;
        const std::size_t row = firstRows[k][static_cast<std::size_t>(x)];
        QColor color;
        if (row < log->series.size()) {
          // Alarms: every row of the column counts, so that a short alarm shows at any zoom.
          color = band != 2                                          ? bandColor(band, *log, row)
                  : log->series.alarmsBetween(t, t + perColumn) != 0 ? QColor(210, 40, 40)
                                                                     : QColor(235, 235, 235);
        }
        if (color == spanColor) continue;
        flush(x);
        spanStart = x;
        spanColor = color;
      }
      flush(plot.width());
    }
  }
}

void drawTimeAxis(QPainter& painter, const QRect& area, double from, double to) {
  const QRect plot = area.adjusted(kLabelWidth, 0, 0, 0);
  const double perPixel = (to - from) / std::max(plot.width(), 1);
  // Labels about 110 pixels apart, or more.
  const double step =
      static_cast<double>(timeTickStepMs(std::llround((to - from) * 1000), plot.width() / 110)) / 1000;
  painter.setPen(Qt::black);
  for (double t = std::ceil(from / step) * step; t <= to; t += step) {
    const int x = plot.left() + static_cast<int>((t - from) / perPixel);
    painter.drawLine(x, area.top(), x, area.top() + 4);
    const QString label = QString::fromStdString(formatCivil(static_cast<CivilSeconds>(t)));
    const QString shown = step >= 86400  ? label.left(10)
                          : step >= 3600 ? label.mid(5, 11).replace('T', ' ')
                                         : label.mid(11);
    painter.drawText(QRect(x - 60, area.top() + 5, 120, 16), Qt::AlignHCenter, shown);
  }
}

QString valueText(const ChartLine& line, const ChartKind& chart, float value) {
  if (std::isnan(value)) return QString::fromUtf8(line.name) + " —";
  const int decimals = line.channel == LogChannel::Current || line.channel == LogChannel::Total      ? 3
                       : line.channel == LogChannel::MosTemp || line.channel == LogChannel::PackTemp ? 1
                                                                                                     : 0;
  return QString::fromUtf8(line.name) + " " + QString::number(value, 'f', decimals) + " " +
         QString::fromUtf8(chart.unit);
}

}  // namespace orlo::ui
