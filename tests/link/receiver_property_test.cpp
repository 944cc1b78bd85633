// Random streams of valid frames, noise and damaged frames, cut into random chunks: every valid
// frame must come out exactly once, in order, and nothing else.

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "link/receiver.h"
#include "link/recording_handlers.h"
#include "link/recording_observer.h"

namespace orlo {
namespace {

using test::RecordingHandlers;
using test::RecordingObserver;

constexpr int kSeeds = 10000;
constexpr std::size_t kMaxFrames = 16;  // so even a whole-stream read cannot overflow the queue

// Checksum written out here on purpose rather than taken from the code under test.
unsigned sumOf(const Bytes& s, std::size_t from, std::size_t to) {
  unsigned sum = 0;
  for (std::size_t i = from; i < to; ++i) sum += s[i];
  return sum & 0xFFFF;
}

class StreamGenerator {
 public:
  explicit StreamGenerator(std::uint64_t seed) : rng_(seed) {}

  int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  std::uint8_t byte() { return static_cast<std::uint8_t>(pick(0, 255)); }

  Bytes validFrame() {
    const std::size_t length = static_cast<std::size_t>(pick(6, 100));
    Bytes f(length);
    for (auto& b : f) b = byte();
    f[0] = 0xAA;
    f[1] = 0x55;
    if (length >= 13 && pick(0, 3) == 0) {  // a head or tail pair inside the data
      const std::size_t at = static_cast<std::size_t>(pick(7, static_cast<int>(length) - 6));
      f[at] = pick(0, 1) ? 0x55 : 0xAA;
      f[at + 1] = f[at] == 0x55 ? 0xAA : 0x55;
    }
    const unsigned sum = sumOf(f, 4, length - 4);
    f[length - 4] = static_cast<std::uint8_t>(sum & 0xFF);
    f[length - 3] = static_cast<std::uint8_t>(sum >> 8);
    f[length - 2] = 0x55;
    f[length - 1] = 0xAA;
    return f;
  }

  Bytes noise() {
    Bytes n(static_cast<std::size_t>(pick(0, 12)));
    for (auto& b : n) b = byte();
    if (pick(0, 2) == 0) n.insert(n.begin() + pick(0, static_cast<int>(n.size())), {0xAA, 0x55});
    return n;
  }

  Bytes damaged() {
    Bytes f = validFrame();
    // Bytes 2 and 3 are not summed, so the damage goes to the summed bytes, checksum or tail.
    const std::size_t at = static_cast<std::size_t>(pick(4, static_cast<int>(f.size()) - 1));
    f[at] ^= static_cast<std::uint8_t>(pick(1, 255));
    return f;
  }

  // Fills `stream` and returns the frames meant to come out, with their start offsets.
  std::vector<std::pair<std::size_t, Bytes>> build(Bytes& stream) {
    std::vector<std::pair<std::size_t, Bytes>> frames;
    const std::size_t count = static_cast<std::size_t>(pick(1, kMaxFrames));
    while (frames.size() < count) {
      const Bytes n = noise();
      stream.insert(stream.end(), n.begin(), n.end());
      if (pick(0, 4) == 0) {
        const Bytes d = damaged();
        stream.insert(stream.end(), d.begin(), d.end());
      }
      frames.emplace_back(stream.size(), validFrame());
      stream.insert(stream.end(), frames.back().second.begin(), frames.back().second.end());
    }
    return frames;
  }

  std::mt19937_64& rng() { return rng_; }

 private:
  std::mt19937_64 rng_;
};

// True when the only head/tail pairs in the stream that checksum are the intended frames.
bool unambiguous(const Bytes& s, const std::vector<std::pair<std::size_t, Bytes>>& frames) {
  std::size_t matches = 0;
  for (std::size_t h = 0; h + 1 < s.size(); ++h) {
    if (s[h] != 0xAA || s[h + 1] != 0x55) continue;
    for (std::size_t j = h + 3; j + 1 < s.size() && j + 1 - h < 100; ++j) {
      if (s[j] != 0x55 || s[j + 1] != 0xAA) continue;
      const unsigned stored = s[j - 2] | (s[j - 1] << 8);
      if (stored != sumOf(s, h + 4, j >= h + 6 ? j - 2 : h + 4)) continue;
      ++matches;
      bool intended = false;
      for (const auto& f : frames) intended |= f.first == h && f.second.size() == j + 2 - h;
      if (!intended) return false;
    }
  }
  return matches == frames.size();
}

// Feeds the stream in chunks of the chosen kind, ticking in between; returns what was dispatched.
std::vector<Bytes> run(const Bytes& stream, StreamGenerator& gen) {
  Receiver rx;
  RecordingHandlers handlers;
  RecordingObserver seen;
  rx.setObserver(&seen);
  const int mode = gen.pick(0, 3);
  const int maxChunk = mode == 0 ? 1 : mode == 1 ? 8 : mode == 2 ? 48 : static_cast<int>(stream.size());
  std::size_t at = 0;
  while (at < stream.size()) {
    const std::size_t n = std::min(stream.size() - at, static_cast<std::size_t>(gen.pick(1, maxChunk)));
    rx.onBytes(stream.data() + at, n);
    at += n;
    for (int t = gen.pick(0, 2); t > 0; --t) rx.frameTick(handlers);
    if (rx.pendingFrames() > 8) {
      while (rx.frameTick(handlers)) {
      }
    }
  }
  while (rx.frameTick(handlers)) {  // silence after the last frame
  }
  EXPECT_EQ(rx.stats().dropQueueFull, 0u);
  return seen.dispatched;
}

TEST(ReceivePathProperty, EveryValidFrameComesOutOnceInOrderWhateverTheChunking) {
  int checked = 0;
  for (std::uint64_t seed = 1; seed <= kSeeds; ++seed) {
    StreamGenerator gen(seed);
    Bytes stream;
    const auto frames = gen.build(stream);
    if (!unambiguous(stream, frames)) continue;
    std::vector<Bytes> expected;
    for (const auto& f : frames) expected.push_back(f.second);
    const std::vector<Bytes> got = run(stream, gen);
    ++checked;
    if (got != expected) {
      ADD_FAILURE() << "seed " << seed << ": " << got.size() << " frames out, " << expected.size()
                    << " expected";
      return;
    }
  }
  EXPECT_GT(checked, kSeeds * 9 / 10);  // the skipped ambiguous streams stay rare
}

TEST(ReceivePathProperty, AnySingleStrayByteBeforeAFrameIsDroppedAndTheFrameKept) {
  StreamGenerator gen(42);
  const Bytes frame = gen.validFrame();
  for (int b = 0; b < 256; ++b) {
    Bytes stream{static_cast<std::uint8_t>(b)};
    stream.insert(stream.end(), frame.begin(), frame.end());
    for (bool byteByByte : {false, true}) {
      Receiver rx;
      RecordingObserver seen;
      RecordingHandlers handlers;
      rx.setObserver(&seen);
      if (byteByByte) {
        for (auto c : stream) rx.onBytes(&c, 1);
      } else {
        rx.onBytes(stream.data(), stream.size());
      }
      while (rx.frameTick(handlers)) {
      }
      EXPECT_EQ(seen.dispatched, std::vector<Bytes>{frame})
          << "stray byte " << b << (byteByByte ? " (byte by byte)" : "");
    }
  }
}

}  // namespace
}  // namespace orlo
