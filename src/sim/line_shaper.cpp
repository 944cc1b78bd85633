#include "sim/line_shaper.h"

#include <algorithm>

namespace orlo::sim {

namespace {

struct SplitName {
  SplitMode mode;
  const char* name;
};
constexpr SplitName kSplitNames[] = {{SplitMode::Whole, "whole"},
                                     {SplitMode::Byte, "byte"},
                                     {SplitMode::Random, "random"},
                                     {SplitMode::Glue, "glue"}};

constexpr std::size_t kMaxGarbage = 16;

}  // namespace

bool parseSplitMode(const std::string& text, SplitMode& mode) {
  for (const SplitName& entry : kSplitNames) {
    if (text == entry.name) {
      mode = entry.mode;
      return true;
    }
  }
  return false;
}

const char* splitModeName(SplitMode mode) {
  for (const SplitName& entry : kSplitNames) {
    if (entry.mode == mode) return entry.name;
  }
  return "?";
}

LineShaper::LineShaper(const FaultSettings& settings) : settings_(settings), rng_(settings.seed) {}

bool LineShaper::chance(double ratio) {
  if (ratio <= 0) return false;
  return std::uniform_real_distribution<double>(0.0, 1.0)(rng_) < ratio;
}

void LineShaper::clear() {
  chunks_.clear();
  queuedBytes_ = 0;
  glueOpen_ = false;
  glueFrames_ = 0;
}

void LineShaper::popFront() {
  queuedBytes_ -= chunks_.front().bytes.size();
  chunks_.pop_front();
  if (chunks_.empty()) glueOpen_ = false;
}

std::uint64_t LineShaper::queue(const std::vector<Bytes>& frames, std::int64_t dueMs) {
  for (const Bytes& frame : frames) queueOne(frame, dueMs);
  std::uint64_t dropped = 0;
  while (queuedBytes_ > kMaxQueuedBytes) {
    const std::uint64_t n = dropOldestFrame();
    if (n == 0) break;
    dropped += n;
  }
  return dropped;
}

namespace {

std::uint64_t framesEndingIn(const Chunk& chunk) {
  return chunk.counts.validFrames + chunk.counts.corruptedFrames;
}

}  // namespace

// Drops whole frames only, and never the one already going out, so what reaches the line
// stays a sequence of complete frames.
std::uint64_t LineShaper::dropOldestFrame() {
  std::size_t first = 0;
  if (!chunks_.empty() && chunks_.front().written > 0) {
    while (first < chunks_.size() && framesEndingIn(chunks_[first]) == 0) ++first;
    ++first;
  }
  std::size_t last = first;
  while (last < chunks_.size() && framesEndingIn(chunks_[last]) == 0) ++last;
  if (last >= chunks_.size()) return 0;
  std::uint64_t frames = 0;
  for (std::size_t i = first; i <= last; ++i) {
    frames += framesEndingIn(chunks_[i]);
    queuedBytes_ -= chunks_[i].bytes.size();
  }
  if (last + 1 == chunks_.size()) glueOpen_ = false;
  chunks_.erase(chunks_.begin() + static_cast<long>(first), chunks_.begin() + static_cast<long>(last + 1));
  return frames;
}

// Random bytes; now and then with a stray head in them, the hardest noise for a receiver.
Bytes LineShaper::garbage() {
  Bytes bytes(std::uniform_int_distribution<std::size_t>(1, kMaxGarbage)(rng_));
  for (auto& b : bytes) b = static_cast<std::uint8_t>(rng_() & 0xFF);
  if (bytes.size() >= 2 && chance(0.5)) {
    const std::size_t at = std::uniform_int_distribution<std::size_t>(0, bytes.size() - 2)(rng_);
    bytes[at] = 0xAA;
    bytes[at + 1] = 0x55;
  }
  return bytes;
}

void LineShaper::queueOne(Bytes frame, std::int64_t dueMs) {
  SentCounts counts;
  if (frame.size() >= kMinFrameLength && chance(settings_.corruptRatio)) {
    frame[frame.size() - 4] ^= 0xFF;
    counts.corruptedFrames = 1;
  } else {
    counts.validFrames = 1;
    counts.liveFrames = frame.size() > 2 && frame[2] == 0x4D ? 1 : 0;
  }
  Bytes bytes;
  if (chance(settings_.garbageRatio)) bytes = garbage();
  counts.garbageBytes = bytes.size();
  bytes.insert(bytes.end(), frame.begin(), frame.end());
  counts.bytes = bytes.size();
  switch (settings_.split) {
    case SplitMode::Whole:
      push(dueMs, std::move(bytes), counts);
      break;
    case SplitMode::Byte:
    case SplitMode::Random:
      pushPieces(bytes, dueMs, counts, settings_.split == SplitMode::Random);
      break;
    case SplitMode::Glue:
      glue(bytes, dueMs, counts);
      break;
  }
}

void LineShaper::push(std::int64_t dueMs, Bytes bytes, const SentCounts& counts) {
  Chunk chunk;
  // Writes never overtake one another.
  chunk.dueMs = chunks_.empty() ? dueMs : std::max(dueMs, chunks_.back().dueMs);
  chunk.bytes = std::move(bytes);
  chunk.counts = counts;
  queuedBytes_ += chunk.bytes.size();
  chunks_.push_back(std::move(chunk));
  glueOpen_ = false;
}

void LineShaper::pushPieces(const Bytes& bytes, std::int64_t dueMs, const SentCounts& counts, bool random) {
  std::size_t at = 0;
  std::int64_t due = dueMs;
  while (at < bytes.size()) {
    std::size_t size = 1;
    if (random) size = std::uniform_int_distribution<std::size_t>(1, bytes.size() - at)(rng_);
    const bool last = at + size == bytes.size();
    push(due, Bytes(bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at + size)),
         last ? counts : SentCounts{});
    at += size;
    due = chunks_.back().dueMs +
          (random ? std::uniform_int_distribution<std::int64_t>(0, 5)(rng_) : kPieceGapMs);
  }
}

// Frames wait in one open write until two or three of them are together, or until the hold
// time is up, and then go out as a single write.
void LineShaper::glue(const Bytes& bytes, std::int64_t dueMs, const SentCounts& counts) {
  // Once its first byte is out, an open write can take nothing more.
  if (glueOpen_ && chunks_.back().written > 0) glueOpen_ = false;
  if (!glueOpen_) {
    push(dueMs + kGlueHoldMs, bytes, counts);
    glueOpen_ = true;
    glueFrames_ = 1;
    glueTarget_ = std::uniform_int_distribution<int>(2, 3)(rng_);
    return;
  }
  Chunk& open = chunks_.back();
  open.bytes.insert(open.bytes.end(), bytes.begin(), bytes.end());
  queuedBytes_ += bytes.size();
  open.counts.validFrames += counts.validFrames;
  open.counts.corruptedFrames += counts.corruptedFrames;
  open.counts.liveFrames += counts.liveFrames;
  open.counts.garbageBytes += counts.garbageBytes;
  open.counts.bytes += counts.bytes;
  if (++glueFrames_ >= glueTarget_) {
    open.dueMs = std::max(dueMs, chunks_.size() > 1 ? chunks_[chunks_.size() - 2].dueMs : dueMs);
    glueOpen_ = false;
  }
}

}  // namespace orlo::sim
