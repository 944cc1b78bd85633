// One pack's schedule in simulated time over a real pseudo-terminal: polls keep their one-second
// beat after a late wake-up, the link goes up with the first frame and down once after two
// silent seconds, and a line that hangs up is opened again two seconds later.

#include <gtest/gtest.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "headless/pack_monitor.h"
#include "link/requests.h"
#include "support/frame_image.h"
#include "support/scratch_files.h"

namespace orlo::headless {
namespace {

using std::chrono::milliseconds;

struct Recorded : PackOutput {
  int states = 0;
  std::vector<bool> online;
  void state(std::size_t, const std::string&) override { ++states; }
  void event(std::size_t, const nlohmann::json&) override {}
  void availability(std::size_t, bool up) override { online.push_back(up); }
};

class Pty {
 public:
  Pty() {
    termios raw{};
    cfmakeraw(&raw);
    char name[128] = {};
    if (::openpty(&master_, &slave_, name, &raw, nullptr) == 0) path_ = name;
  }
  ~Pty() {
    closeMaster();
    if (slave_ >= 0) ::close(slave_);
  }
  const std::string& path() const { return path_; }
  // Every byte the pack's side wrote so far.
  Bytes drain() const {
    Bytes all;
    std::uint8_t buffer[512];
    for (;;) {
      fd_set ready;
      FD_ZERO(&ready);
      FD_SET(master_, &ready);
      timeval wait{0, 20000};
      if (::select(master_ + 1, &ready, nullptr, nullptr, &wait) <= 0) return all;
      const ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n <= 0) return all;
      all.insert(all.end(), buffer, buffer + n);
    }
  }
  void send(const Bytes& bytes) const {
    ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  void closeMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

std::size_t polls(const Bytes& written) {
  const Bytes poll = pollRequest();
  std::size_t n = 0;
  for (std::size_t at = 0; at + poll.size() <= written.size(); at += poll.size())
    n += std::equal(poll.begin(), poll.end(), written.begin() + static_cast<long>(at));
  return written.size() == n * poll.size() ? n : 0;  // nothing but whole polls
}

TEST(PackMonitor, keepsItsBeatTracksTheLinkAndReopensAHungUpLine) {
  // The device is a link to the terminal, as the simulator makes it, so that a new terminal
  // can stand in under the same name after the hang-up.
  test::ScratchDir dir("pack-monitor");
  const std::string device = dir.file("bms");
  Pty pty;
  ASSERT_FALSE(pty.path().empty());
  ASSERT_EQ(::symlink(pty.path().c_str(), device.c_str()), 0);
  Recorded out;
  const SteadyTime t0{};
  PackMonitor pack(PackEntry{"A", device}, 0, out, t0);

  pack.onTimer(t0);
  EXPECT_EQ(polls(pty.drain()), 1u);
  pack.onTimer(t0 + milliseconds(500));
  EXPECT_EQ(polls(pty.drain()), 0u);
  // A wake-up 2.7 s late sends one poll, and the next is still due on the second.
  pack.onTimer(t0 + milliseconds(3700));
  EXPECT_EQ(polls(pty.drain()), 1u);
  EXPECT_EQ(pack.nextDeadline(), t0 + milliseconds(4000));
  // Two seconds without an answer from a pack never heard: offline.
  EXPECT_EQ(out.online, std::vector<bool>{false});

  // The first live frame: a state, and the link is up.
  test::FrameImage live;
  live.u16(10, 3301).u16(12, 3302).u16(14, 3303).u16(16, 3304);
  pty.send(live.frame());
  pty.drain();
  pack.onReadable(t0 + milliseconds(3800));
  EXPECT_EQ(out.states, 1);
  EXPECT_EQ(out.online, (std::vector<bool>{false, true}));
  EXPECT_TRUE(pack.linkUp());

  // Silence: down once after two seconds, not again while it lasts.
  pack.onTimer(t0 + milliseconds(5700));
  EXPECT_TRUE(pack.linkUp());
  pack.onTimer(t0 + milliseconds(5800));
  pack.onTimer(t0 + milliseconds(9000));
  EXPECT_EQ(out.online, (std::vector<bool>{false, true, false}));
  EXPECT_FALSE(pack.linkUp());

  // The line hangs up: the port is closed, opened again two seconds later under its name, and
  // polled at once.
  pty.closeMaster();
  pack.onReadable(t0 + milliseconds(9100));
  const unsigned opens = pack.opens();
  EXPECT_EQ(pack.fd(), -1);
  Pty again;
  ASSERT_EQ(::unlink(device.c_str()), 0);
  ASSERT_EQ(::symlink(again.path().c_str(), device.c_str()), 0);
  pack.onTimer(t0 + milliseconds(11000));
  EXPECT_EQ(pack.opens(), opens);
  pack.onTimer(t0 + milliseconds(11100));
  EXPECT_EQ(pack.opens(), opens + 1);
  EXPECT_EQ(polls(again.drain()), 1u);
}

}  // namespace
}  // namespace orlo::headless
