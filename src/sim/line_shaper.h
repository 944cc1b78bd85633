#pragma once
// Turns the board's frames into the writes that go on the line, with the faults a bad line or
// a sloppy board shows: frames cut into pieces or glued together, corrupted checksums, garbage
// between frames and late answers. A seed makes every run repeatable.

#include <cstdint>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include "sim/sim_frame.h"
#include "sim/sim_stats.h"

namespace orlo::sim {

enum class SplitMode { Whole, Byte, Random, Glue };

bool parseSplitMode(const std::string& text, SplitMode& mode);
const char* splitModeName(SplitMode mode);

struct FaultSettings {
  SplitMode split = SplitMode::Whole;
  double corruptRatio = 0;  // share of frames sent with a wrong checksum
  double garbageRatio = 0;  // share of frames preceded by random bytes
  int delayMs = 0;          // answer delay
  std::uint32_t seed = 1;
};

// One write, due at a time; `counts` are booked once its last byte is out.
struct Chunk {
  std::int64_t dueMs = 0;
  Bytes bytes;
  std::size_t written = 0;
  SentCounts counts;
};

class LineShaper {
 public:
  explicit LineShaper(const FaultSettings& settings);

  // Queues frames to go out no earlier than `dueMs`. When the queue then holds more than
  // kMaxQueuedBytes, the oldest frames not yet begun are dropped; returns how many.
  std::uint64_t queue(const std::vector<Bytes>& frames, std::int64_t dueMs);
  bool hasDue(std::int64_t nowMs) const { return !chunks_.empty() && chunks_.front().dueMs <= nowMs; }
  Chunk& front() { return chunks_.front(); }
  const Chunk& front() const { return chunks_.front(); }
  void popFront();
  std::int64_t nextDueMs() const { return chunks_.empty() ? -1 : chunks_.front().dueMs; }
  bool empty() const { return chunks_.empty(); }
  std::size_t queuedBytes() const { return queuedBytes_; }
  void clear();
  const FaultSettings& settings() const { return settings_; }

  // Gap between the pieces of a split frame, so that a reader sees them as separate reads.
  static constexpr std::int64_t kPieceGapMs = 2;
  // A glued write waits at most this long for its companions.
  static constexpr std::int64_t kGlueHoldMs = 1000;
  // A host that writes requests and never reads must not make the board hoard answers: this is
  // about 17 s of a 38400 baud line, room enough for --delay at the tool's poll rate.
  static constexpr std::size_t kMaxQueuedBytes = 65536;

 private:
  void queueOne(Bytes frame, std::int64_t dueMs);
  Bytes garbage();
  bool chance(double ratio);
  void push(std::int64_t dueMs, Bytes bytes, const SentCounts& counts);
  void pushPieces(const Bytes& bytes, std::int64_t dueMs, const SentCounts& counts, bool random);
  void glue(const Bytes& bytes, std::int64_t dueMs, const SentCounts& counts);
  std::uint64_t dropOldestFrame();

  FaultSettings settings_;
  std::mt19937 rng_;
  std::deque<Chunk> chunks_;
  std::size_t queuedBytes_ = 0;
  bool glueOpen_ = false;
  int glueFrames_ = 0;
  int glueTarget_ = 2;
};

}  // namespace orlo::sim
