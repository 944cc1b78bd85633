// The traffic log attached to the real receive path: each kind of bad input ends up as a row
// with the right verdict and in the right counter.

#include <gtest/gtest.h>

#include <deque>
#include <vector>

#include "app/traffic_log.h"
#include "link/receiver.h"
#include "link/requests.h"
#include "support/hex.h"
#include "support/ignore_frames.h"

namespace orlo {
namespace {

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes repeat(const Bytes& frame, int times) {
  Bytes out;
  for (int i = 0; i < times; ++i) out = out + frame;
  return out;
}

const Bytes kAck = test::hex("AA 55 48 00 00 00 00 00 00 55 AA");
// The sum of bytes 4..6 is 1, the stored checksum says 0.
const Bytes kBadSum = test::hex("AA 55 48 00 00 00 01 00 00 55 AA");
// Nothing that could start another frame: a head is only judged once 100 bytes follow it.
const Bytes kPadding(120, 0x00);

struct Case {
  const char* what;
  Bytes input;
  int ticks;
  std::uint64_t accepted, dispatched, badChecksum, noTail, queueFull;
  bool bytesBeforeHead;
  Verdict firstRow;
};

std::vector<Case> cases() {
  return {
      {"a good frame", kAck, 1, 1, 1, 0, 0, 0, false, Verdict::Dispatched},
      {"a checksum that does not match", kBadSum + kPadding, 1, 0, 0, 1, 0, 0, true, Verdict::BadChecksum},
      {"a head with no tail", test::hex("AA 55 4D 00") + kPadding, 1, 0, 0, 0, 1, 0, true, Verdict::NoTail},
      {"noise before a good frame", test::hex("01 02 03") + kAck, 1, 1, 1, 0, 0, 0, true,
       Verdict::BytesBeforeHead},
      {"more frames than the queue holds", repeat(kAck, Receiver::kQueueSize + 1), 0,
       Receiver::kQueueSize + 1, 0, 0, 0, 1, false, Verdict::QueueFull},
  };
}

// The real receive path with a traffic log watching it; the log's clock stands still.
struct ObservedReceiver {
  ObservedReceiver() { receiver.setObserver(&log); }
  void feed(const Bytes& bytes) { receiver.onBytes(bytes.data(), bytes.size()); }
  bool tick() { return receiver.frameTick(handlers); }
  const std::deque<TrafficRow>& rows() const { return log.rows(); }
  const TrafficCounters& counters() const { return log.counters(); }

  Receiver receiver;
  TrafficLog log{[] { return std::int64_t{0}; }};
  test::IgnoreFrames handlers;
};

TEST(TrafficFromReceiver, EachKindOfBadInputIsCountedAndRowedUnderItsReason) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.what);
    ObservedReceiver r;
    r.feed(c.input);
    for (int i = 0; i < c.ticks; ++i) r.tick();

    const TrafficCounters& n = r.counters();
    EXPECT_EQ(n.framesReceived, c.accepted);
    EXPECT_EQ(n.framesDispatched, c.dispatched);
    EXPECT_EQ(n.drop(DropReason::BadChecksum), c.badChecksum);
    EXPECT_EQ(n.drop(DropReason::NoTail), c.noTail);
    EXPECT_EQ(n.drop(DropReason::QueueFull), c.queueFull);
    EXPECT_EQ(n.drop(DropReason::BytesBeforeHead) > 0, c.bytesBeforeHead);
    ASSERT_FALSE(r.rows().empty());
    EXPECT_EQ(r.rows().front().verdict, c.firstRow);
    EXPECT_EQ(r.rows().front().direction, TrafficDirection::Received);
  }
}

TEST(TrafficFromReceiver, CountersAgreeWithTheReceiversOwnStatistics) {
  ObservedReceiver r;
  Bytes stream = test::hex("FF FE") + kAck + kBadSum + kPadding + kAck + test::hex("AA 55 4D") + kPadding;
  // In awkward chunks, as a serial port delivers them.
  for (std::size_t i = 0; i < stream.size(); i += 7)
    r.receiver.onBytes(stream.data() + i, std::min<std::size_t>(7, stream.size() - i));
  while (r.tick()) {
  }
  const ReceiveStats& s = r.receiver.stats();
  const TrafficCounters& n = r.counters();
  EXPECT_EQ(n.framesReceived, s.framesAccepted);
  EXPECT_EQ(n.framesDispatched, s.framesDispatched);
  EXPECT_EQ(n.drop(DropReason::BadChecksum), s.dropBadChecksum);
  EXPECT_EQ(n.drop(DropReason::NoTail), s.dropNoTail);
  EXPECT_EQ(n.dropBytes[static_cast<std::size_t>(DropReason::BytesBeforeHead)], s.dropBytesBeforeHead);
  EXPECT_EQ(n.framesDispatched, 2u);
  EXPECT_EQ(n.drop(DropReason::BadChecksum), 1u);
}

TEST(TrafficFromReceiver, ABadChecksumRowShowsTheWholeRejectedFrameAndTheRestStaysNoise) {
  ObservedReceiver r;
  r.feed(kBadSum + test::hex("01 02 03") + kPadding);
  const auto& rows = r.rows();
  ASSERT_GE(rows.size(), 2u);
  EXPECT_EQ(rows[0].verdict, Verdict::BadChecksum);
  EXPECT_EQ(rows[0].bytes, kBadSum);
  EXPECT_EQ(rows[0].length, kBadSum.size());
  EXPECT_EQ(rows[0].command, "Set acknowledge");
  EXPECT_EQ(rows[1].verdict, Verdict::BytesBeforeHead);
  EXPECT_EQ(rows[1].bytes.front(), 0x01);
  // The counters stay as the receiver reported them.
  EXPECT_EQ(r.counters().dropBytes[static_cast<std::size_t>(DropReason::BadChecksum)], 1u);
  EXPECT_EQ(r.counters().dropBytes[static_cast<std::size_t>(DropReason::BytesBeforeHead)],
            r.receiver.stats().dropBytesBeforeHead);
}

TEST(TrafficFromReceiver, DispatchedRowsCarryTheWholeFrameAndItsName) {
  ObservedReceiver r;
  r.feed(kAck);
  r.tick();
  ASSERT_EQ(r.rows().size(), 1u);
  EXPECT_EQ(r.rows()[0].bytes, kAck);
  EXPECT_EQ(r.rows()[0].command, "Set acknowledge");
}

}  // namespace
}  // namespace orlo
