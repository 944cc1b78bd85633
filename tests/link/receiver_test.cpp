#include "link/receiver.h"

#include <gtest/gtest.h>

#include "link/recording_handlers.h"
#include "link/recording_observer.h"
#include "link/requests.h"
#include "support/hex.h"

namespace orlo {
namespace {

using test::hex;
using test::RecordingHandlers;
using test::RecordingObserver;
using test::toHex;

// A valid frame of `length` bytes (11 ... 100) whose data bytes count up from `seed`.
Bytes frameOfLength(std::size_t length, std::uint8_t command = 0x4D, std::uint8_t seed = 1) {
  Bytes data(length - 11);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(seed + i);
  return buildFrame(command, 0x00, 0x01, data);
}

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

class ReceiverTest : public ::testing::Test {
 protected:
  ReceiverTest() { rx.setObserver(&observer); }
  void feed(const Bytes& bytes) { rx.onBytes(bytes.data(), bytes.size()); }
  void feedByteByByte(const Bytes& bytes) {
    for (auto b : bytes) rx.onBytes(&b, 1);
  }
  // Ticks until the queue is empty; returns the frames dispatched.
  std::vector<Bytes> drain() {
    while (rx.frameTick(handlers)) {
    }
    return observer.dispatched;
  }

  Receiver rx;
  RecordingHandlers handlers;
  RecordingObserver observer;
};

// ---- any chunking --------------------------------------------------------------------------

TEST_F(ReceiverTest, AWholeFrameInOneReadIsTakenOutAtOnceAndDispatchedAtTheNextTick) {
  const Bytes frame = frameOfLength(83);
  feed(frame);
  EXPECT_EQ(rx.pendingFrames(), 1u);
  EXPECT_TRUE(rx.frameTick(handlers));
  EXPECT_EQ(observer.dispatched, std::vector<Bytes>{frame});
  EXPECT_FALSE(rx.frameTick(handlers));
}

TEST_F(ReceiverTest, AFrameFedOneByteAtATimeIsTakenOutWithItsLastByte) {
  const Bytes frame = frameOfLength(40);
  feedByteByByte(Bytes(frame.begin(), frame.end() - 1));
  EXPECT_EQ(rx.pendingFrames(), 0u);
  feed({frame.back()});
  EXPECT_EQ(rx.pendingFrames(), 1u);
  EXPECT_EQ(drain(), std::vector<Bytes>{frame});
}

TEST_F(ReceiverTest, AFrameSplitAtAnyPointArrivesWhole) {
  const Bytes frame = frameOfLength(30);
  for (std::size_t cut = 1; cut < frame.size(); ++cut) {
    Receiver r;
    RecordingObserver seen;
    r.setObserver(&seen);
    r.onBytes(frame.data(), cut);
    r.onBytes(frame.data() + cut, frame.size() - cut);
    while (r.frameTick(handlers)) {
    }
    EXPECT_EQ(seen.dispatched, std::vector<Bytes>{frame}) << "cut at " << cut;
  }
}

TEST_F(ReceiverTest, SeveralFramesInOneReadAreDispatchedOnePerTickInOrder) {
  const Bytes a = frameOfLength(12, 0x4D, 1), b = frameOfLength(50, 0x47, 2), c = frameOfLength(100, 0x15, 3);
  feed(concat({a, b, c}));
  EXPECT_EQ(rx.pendingFrames(), 3u);
  EXPECT_TRUE(rx.frameTick(handlers));
  EXPECT_EQ(rx.pendingFrames(), 2u);
  EXPECT_EQ(drain(), (std::vector<Bytes>{a, b, c}));
}

TEST_F(ReceiverTest, AChunkLargerThanTheReceiveBufferLosesNoFrame) {
  std::vector<Bytes> frames;
  Bytes stream;
  for (int i = 0; i < 14; ++i) {
    frames.push_back(frameOfLength(100, 0x4D, static_cast<std::uint8_t>(i)));
    stream = concat({stream, Bytes(7, 0x00), frames.back()});
  }
  ASSERT_GT(stream.size(), Receiver::kReceiveBufferSize);
  feed(stream);
  EXPECT_EQ(drain(), frames);
  EXPECT_EQ(rx.stats().dropBufferOverflow, 0u);
}

TEST_F(ReceiverTest, AnEmptyReadChangesNothing) {
  rx.onBytes(nullptr, 0);
  feed({});
  EXPECT_EQ(rx.pendingFrames(), 0u);
  EXPECT_EQ(rx.stats().bytesReceived, 0u);
  EXPECT_TRUE(observer.drops.empty());
}

// ---- where a frame starts and ends ---------------------------------------------------------

TEST_F(ReceiverTest, AFrameWhoseDataHoldFiftyFiveAaIsNotCutThere) {
  const Bytes frame = buildFrame(0x47, 0, 0xB0, hex("01 55 AA 02 03"));
  feed(frame);
  EXPECT_EQ(drain(), std::vector<Bytes>{frame});
}

TEST_F(ReceiverTest, AStrayHeadDoesNotHoldBackACompleteFrameAfterIt) {
  const Bytes frame = frameOfLength(20);
  feed(concat({hex("AA 55 01 02"), frame}));
  EXPECT_EQ(rx.pendingFrames(), 1u);
  EXPECT_EQ(drain(), std::vector<Bytes>{frame});
  EXPECT_EQ(observer.droppedBytes(DropReason::BytesBeforeHead), 4u);
}

TEST_F(ReceiverTest, NoiseBeforeAHeadIsDroppedAtOnceButALastAaIsKeptForTheNextRead) {
  const Bytes frame = frameOfLength(14);
  feed(hex("01 02 03 AA"));
  EXPECT_EQ(observer.droppedBytes(DropReason::BytesBeforeHead), 3u);
  feed(Bytes(frame.begin() + 1, frame.end()));
  EXPECT_EQ(drain(), std::vector<Bytes>{frame});
}

TEST_F(ReceiverTest, AHeadWithoutTailIsDroppedOnlyOnceItsHundredBytesHaveArrived) {
  Bytes junk = concat({hex("AA 55"), Bytes(97, 0x11)});
  feed(junk);
  EXPECT_EQ(rx.stats().dropNoTail, 0u);
  feed({0x11});
  EXPECT_EQ(rx.stats().dropNoTail, 1u);
  const Bytes frame = frameOfLength(16);
  feed(frame);
  EXPECT_EQ(drain(), std::vector<Bytes>{frame});
}

TEST_F(ReceiverTest, AHeadWhoseTailsAllFailTheChecksumCountsAsBadChecksum) {
  Bytes bad = frameOfLength(60);
  bad[20] ^= 0x01;
  feed(concat({bad, Bytes(40, 0x00)}));
  EXPECT_EQ(rx.pendingFrames(), 0u);
  EXPECT_EQ(rx.stats().dropBadChecksum, 1u);
}

TEST_F(ReceiverTest, TheScanResumesOneByteAfterAFailedHead) {
  // A head whose window fails, holding in its data the head of a valid frame.
  const Bytes inner = frameOfLength(40, 0x15);
  feed(concat({hex("AA 55 00 55 AA 00"), inner, Bytes(60, 0x00)}));
  EXPECT_EQ(drain(), std::vector<Bytes>{inner});
}

TEST_F(ReceiverTest, FramesOfHundredBytesAreTakenButOneOfHundredAndOneIsNot) {
  const Bytes longest = frameOfLength(100);
  feed(longest);
  EXPECT_EQ(drain(), std::vector<Bytes>{longest});

  Receiver r;
  const Bytes tooLong = frameOfLength(101);
  r.onBytes(tooLong.data(), tooLong.size());
  EXPECT_EQ(r.pendingFrames(), 0u);
  EXPECT_EQ(r.stats().dropNoTail + r.stats().dropBadChecksum, 1u);
}

TEST_F(ReceiverTest, TheShortestFramesAreSixAndSevenBytes) {
  feed(concat({hex("AA 55 00 00 55 AA"), hex("AA 55 06 00 00 55 AA")}));
  EXPECT_EQ(drain(), (std::vector<Bytes>{hex("AA 55 00 00 55 AA"), hex("AA 55 06 00 00 55 AA")}));
}

TEST_F(ReceiverTest, ATailCloserThanThreeBytesToTheHeadIsNotATail) {
  feed(concat({hex("AA 55 AA 00"), Bytes(96, 0x00)}));
  EXPECT_EQ(rx.pendingFrames(), 0u);
}

// ---- queue, frame buffer and flags -----------------------------------------------------------

TEST_F(ReceiverTest, AFullQueueDropsItsOldestFrame) {
  std::vector<Bytes> frames;
  for (int i = 0; i < 17; ++i) {
    frames.push_back(frameOfLength(12, 0x4D, static_cast<std::uint8_t>(i)));
    feed(frames.back());
  }
  EXPECT_EQ(rx.pendingFrames(), Receiver::kQueueSize);
  EXPECT_EQ(rx.stats().dropQueueFull, 1u);
  ASSERT_EQ(observer.drops.size(), 1u);
  EXPECT_EQ(observer.drops[0].reason, DropReason::QueueFull);
  EXPECT_EQ(observer.drops[0].bytes, frames[0]);
  EXPECT_EQ(drain(), std::vector<Bytes>(frames.begin() + 1, frames.end()));
}

TEST_F(ReceiverTest, HandlersReadZeroPastTheEndOfAShortFrame) {
  const Bytes frame = frameOfLength(20, 0x4D, 0x80);
  feed(frame);
  ASSERT_TRUE(rx.frameTick(handlers));
  ASSERT_FALSE(handlers.views.empty());
  const FrameView& v = handlers.views[0];
  EXPECT_EQ(v.u8(16), frame[16]);
  EXPECT_EQ(v.u8(19), 0xAA);
  for (std::size_t off = 20; off < 110; ++off) EXPECT_EQ(v.u8(off), 0) << off;
}

TEST_F(ReceiverTest, OnlyDispatchedFramesSetTheFrameSeenFlag) {
  Bytes bad = frameOfLength(30);
  bad[10] ^= 0xFF;
  feed(concat({bad, Bytes(70, 0x00)}));
  rx.frameTick(handlers);
  EXPECT_FALSE(rx.frameSeen());
  feed(buildFrame(0x18, 0, 0x0F, Bytes(7, 0)));  // reaches no handler, still a sign of life
  EXPECT_FALSE(rx.frameSeen());
  EXPECT_TRUE(rx.frameTick(handlers));
  EXPECT_TRUE(rx.frameSeen());
  EXPECT_TRUE(handlers.calls.empty());
  rx.setFrameSeen(false);
  EXPECT_FALSE(rx.frameSeen());
}

TEST_F(ReceiverTest, ResetEmptiesHeldBytesQueueAndFrameSeenFlag) {
  const Bytes frame = frameOfLength(30);
  feed(frame);
  rx.frameTick(handlers);
  feed(frame);
  feed(Bytes(frame.begin(), frame.begin() + 10));
  rx.reset();
  EXPECT_EQ(rx.pendingFrames(), 0u);
  EXPECT_FALSE(rx.frameSeen());
  feed(Bytes(frame.begin() + 10, frame.end()));  // the rest of a frame begun before reset
  EXPECT_EQ(rx.pendingFrames(), 0u);
}

TEST_F(ReceiverTest, StatsCountWhatCameAndWhatWent) {
  const Bytes frame = frameOfLength(25);
  feed(concat({hex("01 02"), frame, frame}));
  rx.frameTick(handlers);
  const ReceiveStats& s = rx.stats();
  EXPECT_EQ(s.bytesReceived, 52u);
  EXPECT_EQ(s.framesAccepted, 2u);
  EXPECT_EQ(s.framesDispatched, 1u);
  EXPECT_EQ(s.dropBytesBeforeHead, 2u);
  EXPECT_EQ(observer.accepted, (std::vector<Bytes>{frame, frame}));
}

TEST(ReceiverWithoutObserver, WorksWithNobodyWatching) {
  Receiver rx;
  RecordingHandlers handlers;
  const Bytes stream = concat({hex("00 AA 55 01"), frameOfLength(20), Bytes(120, 0xAA)});
  rx.onBytes(stream.data(), stream.size());
  EXPECT_TRUE(rx.frameTick(handlers));
  EXPECT_EQ(handlers.calls.front(), "live 0000");
}

}  // namespace
}  // namespace orlo
