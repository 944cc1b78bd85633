#include "sim/sim_stats.h"

#include <cstdio>

namespace orlo::sim {

namespace {

// Every command the host sends, so that a report always carries all of them, zeros included.
constexpr std::uint8_t kKnownCommands[] = {0x06, 0x07, 0x0C, 0x18, 0x47};
constexpr std::size_t kMaxKeptRequests = 100000;

std::string hexKey(const char* prefix, std::uint8_t command) {
  char key[32];
  std::snprintf(key, sizeof key, "%s%02X", prefix, command);
  return key;
}

}  // namespace

void SimStats::onRequest(std::int64_t timeMs, const Bytes& frame, bool understood) {
  // A soak run must not grow without bound; the counters keep counting.
  if (requests_.size() < kMaxKeptRequests) requests_.push_back({timeMs, frame});
  ++byCommand_[frame[2]];
  if (!understood) ++ignored_;
}

void SimStats::onSent(const SentCounts& c) {
  sent_.validFrames += c.validFrames;
  sent_.corruptedFrames += c.corruptedFrames;
  sent_.liveFrames += c.liveFrames;
  sent_.garbageBytes += c.garbageBytes;
  sent_.bytes += c.bytes;
}

std::uint64_t SimStats::requestsWithCommand(std::uint8_t command) const {
  const auto it = byCommand_.find(command);
  return it == byCommand_.end() ? 0 : it->second;
}

std::string SimStats::report() const {
  std::uint64_t total = 0;
  for (const auto& entry : byCommand_) total += entry.second;
  std::string out = "requests_total=" + std::to_string(total) + "\n";
  std::map<std::uint8_t, std::uint64_t> all = byCommand_;
  for (std::uint8_t command : kKnownCommands) all.emplace(command, 0);
  for (const auto& entry : all) {
    out += hexKey("requests_cmd_", entry.first) + "=" + std::to_string(entry.second) + "\n";
  }
  out += "requests_ignored=" + std::to_string(ignored_) + "\n";
  out += "answers_sent=" + std::to_string(answers_) + "\n";
  out += "answers_silenced=" + std::to_string(silenced_) + "\n";
  out += "answers_dropped=" + std::to_string(dropped_) + "\n";
  out += "valid_frames_sent=" + std::to_string(sent_.validFrames) + "\n";
  out += "live_frames_sent=" + std::to_string(sent_.liveFrames) + "\n";
  out += "corrupted_frames_sent=" + std::to_string(sent_.corruptedFrames) + "\n";
  out += "garbage_bytes_sent=" + std::to_string(sent_.garbageBytes) + "\n";
  out += "bytes_sent=" + std::to_string(sent_.bytes) + "\n";
  out += "unplugs=" + std::to_string(unplugs_) + "\n";
  return out;
}

std::string SimStats::recordLine(const ReceivedRequest& request) {
  std::string line = std::to_string(request.timeMs);
  char byte[4];
  for (std::uint8_t b : request.frame) {
    std::snprintf(byte, sizeof byte, " %02X", b);
    line += byte;
  }
  return line;
}

}  // namespace orlo::sim
