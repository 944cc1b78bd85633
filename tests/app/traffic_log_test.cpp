#include "app/traffic_log.h"

#include <gtest/gtest.h>

#include <sstream>

#include "app/receive_fan_out.h"
#include "app/traffic_tap.h"
#include "link/requests.h"
#include "support/fake_serial_control.h"
#include "support/hex.h"

namespace orlo {
namespace {

class TrafficLogTest : public ::testing::Test {
 protected:
  std::int64_t now = 1000;
  TrafficLog log{[this] { return now; }};

  void received(const Bytes& frame) {
    log.onFrameAccepted(frame.data(), frame.size());
    log.onFrameDispatched(frame.data(), frame.size());
  }
};

// ---- command names ---------------------------------------------------------------------------

TEST(CommandName, NamesDependOnTheDirectionOfTheFrame) {
  struct Case {
    TrafficDirection dir;
    const char* bytes;
    const char* name;
  } cases[] = {
      {TrafficDirection::Sent, "AA 55 06", "Poll"},
      {TrafficDirection::Sent, "AA 55 07", "Calibration request"},
      {TrafficDirection::Sent, "AA 55 0C", "Alarm parameter read"},
      {TrafficDirection::Sent, "AA 55 18", "Balance"},
      {TrafficDirection::Sent, "AA 55 47", "Alarm parameter set"},
      {TrafficDirection::Received, "AA 55 47", "Alarm parameter read result"},
      {TrafficDirection::Received, "AA 55 48", "Set acknowledge"},
      {TrafficDirection::Received, "AA 55 4D", "Live data"},
      {TrafficDirection::Received, "AA 55 15", "Calibration result"},
      {TrafficDirection::Received, "AA 55 18", "Balance"},
      {TrafficDirection::Received, "AA 55 06", "0x06"},
      {TrafficDirection::Received, "AA 55 5A", "0x5A"},
      {TrafficDirection::Received, "AA 55", ""},
      {TrafficDirection::Received, "55 AA 4D", ""},
  };
  for (const auto& c : cases) {
    Bytes b = test::hex(c.bytes);
    EXPECT_EQ(commandName(c.dir, b.data(), b.size()), c.name) << c.bytes;
  }
}

// ---- rows and counters -----------------------------------------------------------------------

TEST_F(TrafficLogTest, DispatchedFrameBecomesARowWithTimeNameLengthAndHex) {
  now = 4321;
  received(test::hex("AA 55 48 00 00 00 00 00 00 55 AA"));
  ASSERT_EQ(log.rows().size(), 1u);
  EXPECT_EQ(formatRowText(log.rows().back()),
            "4321\treceived\tSet acknowledge\t11\tAA 55 48 00 00 00 00 00 00 55 AA\tdispatched");
}

TEST_F(TrafficLogTest, CountersTrackEveryKindOfEventAndTheAgeOfTheLastValidFrame) {
  EXPECT_FALSE(log.lastValidFrameAgeMs());
  Bytes noise = test::hex("01 02 03");
  log.onDropped(DropReason::BytesBeforeHead, noise.data(), noise.size());
  log.onDropped(DropReason::BadChecksum, noise.data(), 1);
  log.onDropped(DropReason::BadChecksum, noise.data(), 1);
  received(pollRequest());
  log.onFrameSent(pollRequest(), true);
  log.onFrameSent(pollRequest(), false);
  now += 2500;
  const TrafficCounters& c = log.counters();
  EXPECT_EQ(c.framesSent, 1u);
  EXPECT_EQ(c.writesFailed, 1u);
  EXPECT_EQ(c.framesReceived, 1u);
  EXPECT_EQ(c.framesDispatched, 1u);
  EXPECT_EQ(c.drop(DropReason::BytesBeforeHead), 1u);
  EXPECT_EQ(c.dropBytes[static_cast<std::size_t>(DropReason::BytesBeforeHead)], 3u);
  EXPECT_EQ(c.drop(DropReason::BadChecksum), 2u);
  EXPECT_EQ(c.drop(DropReason::NoTail), 0u);
  EXPECT_EQ(log.lastValidFrameAgeMs(), 2500);
}

TEST_F(TrafficLogTest, RowsAreBoundedToTheNewestTenThousand) {
  Bytes poll = pollRequest();
  for (int i = 0; i < 10005; ++i) {
    now = i;
    log.onFrameSent(poll, true);
  }
  EXPECT_EQ(log.rows().size(), TrafficLog::kMaxRows);
  EXPECT_EQ(log.rows().front().timeMs, 5);
  EXPECT_EQ(log.rows().front().seq, 5u);
  EXPECT_EQ(log.nextSeq(), 10005u);
  EXPECT_EQ(log.rowBySeq(4), nullptr);
  ASSERT_NE(log.rowBySeq(10004), nullptr);
  EXPECT_EQ(log.rowBySeq(10004)->timeMs, 10004);
  EXPECT_EQ(log.rowBySeq(10005), nullptr);
  EXPECT_EQ(log.counters().framesSent, 10005u);
}

TEST_F(TrafficLogTest, HugeNoiseKeepsItsLengthButOnlyTheFirstKilobyteOfBytes) {
  Bytes noise(5000, 0x11);
  log.onDropped(DropReason::BufferOverflow, noise.data(), noise.size());
  EXPECT_EQ(log.rows().back().length, 5000u);
  EXPECT_EQ(log.rows().back().bytes.size(), TrafficLog::kMaxRowBytes);
  EXPECT_NE(formatRowText(log.rows().back()).find("11 11 ...\t"), std::string::npos);
}

TEST_F(TrafficLogTest, OnlyTheNoiseRightAfterABadChecksumHeadIsTakenBackIntoItsRow) {
  Bytes head = test::hex("AA");
  Bytes rest = test::hex("55 4D 00 00 00 01 00 00 55 AA 77");
  log.onDropped(DropReason::BadChecksum, head.data(), 1);
  log.onDropped(DropReason::BytesBeforeHead, rest.data(), rest.size());
  Bytes unrelated = test::hex("55 4D 00 55 AA");
  log.onDropped(DropReason::NoTail, head.data(), 1);
  log.onDropped(DropReason::BytesBeforeHead, unrelated.data(), unrelated.size());
  ASSERT_EQ(log.rows().size(), 4u);
  EXPECT_EQ(test::toHex(log.rows()[0].bytes), "AA 55 4D 00 00 00 01 00 00 55 AA");
  EXPECT_EQ(log.rows()[0].command, "Live data");
  EXPECT_EQ(test::toHex(log.rows()[1].bytes), "77");
  EXPECT_EQ(log.rows()[2].bytes.size(), 1u) << "a head without a tail keeps its one byte";
  EXPECT_EQ(log.rows()[3].bytes, unrelated);
}

TEST_F(TrafficLogTest, PauseStopsRowsButNotCounters) {
  log.setPaused(true);
  received(pollRequest());
  log.onFrameSent(pollRequest(), true);
  EXPECT_TRUE(log.rows().empty());
  EXPECT_EQ(log.counters().framesDispatched, 1u);
  EXPECT_EQ(log.counters().framesSent, 1u);
  log.setPaused(false);
  log.onFrameSent(pollRequest(), true);
  EXPECT_EQ(log.rows().size(), 1u);
}

TEST(CountersText, NamesEveryDropReasonAndTheAgeOfTheLastValidFrame) {
  TrafficCounters c;
  c.framesSent = 5;
  c.framesReceived = 4;
  c.framesDispatched = 3;
  c.drops[static_cast<std::size_t>(DropReason::BadChecksum)] = 2;
  c.drops[static_cast<std::size_t>(DropReason::QueueFull)] = 1;
  EXPECT_EQ(
      countersText(c, 2345),
      "Sent: 5   Received: 4   Dispatched: 3   Bad checksum: 2   No tail within 100 bytes: 0   "
      "Bytes before a head: 0   Queue full: 1   Receive buffer overflow: 0   Last valid frame: 2.3 s ago");
  EXPECT_NE(countersText(c, std::nullopt).find("Last valid frame: none yet"), std::string::npos);
  c.writesFailed = 7;
  EXPECT_EQ(countersText(c, 0).rfind("Sent: 5 (7 failed)   Received", 0), 0u);
}

// ---- filters and saving ----------------------------------------------------------------------

TEST_F(TrafficLogTest, FiltersSelectByDirectionCommandAndVerdict) {
  log.onFrameSent(pollRequest(), true);                     // 0 sent Poll
  received(test::hex("AA 55 4D 00 00 00 00 00 00 55 AA"));  // 1 Live data
  Bytes bad = test::hex("AA 55 4D 00 00 00 01 00 00 55 AA");
  log.onDropped(DropReason::BadChecksum, bad.data(), bad.size());  // 2 dropped
  log.onFrameSent(alarmParameterReadRequest(), false);             // 3 write failed
  using VC = TrafficFilter::VerdictClass;
  struct Case {
    const char* what;
    TrafficFilter filter;
    std::vector<std::uint64_t> seqs;
  } cases[] = {
      {"everything", {}, {0, 1, 2, 3}},
      {"sent", {TrafficDirection::Sent, "", VC::Any}, {0, 3}},
      {"received", {TrafficDirection::Received, "", VC::Any}, {1, 2}},
      {"live data", {std::nullopt, "Live data", VC::Any}, {1, 2}},
      {"dropped", {std::nullopt, "", VC::Dropped}, {2}},
      {"dispatched live data", {std::nullopt, "Live data", VC::Dispatched}, {1}},
      {"sent verdicts", {std::nullopt, "", VC::Sent}, {0, 3}},
      {"received poll", {TrafficDirection::Received, "Poll", VC::Any}, {}},
  };
  for (const auto& c : cases) {
    std::vector<std::uint64_t> got;
    for (const auto& row : log.rows())
      if (c.filter.matches(row)) got.push_back(row.seq);
    EXPECT_EQ(got, c.seqs) << c.what;
  }
}

TEST_F(TrafficLogTest, SavedTextHasAHeaderAndOnlyTheFilteredRows) {
  log.onFrameSent(pollRequest(), true);
  received(test::hex("AA 55 48 00 00 00 00 00 00 55 AA"));
  std::ostringstream out;
  log.writeText(out, TrafficFilter{TrafficDirection::Sent, "", TrafficFilter::VerdictClass::Any});
  EXPECT_EQ(out.str(),
            "time (ms)\tdirection\tcommand\tlength\tbytes\tverdict\n"
            "1000\tsent\tPoll\t12\tAA 55 06 00 00 00 01 00 01 00 55 AA\tsent\n");
}

// ---- tap and fan-out -------------------------------------------------------------------------

TEST(TrafficTap, ForwardsEveryCallAndLogsEachWriteWithItsOutcome) {
  test::FakeSerialControl port;
  TrafficLog log([] { return std::int64_t{0}; });
  TrafficTap tap(port, log);
  EXPECT_FALSE(tap.write(pollRequest()));  // closed: the real control refuses
  EXPECT_TRUE(tap.open(3).ok);
  EXPECT_EQ(port.openedPorts, std::vector<int>{3});
  EXPECT_TRUE(tap.isOpen());
  EXPECT_TRUE(tap.write(pollRequest()));
  tap.discardTransmit();
  tap.close();
  EXPECT_FALSE(port.isOpen());
  EXPECT_EQ(port.written, std::vector<Bytes>{pollRequest()});
  EXPECT_EQ(port.discards, 1);
  ASSERT_EQ(log.rows().size(), 2u);
  EXPECT_EQ(log.rows()[0].verdict, Verdict::WriteFailed);
  EXPECT_EQ(log.rows()[1].verdict, Verdict::Sent);
  EXPECT_EQ(log.counters().framesSent, 1u);
}

TEST(ReceiveFanOut, EveryObserverHearsEveryEvent) {
  TrafficLog a([] { return std::int64_t{0}; });
  TrafficLog b([] { return std::int64_t{0}; });
  ReceiveFanOut fan;
  fan.add(&a);
  fan.add(nullptr);
  fan.add(&b);
  Bytes f = pollRequest();
  fan.onFrameAccepted(f.data(), f.size());
  fan.onFrameDispatched(f.data(), f.size());
  fan.onDropped(DropReason::NoTail, f.data(), 1);
  for (const TrafficLog* log : {&a, &b}) {
    EXPECT_EQ(log->counters().framesReceived, 1u);
    EXPECT_EQ(log->counters().framesDispatched, 1u);
    EXPECT_EQ(log->counters().drop(DropReason::NoTail), 1u);
  }
}

}  // namespace
}  // namespace orlo
