#pragma once
// What the simulator received and sent: every request with its time, and the counters that
// `--report` writes as key=value lines for scripts and tests.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/sim_frame.h"

namespace orlo::sim {

struct ReceivedRequest {
  std::int64_t timeMs;  // since the simulator started
  Bytes frame;
};

struct SentCounts {
  std::uint64_t validFrames = 0;
  std::uint64_t corruptedFrames = 0;
  std::uint64_t liveFrames = 0;
  std::uint64_t garbageBytes = 0;
  std::uint64_t bytes = 0;
};

class SimStats {
 public:
  void onRequest(std::int64_t timeMs, const Bytes& frame, bool understood);
  void onAnswered(std::size_t frames) { answers_ += frames; }
  void onSent(const SentCounts& counts);
  void onSilenced(std::size_t frames) { silenced_ += frames; }
  void onDropped(std::uint64_t frames) { dropped_ += frames; }
  void onUnplug() { ++unplugs_; }

  const std::vector<ReceivedRequest>& requests() const { return requests_; }
  std::uint64_t requestsWithCommand(std::uint8_t command) const;
  const SentCounts& sent() const { return sent_; }
  std::uint64_t answers() const { return answers_; }
  std::uint64_t dropped() const { return dropped_; }

  // One key=value per line; the keys are listed in the simulator's README.
  std::string report() const;
  // One line per request: time in ms, then the frame in hex.
  static std::string recordLine(const ReceivedRequest& request);

 private:
  std::vector<ReceivedRequest> requests_;
  std::map<std::uint8_t, std::uint64_t> byCommand_;
  std::uint64_t ignored_ = 0;
  std::uint64_t answers_ = 0;
  std::uint64_t silenced_ = 0;
  std::uint64_t dropped_ = 0;
  std::uint64_t unplugs_ = 0;
  SentCounts sent_;
};

}  // namespace orlo::sim
