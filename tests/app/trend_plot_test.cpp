#include "app/trend_plot.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace orlo {
namespace {

void addSample(TrendBuffer& b, std::int64_t t, float cell1) {
  TrendSample s;
  s.timeMs = t;
  s.values[static_cast<std::size_t>(TrendSeries::Cell1)] = cell1;
  b.add(s);
}

PlotSeries plotAll(const TrendBuffer& b, std::int64_t start, std::int64_t span, std::size_t buckets,
                   std::size_t maxSegments = 64) {
  PlotRequest req{start, span, buckets, maxSegments};
  return plotSeries(b, b.visible(start + span, span), TrendSeries::Cell1, req);
}

TEST(TrendPlot, QuietLinkSplitsTheCurveSoNoLineCrossesTheGap) {
  TrendBuffer b(100);
  for (int t : {0, 1000, 2000, 9000, 10000, 20000}) addSample(b, t, static_cast<float>(t));
  PlotSeries p = plotAll(b, 0, 60000, 60000);
  ASSERT_EQ(p.segments.size(), 3u);
  EXPECT_EQ(p.segments[0].size(), 3u);
  EXPECT_EQ(p.segments[0].back().timeMs, 2000);
  EXPECT_EQ(p.segments[1].front().timeMs, 9000);
  EXPECT_EQ(p.segments[1].size(), 2u);
  EXPECT_EQ(p.segments[2].size(), 1u);
  EXPECT_EQ(p.minValue, 0);
  EXPECT_EQ(p.maxValue, 20000);
}

TEST(TrendPlot, ADayOfSamplesIsThinnedToTwoPointsPerBucketKeepingSpikes) {
  TrendBuffer b;
  const std::int64_t day = 86400000;
  for (std::int64_t t = 0; t < day; t += 1000) addSample(b, t, 3300.0f + static_cast<float>(t % 7000 == 0));
  addSample(b, day, 4200);  // a one-sample spike at the very end
  PlotSeries p = plotAll(b, 0, day, 1000);
  ASSERT_EQ(p.segments.size(), 1u);
  EXPECT_LE(p.segments[0].size(), 2u * 1001);
  EXPECT_GE(p.segments[0].size(), 1000u);
  EXPECT_EQ(p.maxValue, 4200);
  bool spikeDrawn = false;
  for (const auto& pt : p.segments[0]) spikeDrawn |= pt.value == 4200;
  EXPECT_TRUE(spikeDrawn);
  for (std::size_t i = 1; i < p.segments[0].size(); ++i)
    ASSERT_LE(p.segments[0][i - 1].timeMs, p.segments[0][i].timeMs) << "points out of time order at " << i;
}

TEST(TrendPlot, BeyondTheSegmentLimitTheRestIsJoined) {
  TrendBuffer b(100);
  for (int i = 0; i < 10; ++i) addSample(b, i * 10000, 1);
  EXPECT_EQ(plotAll(b, 0, 100000, 1000).segments.size(), 10u);
  EXPECT_EQ(plotAll(b, 0, 100000, 1000, 4).segments.size(), 4u);
}

TEST(TrendPlot, EmptySpanDrawsNothing) {
  TrendBuffer b(10);
  addSample(b, 0, 1);
  EXPECT_TRUE(plotAll(b, 100000, 60000, 100).empty());
}

TEST(TrendHoverText, ShowsEverySeriesWithItsUnitAtTheLocalTime) {
  setenv("TZ", "UTC0", 1);
  tzset();
  TrendSample s;
  s.timeMs = 3723000;  // 01:02:03
  s.values = {3301, 3302, 3303, 3304, -1.5f, 87, -5, 41, 13210, 3};
  std::string text = trendHoverText(s);
  EXPECT_EQ(text.rfind("01:02:03", 0), 0u) << text;
  for (const char* part : {"Cell 1: 3301 mV", "Current: -1.500 A", "SOC: 87 %",
                           "Temperature 1: -5 \xC2\xB0"
                           "C",
                           "Total voltage: 13210 mV", "Cell spread: 3 mV"})
    EXPECT_NE(text.find(part), std::string::npos) << part << " missing from " << text;
}

}  // namespace
}  // namespace orlo
