#pragma once
// What a chart draws for one series over the visible span: the samples thinned to at most two
// points (lowest and highest) per time bucket, so a redraw costs the same for one minute or a
// whole day, and split into segments wherever the link went quiet, so no line bridges a gap.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/trend_buffer.h"

namespace orlo {

struct PlotPoint {
  double timeMs;
  double value;
};

struct PlotSeries {
  std::vector<std::vector<PlotPoint>> segments;
  double minValue = 0;
  double maxValue = 0;
  bool empty() const { return segments.empty(); }
};

struct PlotRequest {
  std::int64_t startMs = 0;
  std::int64_t spanMs = 60000;
  std::size_t buckets = 1000;    // about the chart's width in pixels
  std::size_t maxSegments = 64;  // past this many gaps the rest is drawn joined
};

PlotSeries plotSeries(const TrendBuffer& buffer, const TrendRange& range, TrendSeries series,
                      const PlotRequest& request);

// "10:46:49  Cell 1: 3301 mV  ...  Cell spread: 9 mV" for the sample under the mouse.
std::string trendHoverText(const TrendSample& sample);

}  // namespace orlo
