// The simulator's own frame codec, checked against the byte examples of the protocol.

#include <gtest/gtest.h>

#include "sim/sim_frame.h"
#include "sim_test_frames.h"
#include "support/hex.h"

namespace orlo::sim {
namespace {

using orlo::test::hex;
using orlo::test::toHex;
using test::kPollHex;

// ---- checksum ----

struct ChecksumCase {
  const char* what;
  const char* frame;
};

class ChecksumOfKnownFrames : public ::testing::TestWithParam<ChecksumCase> {};

TEST_P(ChecksumOfKnownFrames, isAcceptedAndRebuiltByteForByte) {
  const Bytes frame = hex(GetParam().frame);
  EXPECT_TRUE(hasValidChecksum(frame));
  FrameBuilder rebuilt(frame[2], frame.size());
  for (std::size_t i = 3; i + 4 < frame.size(); ++i) rebuilt.put8(i, frame[i]);
  EXPECT_EQ(toHex(rebuilt.finish()), toHex(frame));
}

INSTANTIATE_TEST_SUITE_P(
    ProtocolExamples, ChecksumOfKnownFrames,
    ::testing::Values(ChecksumCase{"poll", "AA 55 06 00 00 00 01 00 01 00 55 AA"},
                      ChecksumCase{"manual cell 3", "AA 55 18 00 00 00 0D 01 04 00 00 00 00 00 12 00 55 AA"},
                      ChecksumCase{"alarm read", "AA 55 0C 00 00 00 B0 01 00 00 00 00 00 00 B1 00 55 AA"},
                      ChecksumCase{"sum above 255", "AA 55 0C 00 00 00 B1 FF 00 00 00 00 00 00 B0 01 55 AA"},
                      ChecksumCase{"balance set", "AA 55 18 00 00 00 0F 10 0E 1E DE 0D 00 00 36 01 55 AA"},
                      ChecksumCase{"calibration point", "AA 55 07 00 00 00 01 01 10 27 00 00 39 00 55 AA"}));

TEST(SimFrame, checksumLeavesOutTheCommandByteAndByteThree) {
  EXPECT_TRUE(hasValidChecksum(hex("AA 55 18 77 00 00 B0 01 00 00 00 00 00 00 B1 00 55 AA")));
}

TEST(SimFrame, framesWithBrokenEnvelopeOrSumAreRejected) {
  EXPECT_FALSE(hasValidChecksum(hex("AA 55 06 00 00 00 01 00 02 00 55 AA")));  // sum off by one
  EXPECT_FALSE(hasValidChecksum(hex("AA 54 06 00 00 00 01 00 01 00 55 AA")));  // head
  EXPECT_FALSE(hasValidChecksum(hex("AA 55 06 00 00 00 01 00 01 00 55 AB")));  // tail
  EXPECT_FALSE(hasValidChecksum(hex("AA 55 00 01 00 55 AA")));                 // too short
  EXPECT_FALSE(hasValidChecksum(Bytes(101, 0)));
}

TEST(SimFrame, readersTreatOffsetsPastTheEndAsZero) {
  const Bytes frame = hex("AA 55 4D 01 02");
  EXPECT_EQ(readU16(frame, 3), 0x0201u);
  EXPECT_EQ(readU16(frame, 4), 0x0002u);
  EXPECT_EQ(readU32(frame, 90), 0u);
}

// ---- request scanner ----

std::vector<Bytes> scan(RequestScanner& scanner, const Bytes& bytes, std::size_t chunk) {
  std::vector<Bytes> frames;
  for (std::size_t at = 0; at < bytes.size(); at += chunk) {
    scanner.feed(bytes.data() + at, std::min(chunk, bytes.size() - at), frames);
  }
  return frames;
}

TEST(RequestScanner, findsARequestHoweverItIsChunked) {
  Bytes stream = hex(kPollHex);
  const Bytes read = hex("AA 55 0C 00 00 00 B0 01 00 00 00 00 00 00 B1 00 55 AA");
  stream.insert(stream.end(), read.begin(), read.end());
  for (std::size_t chunk : {1u, 2u, 5u, 13u, 30u}) {
    RequestScanner scanner;
    const auto frames = scan(scanner, stream, chunk);
    ASSERT_EQ(frames.size(), 2u) << "chunk " << chunk;
    EXPECT_EQ(toHex(frames[0]), kPollHex);
    EXPECT_EQ(toHex(frames[1]), toHex(read));
    EXPECT_EQ(scanner.pendingBytes(), 0u);
  }
}

TEST(RequestScanner, whatCannotBeARequestDoesNotHoldBackTheRequestAfterIt) {
  const struct {
    const char* what;
    const char* before;
    std::size_t chunk;
  } cases[] = {
      {"a stray head in noise", "13 AA 55 07 AA 55 ", 64},
      {"a request with a bad checksum", "AA 55 06 00 00 00 01 00 09 00 55 AA ", 4},
  };
  for (const auto& c : cases) {
    RequestScanner scanner;
    const auto frames = scan(scanner, hex(std::string(c.before) + kPollHex), c.chunk);
    ASSERT_EQ(frames.size(), 1u) << c.what;
    EXPECT_EQ(toHex(frames[0]), kPollHex) << c.what;
  }
}

TEST(RequestScanner, tailPairInsideTheDataDoesNotCutTheFrame) {
  // A balance set request whose threshold is 0xAA55 carries 55 AA in its data.
  FrameBuilder builder(0x18, 18);
  builder.put8(6, 0x0F).put16(7, 0xAA55).put8(9, 30);
  const Bytes frame = builder.finish();
  RequestScanner scanner;
  const auto frames = scan(scanner, frame, 1);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0], frame);
}

TEST(RequestScanner, endlessNoiseIsNotHeldOnto) {
  RequestScanner scanner;
  Bytes noise(5000);
  for (std::size_t i = 0; i < noise.size(); ++i)
    noise[i] = static_cast<std::uint8_t>(i * 7 + (i % 2 ? 0xAA : 0x55));
  const auto frames = scan(scanner, noise, 37);
  EXPECT_TRUE(frames.empty());
  EXPECT_LT(scanner.pendingBytes(), kMaxFrameLength);
  EXPECT_GT(scanner.droppedBytes(), 4000u);
}

}  // namespace
}  // namespace orlo::sim
