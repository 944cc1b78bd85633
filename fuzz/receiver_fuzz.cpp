// Fuzzes the receive path. The first input byte picks the mode (bit 0: repair checksums, so that
// the fuzzer reaches the dispatch side instead of stopping at the checksum) and seeds the chunk
// sizes; the rest is fed in chunks of 1 ... 32 bytes with frame ticks in between.

#include <array>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "link/receiver.h"
#include "link/requests.h"

namespace {

using orlo::FrameView;

// Every dispatched frame must be one the rules allow; anything else is a bug worth a crash.
void checkFrame(const FrameView& f) {
  const std::size_t n = f.length();
  const bool framed = n >= 6 && n <= orlo::kFrameBufferSize && f.u8(0) == 0xAA && f.u8(1) == 0x55 &&
                      f.u8(n - 2) == 0x55 && f.u8(n - 1) == 0xAA;
  if (!framed || orlo::frameChecksum(f.data(), n - 4) != f.u16(n - 4)) std::abort();
}

// Reads every byte of every frame the way the pages do, far past its end.
class ReadingHandlers : public orlo::FrameHandlers {
 public:
  void onFrame(const FrameView& f) override { readAll(f); }
  void onLiveData(const orlo::LiveData& live) override { sink_ += live.balanceFlags + live.alarmFlags; }
  void onAlarmParameters(const FrameView& f) override { readAll(f); }
  void onSetAcknowledge() override { ++sink_; }
  void onBalanceCondition(const orlo::BalanceCondition& c) override { sink_ += c.thresholdMv; }
  void onCalibrationResult(const orlo::CalibrationResult& r) override { sink_ += r.coefficientRaw; }
  void onOtherFrame(const orlo::LiveData& live) override { sink_ += live.mosStatus; }

 private:
  void readAll(const FrameView& f) {
    checkFrame(f);
    for (std::size_t off = 0; off < orlo::kFrameBufferSize + 8; ++off) {
      sink_ += f.u8(off) + f.u16(off) + static_cast<std::uint32_t>(f.s16(off)) + f.u32(off) +
               static_cast<std::uint32_t>(f.s32(off));
    }
  }
  volatile std::uint32_t sink_ = 0;
};

class Rng {
 public:
  explicit Rng(std::uint32_t seed) : state_(seed * 2654435761u + 1) {}
  std::uint32_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }

 private:
  std::uint32_t state_;
};

// Writes the right checksum in front of the first tail after every head.
void repairChecksums(std::vector<std::uint8_t>& s) {
  for (std::size_t h = 0; h + 1 < s.size(); ++h) {
    if (s[h] != 0xAA || s[h + 1] != 0x55) continue;
    for (std::size_t j = h + 6; j + 1 < s.size() && j + 2 - h <= orlo::kFrameBufferSize; ++j) {
      if (s[j] != 0x55 || s[j + 1] != 0xAA) continue;
      const std::uint16_t sum = orlo::frameChecksum(s.data() + h, j - 2 - h);
      s[j - 2] = static_cast<std::uint8_t>(sum & 0xFF);
      s[j - 1] = static_cast<std::uint8_t>(sum >> 8);
      break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::vector<std::uint8_t> stream(data + 1, data + size);
  if (data[0] & 1) repairChecksums(stream);
  Rng rng(data[0]);

  orlo::Receiver rx;
  ReadingHandlers handlers;
  std::size_t at = 0;
  while (at < stream.size()) {
    const std::size_t chunk = std::min<std::size_t>(1 + rng.next() % 32, stream.size() - at);
    rx.onBytes(stream.data() + at, chunk);
    at += chunk;
    for (std::uint32_t t = rng.next() % 3; t > 0; --t) rx.frameTick(handlers);
    if (rx.pendingFrames() > orlo::Receiver::kQueueSize) std::abort();
  }
  while (rx.frameTick(handlers)) {
  }
  const orlo::ReceiveStats& s = rx.stats();
  if (s.framesDispatched + s.dropQueueFull != s.framesAccepted || s.bytesReceived != stream.size())
    std::abort();
  return 0;
}
