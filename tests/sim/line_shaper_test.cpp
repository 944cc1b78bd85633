// How answers are cut, glued, corrupted and padded on their way to the line.

#include <gtest/gtest.h>

#include <set>

#include "sim/line_shaper.h"
#include "support/hex.h"

namespace orlo::sim {
namespace {

using orlo::test::hex;

const Bytes kFrame = hex("AA 55 4D 00 00 00 00 00 10 20 30 40 A0 00 55 AA");

// Everything the shaper would write, in order, as (due time, bytes).
std::vector<Chunk> drain(LineShaper& shaper) {
  std::vector<Chunk> out;
  while (!shaper.empty()) {
    out.push_back(shaper.front());
    shaper.popFront();
  }
  return out;
}

Bytes joined(const std::vector<Chunk>& chunks) {
  Bytes all;
  for (const Chunk& c : chunks) all.insert(all.end(), c.bytes.begin(), c.bytes.end());
  return all;
}

SentCounts total(const std::vector<Chunk>& chunks) {
  SentCounts sum;
  for (const Chunk& c : chunks) {
    sum.validFrames += c.counts.validFrames;
    sum.corruptedFrames += c.counts.corruptedFrames;
    sum.liveFrames += c.counts.liveFrames;
    sum.garbageBytes += c.counts.garbageBytes;
    sum.bytes += c.counts.bytes;
  }
  return sum;
}

FaultSettings with(SplitMode split, double corrupt = 0, double garbage = 0, std::uint32_t seed = 1) {
  FaultSettings s;
  s.split = split;
  s.corruptRatio = corrupt;
  s.garbageRatio = garbage;
  s.seed = seed;
  return s;
}

TEST(LineShaper, wholeModeWritesEachFrameAsOneWriteAtItsTime) {
  LineShaper shaper(with(SplitMode::Whole));
  shaper.queue({kFrame, kFrame}, 250);
  EXPECT_FALSE(shaper.hasDue(249));
  EXPECT_TRUE(shaper.hasDue(250));
  const auto chunks = drain(shaper);
  ASSERT_EQ(chunks.size(), 2u);
  EXPECT_EQ(chunks[0].bytes, kFrame);
  EXPECT_EQ(chunks[1].dueMs, 250);
  EXPECT_EQ(total(chunks).validFrames, 2u);
  EXPECT_EQ(total(chunks).liveFrames, 2u);
  EXPECT_EQ(total(chunks).bytes, 2 * kFrame.size());
}

TEST(LineShaper, byteModeWritesOneByteAtATimeWithGaps) {
  LineShaper shaper(with(SplitMode::Byte));
  shaper.queue({kFrame}, 0);
  const auto chunks = drain(shaper);
  ASSERT_EQ(chunks.size(), kFrame.size());
  for (std::size_t i = 0; i < chunks.size(); ++i) {
    EXPECT_EQ(chunks[i].bytes.size(), 1u);
    EXPECT_EQ(chunks[i].dueMs, static_cast<std::int64_t>(i) * LineShaper::kPieceGapMs);
  }
  EXPECT_EQ(joined(chunks), kFrame);
  EXPECT_EQ(chunks.back().counts.validFrames, 1u) << "a frame counts once its last byte is out";
  EXPECT_EQ(total(chunks).validFrames, 1u);
}

TEST(LineShaper, randomModeCutsFramesIntoInOrderPiecesThatDifferBySeed) {
  std::set<std::size_t> firstPieceSizes;
  for (std::uint32_t seed = 1; seed <= 8; ++seed) {
    LineShaper shaper(with(SplitMode::Random, 0, 0, seed));
    shaper.queue({kFrame, kFrame, kFrame}, 0);
    const auto chunks = drain(shaper);
    Bytes three;
    for (int i = 0; i < 3; ++i) three.insert(three.end(), kFrame.begin(), kFrame.end());
    EXPECT_EQ(joined(chunks), three);
    for (std::size_t i = 1; i < chunks.size(); ++i) EXPECT_GE(chunks[i].dueMs, chunks[i - 1].dueMs);
    firstPieceSizes.insert(chunks.front().bytes.size());
  }
  EXPECT_GT(firstPieceSizes.size(), 1u);
}

TEST(LineShaper, glueModeSendsSeveralFramesInOneWrite) {
  LineShaper shaper(with(SplitMode::Glue));
  shaper.queue({kFrame}, 0);
  shaper.queue({kFrame}, 1000 - 1);
  shaper.queue({kFrame}, 1000 - 1);
  const auto chunks = drain(shaper);
  ASSERT_FALSE(chunks.empty());
  EXPECT_GE(chunks.front().bytes.size(), 2 * kFrame.size());
  EXPECT_EQ(chunks.front().counts.validFrames * kFrame.size(), chunks.front().bytes.size());
  EXPECT_EQ(joined(chunks).size(), 3 * kFrame.size());
}

TEST(LineShaper, aLoneGluedFrameGoesOutWhenTheHoldTimeIsUp) {
  LineShaper shaper(with(SplitMode::Glue));
  shaper.queue({kFrame}, 100);
  EXPECT_FALSE(shaper.hasDue(100 + LineShaper::kGlueHoldMs - 1));
  EXPECT_TRUE(shaper.hasDue(100 + LineShaper::kGlueHoldMs));
}

TEST(LineShaper, corruptRatioOneSpoilsEveryChecksumAndNothingElse) {
  LineShaper shaper(with(SplitMode::Whole, 1.0));
  shaper.queue({kFrame, kFrame}, 0);
  const auto chunks = drain(shaper);
  ASSERT_EQ(chunks.size(), 2u);
  for (const Chunk& c : chunks) {
    EXPECT_FALSE(hasValidChecksum(c.bytes));
    Bytes repaired = c.bytes;
    repaired[repaired.size() - 4] ^= 0xFF;
    EXPECT_EQ(repaired, kFrame);
  }
  EXPECT_EQ(total(chunks).corruptedFrames, 2u);
  EXPECT_EQ(total(chunks).validFrames, 0u);
  EXPECT_EQ(total(chunks).liveFrames, 0u);
}

TEST(LineShaper, garbageGoesBeforeFramesAndIsCountedByTheByte) {
  LineShaper shaper(with(SplitMode::Whole, 0, 1.0));
  shaper.queue({kFrame, kFrame, kFrame, kFrame, kFrame, kFrame}, 0);
  const auto chunks = drain(shaper);
  const Bytes all = joined(chunks);
  const SentCounts counts = total(chunks);
  EXPECT_EQ(all.size(), 6 * kFrame.size() + counts.garbageBytes);
  EXPECT_GE(counts.garbageBytes, 6u);
  RequestScanner scanner;
  std::vector<Bytes> frames;
  scanner.feed(all.data(), all.size(), frames);
  EXPECT_EQ(frames.size(), 6u) << "each frame is still intact behind its garbage";
}

TEST(LineShaper, sameSeedSameLine) {
  const auto run = [] {
    LineShaper shaper(with(SplitMode::Random, 0.5, 0.5, 42));
    shaper.queue({kFrame, kFrame, kFrame, kFrame}, 0);
    return joined(drain(shaper));
  };
  EXPECT_EQ(run(), run());
}

TEST(LineShaper, splitModesParseByNameOnly) {
  SplitMode mode = SplitMode::Whole;
  for (const char* name : {"whole", "byte", "random", "glue"}) {
    EXPECT_TRUE(parseSplitMode(name, mode));
    EXPECT_STREQ(splitModeName(mode), name);
  }
  EXPECT_FALSE(parseSplitMode("Whole", mode));
  EXPECT_FALSE(parseSplitMode("", mode));
}

// Frames that pile up unsent are dropped oldest first, whole, and never the one going out, so the
// line still carries only complete frames whatever the split.
TEST(LineShaper, aFullQueueDropsTheOldestWholeFramesAndKeepsTheOneGoingOut) {
  for (SplitMode split : {SplitMode::Whole, SplitMode::Byte, SplitMode::Glue}) {
    LineShaper shaper(with(split));
    shaper.queue({kFrame, kFrame}, 0);
    Bytes out(shaper.front().bytes.begin(), shaper.front().bytes.begin() + 1);
    shaper.front().written = 1;  // the first write has begun
    const std::size_t frames = LineShaper::kMaxQueuedBytes / kFrame.size() + 100;
    std::uint64_t dropped = 0;
    for (std::size_t i = 0; i < frames; ++i) dropped += shaper.queue({kFrame}, 0);
    EXPECT_LE(shaper.queuedBytes(), LineShaper::kMaxQueuedBytes) << splitModeName(split);
    EXPECT_GE(dropped, 100u) << splitModeName(split);
    const auto chunks = drain(shaper);
    const Bytes rest = joined(chunks);
    out.insert(out.end(), rest.begin() + 1, rest.end());
    EXPECT_EQ(out.size() % kFrame.size(), 0u) << splitModeName(split);
    for (std::size_t at = 0; at + kFrame.size() <= out.size(); at += kFrame.size()) {
      ASSERT_EQ(
          Bytes(out.begin() + static_cast<long>(at), out.begin() + static_cast<long>(at + kFrame.size())),
          kFrame)
          << splitModeName(split) << " at " << at;
    }
    EXPECT_EQ(total(chunks).validFrames + dropped, frames + 2) << splitModeName(split);
    EXPECT_EQ(shaper.queuedBytes(), 0u);
  }
}

}  // namespace
}  // namespace orlo::sim
