// What the diagnostics cost per frame and per redraw: recording a frame in the traffic log and
// the trend buffer, and thinning a span of the buffer for one chart series.

#include <benchmark/benchmark.h>

#include "app/traffic_log.h"
#include "app/trend_plot.h"
#include "app/trend_recorder.h"
#include "link/requests.h"

namespace orlo {
namespace {

TrendBuffer& fullDay() {
  static TrendBuffer buffer = [] {
    TrendBuffer b;
    for (std::int64_t i = 0; i < static_cast<std::int64_t>(b.capacity()); ++i) {
      TrendSample s;
      s.timeMs = i * 1000;
      s.values[0] = 3300.0f + static_cast<float>(i % 17);
      b.add(s);
    }
    return b;
  }();
  return buffer;
}

void BM_RecordLiveFrame(benchmark::State& state) {
  TrafficLog log([] { return std::int64_t{0}; });
  TrendBuffer trends;
  TrendRecorder recorder(trends, [] { return std::int64_t{0}; });
  const Bytes frame = buildFrame(0x4D, 0, 0, Bytes(72, 0x11));
  for (auto _ : state) {
    log.onFrameAccepted(frame.data(), frame.size());
    log.onFrameDispatched(frame.data(), frame.size());
    recorder.onFrameDispatched(frame.data(), frame.size());
  }
}
BENCHMARK(BM_RecordLiveFrame);

// One series of one chart at the given span, ending at the newest sample, 1000 px wide.
void BM_PlotSpan(benchmark::State& state) {
  const TrendBuffer& b = fullDay();
  const std::int64_t span = state.range(0) * 1000;
  const std::int64_t end = b.newest().timeMs;
  for (auto _ : state) {
    PlotRequest request{end - span, span, 1000, 64};
    PlotSeries p = plotSeries(b, b.visible(end, span), TrendSeries::Cell1, request);
    benchmark::DoNotOptimize(p);
  }
}
BENCHMARK(BM_PlotSpan)->Arg(60)->Arg(3600)->Arg(86400)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace orlo
