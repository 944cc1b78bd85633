// The per-pixel reduction the charts draw from must keep every row's extreme, whether it reads
// rows or the block summaries: a one-row spike has to show at any zoom.

#include "core/log_series.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace orlo {
namespace {

TEST(LogSeriesTest, ReductionEqualsTheMinAndMaxOfEveryColumnsRows) {
  LogSeries series;
  std::mt19937 random(7);
  constexpr int kRows = 200000;
  for (int i = 0; i < kRows; ++i) {
    LogRow row;
    row.cellMv = {3300 + static_cast<int>(random() % 50), 3300, 3300, 3300};
    if (i == 123457) row.cellMv[0] = 3900;         // one spike
    if (i == 150001) row.alarmFlags = 1u << 13;    // one row with an alarm
    if (i % 1000 == 0) row.cellMv = {0, 0, 0, 0};  // link down: no cell value
    series.add(LogRecord{row, i + 2, i * 2, i < kRows / 2 ? 0 : 1});
  }
  // A span of a few rows per column (rows read) and of many (blocks read).
  for (const auto& [from, to, columns] : {std::tuple{1000.0, 5000.0, 700}, std::tuple{0.0, 2.0 * kRows, 300},
                                          std::tuple{-50.0, 2.0 * kRows + 50, 97}}) {
    std::vector<ColumnRange> reduced;
    series.reduce(LogChannel::Cell1, from, to, columns, &reduced);
    ASSERT_EQ(reduced.size(), static_cast<std::size_t>(columns));
    float low = INFINITY, high = -INFINITY, reducedLow = INFINITY, reducedHigh = -INFINITY;
    for (std::size_t i = series.lowerBound(static_cast<CivilSeconds>(std::ceil(from)));
         i < series.size() && series.seconds(i) < to; ++i) {
      const float v = series.value(LogChannel::Cell1, i);
      if (std::isnan(v)) continue;
      low = std::min(low, v);
      high = std::max(high, v);
    }
    for (const ColumnRange& c : reduced)
      if (!c.empty()) {
        reducedLow = std::min(reducedLow, c.low);
        reducedHigh = std::max(reducedHigh, c.high);
      }
    EXPECT_EQ(reducedLow, low) << from << " " << to;
    EXPECT_EQ(reducedHigh, high) << from << " " << to;
    EXPECT_GT(reducedLow, 0) << "a link-down row counted as 0 mV";
  }
  // Row by row (8 s a column, 4 rows), each column holds exactly the rows of its time.
  std::vector<ColumnRange> rows;
  series.reduce(LogChannel::Cell1, 240000, 244000, 500, &rows);
  for (std::size_t i = series.lowerBound(240000); series.seconds(i) < 244000; ++i) {
    const float v = series.value(LogChannel::Cell1, i);
    const ColumnRange& c = rows[static_cast<std::size_t>((series.seconds(i) - 240000) / 8)];
    if (std::isnan(v)) continue;
    EXPECT_TRUE(c.low <= v && v <= c.high) << "row " << i;
  }
  // The spike lands in the column of its time, and the run change between the two halves shows.
  std::vector<ColumnRange> reduced;
  series.reduce(LogChannel::Cell1, 0, 2.0 * kRows, 400, &reduced);
  EXPECT_EQ(reduced[123457 * 2 * 400 / (2 * kRows)].high, 3900);
  EXPECT_EQ(reduced[199].lastRun, 0);
  EXPECT_EQ(series.alarmsBetween(0, 2.0 * kRows), 1u << 13);
  EXPECT_EQ(series.alarmsBetween(300002, 300003), 1u << 13);
  EXPECT_EQ(series.alarmsBetween(300003, 2.0 * kRows), 0u);
  EXPECT_EQ(series.alarmsBetween(0, 300002), 0u);
  EXPECT_EQ(reduced[200].firstRun, 1);
}

}  // namespace
}  // namespace orlo
