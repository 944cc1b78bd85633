// The failure modes, each as the host meets it: the bytes the simulator puts on the line in
// answer to a request, against what a behaving board answers the same requests at the same times.

#include <gtest/gtest.h>
#include <poll.h>

#include <functional>

#include "host_end.h"
#include "sim/pty_transport.h"
#include "sim/simulator.h"
#include "sim_test_frames.h"
#include "support/hex.h"

namespace orlo::sim {
namespace {

using orlo::test::hex;
using orlo::test::toHex;
using namespace test;  // the host's end of the line and the frames it sends

const Bytes kAlarmRead = hex("AA 55 0C 00 00 00 B0 01 00 00 00 00 00 00 B1 00 55 AA");
const Bytes kBalanceRead = hex("AA 55 18 00 00 00 0E 00 00 00 00 00 00 00 0E 00 55 AA");
const Bytes kCalibrationRead = hex("AA 55 07 00 00 01 01 01 00 00 00 00 03 00 55 AA");  // point 1, charge

// An alarm parameter Set of the default record with Cell OV (bytes 17-18) at 3600 mV.
Bytes cellOvSet() {
  Bytes set = BoardModel().handle(kAlarmRead, 0).at(0);
  set[4] = 0;  // a Set carries no ID
  set[17] = 0x10;
  set[18] = 0x0E;
  return withChecksum(set);
}

// Answers of a behaving board, one list per request.
using Answers = std::vector<std::vector<Bytes>>;

Bytes joined(const std::vector<Bytes>& frames) {
  Bytes all;
  for (const Bytes& f : frames) all.insert(all.end(), f.begin(), f.end());
  return all;
}

Bytes withU16(Bytes frame, std::size_t at, std::uint16_t value) {
  frame[at] = static_cast<std::uint8_t>(value & 0xFF);
  frame[at + 1] = static_cast<std::uint8_t>(value >> 8);
  return withChecksum(frame);
}

struct FailureCase {
  const char* name;
  std::vector<const char*> modes;  // --fail texts
  std::vector<Bytes> requests;     // sent 100 ms apart
  int lateMs;                      // the answers leave this long after the last request
  std::function<Bytes(const Answers&)> expected;
};

void PrintTo(const FailureCase& c, std::ostream* os) {
  *os << c.name;
}

const FailureCase kCases[] = {
    {"noAnswerLeavesOutThatCommandOnly",
     {"no-answer=0x0C"},
     {kAlarmRead, kPoll},
     0,
     [](const Answers& a) { return joined(a[1]); }},
    {"delayHoldsTheAnswerBackExactly",
     {"delay=0x0C:1500"},
     {kAlarmRead},
     1500,
     [](const Answers& a) { return joined(a[0]); }},
    {"shortAlarmAnswerIsAWholeFrameOfTheGivenLength",
     {"short-alarm-answer=40"},
     {kAlarmRead},
     0,
     [](const Answers& a) {
       Bytes cut(a[0][0].begin(), a[0][0].begin() + 40);
       EXPECT_EQ(a[0][0].size(), 82u);
       return withChecksum(cut);
     }},
    {"shortAlarmAnswerDefaultsToFiftyBytes",
     {"short-alarm-answer"},
     {kAlarmRead},
     0,
     [](const Answers& a) { return withChecksum(Bytes(a[0][0].begin(), a[0][0].begin() + 50)); }},
    {"setNotAppliedIsAcknowledgedAndReadsBackTheOldValue",
     {"set-not-applied"},
     {cellOvSet(), kAlarmRead},
     0,
     [](const Answers& a) {
       EXPECT_EQ(toHex(a[0][0]), "AA 55 48 00 00 00 B1 00 B1 00 55 AA");
       return joined({a[0][0], withU16(a[1][0], 17, 3650)});
     }},
    {"setOffByOneStoresTheRowOneHigher",
     {"set-off-by-one"},
     {cellOvSet(), kAlarmRead},
     0,
     [](const Answers& a) {
       return joined({a[0][0], withU16(a[1][0], 17, 3601)});
     }},
    {"setOffByOneOfAnotherRow",
     {"set-off-by-one=10"},  // Cell UV value, bytes 22-23, default 2500
     {cellOvSet(), kAlarmRead},
     0,
     [](const Answers& a) {
       return joined({a[0][0], withU16(a[1][0], 22, 2501)});
     }},
    {"calibrationResultCarriesPointIndexFour",
     {"calibration-point-4"},
     {kCalibrationRead},
     0,
     [](const Answers& a) {
       EXPECT_EQ(a[0][0][9], 1);
       Bytes f = a[0][0];
       f[6] = 4;
       f[9] = 4;
       return withChecksum(f);
     }},
    {"balanceAnswerCarriesAnotherSubCommand",
     {"balance-other-sub"},
     {kBalanceRead},
     0,
     [](const Answers& a) {
       Bytes f = a[0][0];
       f[6] = 0x0F;
       return withChecksum(f);
     }},
    {"balanceAnswerCarriesTheChosenSubCommand",
     {"balance-other-sub=0x0D"},
     {kBalanceRead},
     0,
     [](const Answers& a) {
       Bytes f = a[0][0];
       f[6] = 0x0D;
       return withChecksum(f);
     }},
    {"modesOfDifferentCommandsTakeEffectTogether",
     {"set-not-applied", "delay=0x47:300", "no-answer=0x06"},
     {cellOvSet(), kPoll, kAlarmRead},
     100,  // the Set's acknowledgement is due 300 ms after it, and the read's answer waits behind it
     [](const Answers& a) {
       return joined({a[0][0], withU16(a[2][0], 17, 3650)});
     }},
};

class FailureModeAnswers : public ::testing::TestWithParam<FailureCase> {};

TEST_P(FailureModeAnswers, lineCarriesTheFailingAnswer) {
  const FailureCase& c = GetParam();
  SimSettings settings;
  for (const char* mode : c.modes) {
    std::string error;
    ASSERT_TRUE(settings.failures.parse(mode, error)) << error;
  }
  PtyTransport transport;
  ManualClock clock;
  Simulator sim(transport, settings, clock);
  std::string error;
  ASSERT_TRUE(sim.start(error)) << error;
  HostEnd host(sim.devicePath());
  BoardModel reference;
  Answers answers;
  for (const Bytes& request : c.requests) {
    clock.advance(100);
    answers.push_back(reference.handle(request, clock.nowMs()));
    ASSERT_TRUE(host.send(request));
    pollfd ready{transport.fd(), POLLIN, 0};
    ASSERT_EQ(::poll(&ready, 1, 1000), 1);
    sim.runOnce(0);
  }
  const Bytes expected = c.expected(answers);
  if (c.lateMs > 0) {
    clock.advance(c.lateMs - 1);
    sim.runOnce(0);
    pumpUntil([&] { host.collect(); }, [] { return false; }, 50);
    EXPECT_EQ(toHex(host.received), "") << "nothing before the delay is up";
    clock.advance(1);
  }
  sim.runOnce(0);
  pumpUntil([&] { host.collect(); }, [&] { return host.received.size() >= expected.size(); }, 1000);
  pumpUntil([&] { host.collect(); }, [] { return false; }, 30);  // anything that should not be there
  EXPECT_EQ(toHex(host.received), toHex(expected));
}

INSTANTIATE_TEST_SUITE_P(Modes, FailureModeAnswers, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FailureCase>& p) {
                           return std::string(p.param.name);
                         });

// The same texts select the modes on the command line and in-process; each names one mode.
TEST(FailureModes, textsParseToTheirModeAndBadOnesAreExplained) {
  const std::pair<const char*, const char*> good[] = {
      {"no-answer=0x0C", "no-answer=0x0C"},
      {"no-answer=c", "no-answer=0x0C"},
      {"delay=0x18:1500", "delay=0x18:1500"},
      {"short-alarm-answer", "short-alarm-answer=50"},
      {"short-alarm-answer=11", "short-alarm-answer=11"},
      {"set-not-applied", "set-not-applied"},
      {"set-off-by-one", "set-off-by-one=7"},
      {"calibration-point-4", "calibration-point-4"},
      {"balance-other-sub", "balance-other-sub=0x0F"},
      {"balance-other-sub=0d", "balance-other-sub=0x0D"},
      {"balance-never", "balance-never=2"},
      {"balance-wrong-cell=4", "balance-wrong-cell=4"},
      {"current-off=25", "current-off=25"},
  };
  for (const auto& [text, canonical] : good) {
    FailureModes modes;
    std::string error;
    ASSERT_TRUE(modes.parse(text, error)) << text << ": " << error;
    ASSERT_EQ(modes.modes().size(), 1u);
    EXPECT_EQ(FailureModes::text(modes.modes()[0]), canonical);
  }
  const std::pair<const char*, const char*> bad[] = {
      {"no-answer", "expected no-answer=CMD"},
      {"no-answer=0x100", "expected no-answer=CMD"},
      {"delay=0x0C", "expected delay=CMD:MS"},
      {"delay=0x0C:-5", "expected delay=CMD:MS"},
      {"delay=0x0C:600001", "expected delay=CMD:MS"},
      {"short-alarm-answer=82", "expected short-alarm-answer[=LEN]"},
      {"short-alarm-answer=10", "expected short-alarm-answer[=LEN]"},
      {"set-off-by-one=0", "expected set-off-by-one[=ROW]"},
      {"set-not-applied=1", "expected set-not-applied"},
      {"balance-other-sub=0x1FF", "expected balance-other-sub[=SUB]"},
      {"balance-never=5", "expected balance-never[=CELL]"},
      {"current-off=0", "expected current-off[=PCT]"},
      {"fast-answer", "unknown failure mode 'fast-answer'"},
  };
  for (const auto& [text, message] : bad) {
    FailureModes modes;
    std::string error;
    EXPECT_FALSE(modes.parse(text, error)) << text;
    EXPECT_NE(error.find(message), std::string::npos) << text << ": " << error;
    EXPECT_TRUE(modes.empty()) << text;
  }
}

}  // namespace
}  // namespace orlo::sim
