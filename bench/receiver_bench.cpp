// Receive path throughput: a stream of valid Live-data-sized (83-byte) frames cut into random
// chunks, each chunk followed by frame ticks until the queue is empty. Argument: the largest
// chunk (chunks are 1 ... that many bytes).

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "link/receiver.h"
#include "link/requests.h"

namespace {

using orlo::Bytes;
using orlo::FrameView;

class CountingHandlers : public orlo::FrameHandlers {
 public:
  void onLiveData(const orlo::LiveData& live) override { sum += live.cellMv[0] + live.balanceFlags; }
  void onAlarmParameters(const FrameView&) override {}
  void onSetAcknowledge() override {}
  void onBalanceCondition(const orlo::BalanceCondition&) override {}
  void onCalibrationResult(const orlo::CalibrationResult&) override {}
  void onOtherFrame(const orlo::LiveData& live) override { sum += live.mosStatus; }
  std::uint64_t sum = 0;
};

Bytes liveDataStream(std::size_t frames, std::mt19937& rng) {
  Bytes stream;
  Bytes data(72);
  for (std::size_t i = 0; i < frames; ++i) {
    for (auto& b : data) b = static_cast<std::uint8_t>(rng() & 0xFF);
    const Bytes f = orlo::buildFrame(0x4D, 0x00, 0x00, data);
    stream.insert(stream.end(), f.begin(), f.end());
  }
  return stream;
}

void BM_ReceiveLiveDataInRandomChunks(benchmark::State& state) {
  std::mt19937 rng(7);
  const Bytes stream = liveDataStream(2000, rng);
  std::uniform_int_distribution<std::size_t> chunkSize(1, static_cast<std::size_t>(state.range(0)));
  std::vector<std::size_t> chunks;
  for (std::size_t at = 0; at < stream.size();) {
    chunks.push_back(std::min(chunkSize(rng), stream.size() - at));
    at += chunks.back();
  }
  orlo::Receiver rx;
  CountingHandlers handlers;
  for (auto _ : state) {
    std::size_t at = 0;
    for (std::size_t n : chunks) {
      rx.onBytes(stream.data() + at, n);
      at += n;
      while (rx.frameTick(handlers)) {
      }
    }
  }
  benchmark::DoNotOptimize(handlers.sum);
  if (rx.stats().framesDispatched != 2000 * static_cast<std::uint64_t>(state.iterations()))
    state.SkipWithError("not every frame came out");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(BM_ReceiveLiveDataInRandomChunks)->Arg(1)->Arg(8)->Arg(32)->Arg(64)->Arg(256);

}  // namespace
