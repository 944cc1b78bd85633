// The simulator over a real pseudo-terminal, in-process: requests in, answers out, with each
// fault mode, and the unplugged cable.

#include <gtest/gtest.h>
#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>

#include "host_end.h"
#include "sim/device_transport.h"
#include "sim/pty_transport.h"
#include "sim/simulator.h"
#include "sim_test_frames.h"
#include "support/scratch_files.h"

namespace orlo::sim {
namespace {

using namespace test;  // the host's end of the line and the frames it sends

std::size_t liveFramesIn(const Bytes& stream) {
  std::size_t n = 0;
  for (const Bytes& f : validFrames(stream)) n += f[2] == 0x4D ? 1 : 0;
  return n;
}

void expectPlausibleLiveData(const Bytes& f) {
  ASSERT_EQ(f.size(), 83u);
  ASSERT_EQ(f[2], 0x4D);
  EXPECT_EQ(readU32(f, 26), test::cellSumWithin(f, 3100, 3500));
  EXPECT_LE(readU32(f, 22), 100u);
  EXPECT_LE(f[78], 2);
}

struct Fixture {
  explicit Fixture(const SimSettings& settings, std::string link = {})
      : transport(std::move(link)), sim(transport, settings, clock) {
    std::string error;
    started = sim.start(error);
    EXPECT_TRUE(started) << error;
  }
  std::function<void()> step(HostEnd& host) {
    return [this, &host] {
      sim.runOnce(2);
      host.collect();
    };
  }
  PtyTransport transport;
  SteadyClock clock;
  Simulator sim;
  bool started = false;
};

struct ModeCase {
  const char* name;
  SplitMode split;
  double garbage;
  int delayMs;
};

class PollRoundTrip : public ::testing::TestWithParam<ModeCase> {};

TEST_P(PollRoundTrip, pollIsAnsweredWithAGoodLiveDataFrame) {
  const ModeCase& mode = GetParam();
  SimSettings settings;
  settings.faults.split = mode.split;
  settings.faults.garbageRatio = mode.garbage;
  settings.faults.delayMs = mode.delayMs;
  Fixture fx(settings);
  HostEnd host(fx.sim.devicePath());
  ASSERT_TRUE(host.isOpen());
  const auto sent = std::chrono::steady_clock::now();
  ASSERT_TRUE(host.send(kPoll));
  std::chrono::steady_clock::time_point firstByte{};
  const bool answered = pumpUntil(
      [&] {
        fx.sim.runOnce(2);
        if (host.collect() > 0 && firstByte == std::chrono::steady_clock::time_point{}) {
          firstByte = std::chrono::steady_clock::now();
        }
      },
      [&] { return liveFramesIn(host.received) == 1; }, 3000);
  ASSERT_TRUE(answered) << mode.name << ": " << host.received.size() << " bytes";
  expectPlausibleLiveData(validFrames(host.received).back());
  // The simulator's clock counts whole milliseconds, so an answer may leave up to 1 ms early.
  const auto waited = std::chrono::duration_cast<std::chrono::microseconds>(firstByte - sent).count();
  EXPECT_GE(waited, mode.delayMs * 1000 - 1000);
  if (mode.garbage > 0) {
    EXPECT_GT(host.received.size(), 83u);
  }
  ASSERT_EQ(fx.sim.stats().requests().size(), 1u);
  EXPECT_EQ(fx.sim.stats().requests()[0].frame, kPoll);
  EXPECT_EQ(fx.sim.stats().sent().validFrames, 1u);
}

INSTANTIATE_TEST_SUITE_P(
    FaultModes, PollRoundTrip,
    ::testing::Values(ModeCase{"whole", SplitMode::Whole, 0, 0}, ModeCase{"byte", SplitMode::Byte, 0, 0},
                      ModeCase{"random", SplitMode::Random, 0, 0}, ModeCase{"glue", SplitMode::Glue, 0, 0},
                      ModeCase{"garbage", SplitMode::Whole, 1.0, 0},
                      ModeCase{"delay", SplitMode::Whole, 0, 150}),
    [](const ::testing::TestParamInfo<ModeCase>& p) { return std::string(p.param.name); });

// On a manual clock nothing waits for real time: the answer leaves exactly when it is due.
TEST(PtyRoundTrip, delayedAnswerLeavesExactlyWhenDueOnAManualClock) {
  PtyTransport transport;
  ManualClock clock;
  SimSettings settings;
  settings.faults.delayMs = 500;
  Simulator sim(transport, settings, clock);
  std::string error;
  ASSERT_TRUE(sim.start(error)) << error;
  HostEnd host(sim.devicePath());
  host.send(kPoll);
  pollfd ready{transport.fd(), POLLIN, 0};
  ASSERT_EQ(::poll(&ready, 1, 1000), 1) << "the pty hands bytes over asynchronously";
  clock.advance(1000);
  sim.runOnce(0);
  clock.advance(499);
  sim.runOnce(0);
  host.collect();
  EXPECT_TRUE(host.received.empty());
  clock.advance(1);
  sim.runOnce(0);
  ASSERT_TRUE(pumpUntil([&] { host.collect(); }, [&] { return liveFramesIn(host.received) == 1; }, 1000));
  EXPECT_EQ(sim.stats().requests().at(0).timeMs, 1000);
}

TEST(PtyRoundTrip, byteModeReachesTheHostInManyReads) {
  SimSettings settings;
  settings.faults.split = SplitMode::Byte;
  Fixture fx(settings);
  HostEnd host(fx.sim.devicePath());
  host.send(kPoll);
  int reads = 0;
  pumpUntil(
      [&] {
        fx.sim.runOnce(2);
        reads += host.collect();
      },
      [&] { return host.received.size() >= 83; }, 3000);
  EXPECT_GT(reads, 10);
}

TEST(PtyRoundTrip, corruptedAnswersArriveWithAWrongChecksum) {
  SimSettings settings;
  settings.faults.corruptRatio = 1.0;
  Fixture fx(settings);
  HostEnd host(fx.sim.devicePath());
  host.send(kPoll);
  pumpUntil(
      fx.step(host), [&] { return host.received.size() >= 83; }, 2000);
  ASSERT_EQ(host.received.size(), 83u);
  EXPECT_EQ(host.received[2], 0x4D);
  EXPECT_FALSE(hasValidChecksum(host.received));
  EXPECT_EQ(fx.sim.stats().sent().corruptedFrames, 1u);
}

TEST(PtyRoundTrip, silenceSwallowsAnswersButStillRecordsRequests) {
  SimSettings settings;
  settings.silentAfterS = 0.3;
  Fixture fx(settings);
  HostEnd host(fx.sim.devicePath());
  host.send(kPoll);
  ASSERT_TRUE(pumpUntil(
      fx.step(host), [&] { return liveFramesIn(host.received) == 1; }, 250));
  ASSERT_TRUE(pumpUntil(
      fx.step(host), [&] { return fx.sim.silent(); }, 1000));
  host.send(kPoll);
  pumpUntil(
      fx.step(host), [] { return false; }, 200);
  EXPECT_EQ(liveFramesIn(host.received), 1u);
  EXPECT_EQ(fx.sim.stats().requests().size(), 2u);
  fx.sim.toggleSilence();
  host.send(kPoll);
  EXPECT_TRUE(pumpUntil(
      fx.step(host), [&] { return liveFramesIn(host.received) == 2; }, 1000));
  EXPECT_NE(fx.sim.stats().report().find("answers_silenced=1\n"), std::string::npos);
}

TEST(PtyRoundTrip, floodSendsLiveDataUnaskedAtLineRate) {
  SimSettings settings;
  settings.flood = true;
  Fixture fx(settings);
  HostEnd host(fx.sim.devicePath());
  const auto start = std::chrono::steady_clock::now();
  pumpUntil(
      fx.step(host), [] { return false; }, 400);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const std::size_t frames = liveFramesIn(host.received);
  const double lineRate = 38400.0 / 10 / 83;  // frames a second on a 38400 8N1 line
  EXPECT_GE(frames, 5u);
  EXPECT_LE(frames, static_cast<std::size_t>(lineRate * seconds) + 2);
  EXPECT_TRUE(fx.sim.stats().requests().empty());
}

std::string readLink(const std::string& path) {
  char target[PATH_MAX] = {};
  const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
  return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

TEST(PtyRoundTrip, hostMayCloseAndReopenTheDeviceWithoutAHangUp) {
  Fixture fx(SimSettings{});
  { HostEnd first(fx.sim.devicePath()); }
  HostEnd host(fx.sim.devicePath());
  EXPECT_FALSE(host.hungUp(50));
  host.send(kPoll);
  EXPECT_TRUE(pumpUntil(
      fx.step(host), [&] { return liveFramesIn(host.received) == 1; }, 2000));
}

TEST(PtyRoundTrip, unplugHangsUpTheHostAndANewDeviceAppearsAtTheLink) {
  const orlo::test::ScratchDir dir("orlo-sim-test");
  ASSERT_FALSE(dir.path().empty());
  const std::string link = dir.file("bms");
  SimSettings settings;
  settings.unplugAfterS = 0.1;
  settings.reopenAfterS = 0.2;
  Fixture fx(settings, link);
  const std::string firstDevice = readLink(link);
  EXPECT_EQ(firstDevice, fx.sim.devicePath());
  HostEnd host(link);
  ASSERT_TRUE(host.isOpen());
  ASSERT_TRUE(pumpUntil([&] { fx.sim.runOnce(2); }, [&] { return fx.sim.unplugged(); }, 1000));
  EXPECT_TRUE(host.hungUp(200));
  EXPECT_EQ(readLink(link), "") << "the link outlived its device; its number is free for another";
  ASSERT_TRUE(pumpUntil([&] { fx.sim.runOnce(2); }, [&] { return !fx.sim.unplugged(); }, 1000));
  EXPECT_NE(readLink(link), firstDevice);
  HostEnd again(link);
  ASSERT_TRUE(again.isOpen());
  again.send(kPoll);
  EXPECT_TRUE(pumpUntil(
      fx.step(again), [&] { return liveFramesIn(again.received) == 1; }, 2000));
  EXPECT_NE(fx.sim.stats().report().find("unplugs=1\n"), std::string::npos);
  fx.sim.unplug();
}

TEST(DeviceRoundTrip, aSerialDevicePathWorksLikeThePseudoTerminal) {
  int master = -1;
  int slave = -1;
  char name[256] = {};
  ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
  DeviceTransport transport(name);
  SteadyClock clock;
  Simulator sim(transport, SimSettings{}, clock);
  std::string error;
  ASSERT_TRUE(sim.start(error)) << error;
  ::fcntl(master, F_SETFL, O_NONBLOCK);
  HostEnd host(master);
  host.send(kPoll);
  EXPECT_TRUE(pumpUntil(
      [&] {
        sim.runOnce(2);
        host.collect();
      },
      [&] { return liveFramesIn(host.received) == 1; }, 2000));
  ::close(slave);
}

// A serial device carries 3840 bytes a second (38400 8N1); the board keeps to that rather than
// handing the driver everything at once.
TEST(DeviceRoundTrip, answersArePacedAtTheLineRate) {
  int master = -1;
  int slave = -1;
  char name[256] = {};
  ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
  DeviceTransport transport(name);
  ManualClock clock;
  Simulator sim(transport, SimSettings{}, clock);
  std::string error;
  ASSERT_TRUE(sim.start(error)) << error;
  ::fcntl(master, F_SETFL, O_NONBLOCK);
  HostEnd host(master);
  Bytes polls;
  for (int i = 0; i < 10; ++i) polls.insert(polls.end(), kPoll.begin(), kPoll.end());
  host.send(polls);
  pollfd ready{transport.fd(), POLLIN, 0};
  ASSERT_EQ(::poll(&ready, 1, 1000), 1);
  const auto bytesAt = [&](std::int64_t ms) {
    while (clock.nowMs() < ms) {
      clock.advance(5);
      sim.runOnce(0);
    }
    pumpUntil([&] { host.collect(); }, [] { return false; }, 20);
    return host.received.size();
  };
  sim.runOnce(0);
  EXPECT_LE(bytesAt(0), 64u) << "a FIFO's worth at once";
  const std::size_t at100 = bytesAt(100);
  EXPECT_GE(at100, 64u + 384 - 20);
  EXPECT_LE(at100, 64u + 384 + 20);
  EXPECT_EQ(bytesAt(250), 830u);
  EXPECT_EQ(liveFramesIn(host.received), 10u);
  ::close(slave);
}

TEST(DeviceRoundTrip, aMissingDeviceIsReportedNotCrashedOn) {
  DeviceTransport transport("/nonexistent/ttyUSB9");
  std::string error;
  EXPECT_FALSE(transport.open(error));
  EXPECT_NE(error.find("/nonexistent/ttyUSB9"), std::string::npos);
}

}  // namespace
}  // namespace orlo::sim
