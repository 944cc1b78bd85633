#include "app/trend_plot.h"
#include "util/platform.h"

#include <algorithm>
#include <ctime>

namespace orlo {

namespace {

// Collects the lowest and highest sample of one time bucket, to be emitted in time order.
struct Bucket {
  bool active = false;
  std::int64_t index = 0;
  PlotPoint low{}, high{};
  std::size_t lowAt = 0, highAt = 0;

  void start(std::int64_t i, PlotPoint p, std::size_t at) {
    active = true;
    index = i;
    low = high = p;
    lowAt = highAt = at;
  }
  void take(PlotPoint p, std::size_t at) {
    if (p.value < low.value) low = p, lowAt = at;
    if (p.value > high.value) high = p, highAt = at;
  }
  void flushInto(std::vector<PlotPoint>& out) const {
    if (!active) return;
    if (lowAt == highAt) {
      out.push_back(low);
      return;
    }
    out.push_back(lowAt < highAt ? low : high);
    out.push_back(lowAt < highAt ? high : low);
  }
};

}  // namespace

PlotSeries plotSeries(const TrendBuffer& buffer, const TrendRange& range, TrendSeries series,
                      const PlotRequest& request) {
  PlotSeries plot;
  const std::int64_t span = std::max<std::int64_t>(request.spanMs, 1);
  const auto buckets = static_cast<std::int64_t>(std::max<std::size_t>(request.buckets, 1));
  Bucket bucket;
  bool first = true;
  for (std::size_t i = range.first; i < range.last && i < buffer.size(); ++i) {
    const TrendSample& s = buffer.at(i);
    const PlotPoint p{static_cast<double>(s.timeMs), static_cast<double>(s.value(series))};
    const bool newSegment = plot.segments.empty() || (i > range.first && buffer.gapBefore(i) &&
                                                      plot.segments.size() < request.maxSegments);
    const std::int64_t b = (s.timeMs - request.startMs) * buckets / span;
    if (newSegment || !bucket.active || b != bucket.index) {
      if (!plot.segments.empty()) bucket.flushInto(plot.segments.back());
      if (newSegment) plot.segments.emplace_back();
      bucket.start(b, p, i);
    } else {
      bucket.take(p, i);
    }
    plot.minValue = first ? p.value : std::min(plot.minValue, p.value);
    plot.maxValue = first ? p.value : std::max(plot.maxValue, p.value);
    first = false;
  }
  if (!plot.segments.empty()) bucket.flushInto(plot.segments.back());
  return plot;
}

std::string trendHoverText(const TrendSample& sample) {
  const std::tm tm = localTime(static_cast<std::time_t>(sample.timeMs / 1000));
  char clock[16];
  std::strftime(clock, sizeof clock, "%H:%M:%S", &tm);
  std::string text = clock;
  for (const auto& info : trendSeriesTable()) {
    text += std::string("  ") + info.name + ": " + formatDecimal(sample.value(info.series), info.decimals) +
            " " + info.unit;
  }
  return text;
}

}  // namespace orlo
