// The poll requests of one tick, through io_uring and through plain writes: every write that fits
// arrives whole and in its own descriptor, and one that cannot go out is counted, not retried;
// the sleep that follows them ends at the first event or at its time.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/epoll.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <string>
#include <vector>

#include "headless/batch_writer.h"

namespace orlo::headless {
namespace {

struct Pipe {
  int read = -1, write = -1;
  Pipe() {
    int fds[2];
    if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) == 0) {
      read = fds[0];
      write = fds[1];
    }
  }
  ~Pipe() {
    if (read >= 0) ::close(read);
    if (write >= 0) ::close(write);
  }
  std::string drain() const {
    std::string got;
    char buffer[256];
    for (ssize_t n; (n = ::read(read, buffer, sizeof buffer)) > 0;)
      got.append(buffer, static_cast<std::size_t>(n));
    return got;
  }
};

TEST(BatchWriter, EveryWriteReachesItsOwnDescriptorOnEitherPath) {
  ::signal(SIGPIPE, SIG_IGN);  // the pipe whose reader is gone
  for (const auto via : {BatchWriter::Via::Ring, BatchWriter::Via::PlainWrites}) {
    SCOPED_TRACE(via == BatchWriter::Via::Ring ? "io_uring" : "plain writes");
    constexpr unsigned kPacks = 6;
    BatchWriter writer(kPacks, via);
    EXPECT_EQ(writer.batched(), via == BatchWriter::Via::Ring) << "io_uring is refused here?";
    std::array<Pipe, kPacks + 3> pipes;
    std::vector<std::string> requests;
    for (std::size_t i = 0; i < pipes.size(); ++i) requests.push_back("poll " + std::to_string(i) + "\n");

    // Three ticks: the ring is reaped between them, so each batch finds it empty.
    for (int tick = 0; tick < 3; ++tick) {
      for (unsigned i = 0; i < kPacks; ++i)
        writer.add(pipes[i].write, reinterpret_cast<const std::uint8_t*>(requests[i].data()),
                   requests[i].size());
      EXPECT_EQ(writer.flush(), kPacks);
      for (unsigned i = 0; i < kPacks; ++i) EXPECT_EQ(pipes[i].drain(), requests[i]) << "pack " << i;
    }
    EXPECT_EQ(writer.flush(), 0u) << "nothing added, nothing sent";

    // More writes than the ring holds, one to a full pipe, one to a pipe nobody reads.
    std::string filler(static_cast<std::size_t>(::fcntl(pipes[0].write, F_GETPIPE_SZ)), 'x');
    ASSERT_EQ(::write(pipes[0].write, filler.data(), filler.size()), static_cast<ssize_t>(filler.size()));
    ::close(pipes[1].read);
    pipes[1].read = -1;
    for (std::size_t i = 0; i < pipes.size(); ++i)
      writer.add(pipes[i].write, reinterpret_cast<const std::uint8_t*>(requests[i].data()),
                 requests[i].size());
    EXPECT_EQ(writer.flush(), pipes.size() - 2);
    EXPECT_EQ(pipes[0].drain(), filler) << "the full pipe got nothing of the request";
    for (std::size_t i = 2; i < pipes.size(); ++i) EXPECT_EQ(pipes[i].drain(), requests[i]) << "pack " << i;
  }
}

TEST(BatchWriter, SleepsAfterTheWritesUntilAnEventOrItsTime) {
  using Clock = std::chrono::steady_clock;
  for (const auto via : {BatchWriter::Via::Ring, BatchWriter::Via::PlainWrites}) {
    SCOPED_TRACE(via == BatchWriter::Via::Ring ? "io_uring" : "plain writes");
    BatchWriter writer(4, via);
    std::array<Pipe, 3> pipes;  // the monitor watches the last one only
    const int epoll = ::epoll_create1(EPOLL_CLOEXEC);
    epoll_event watch{};
    watch.events = EPOLLIN;
    watch.data.u64 = 7;
    ASSERT_EQ(::epoll_ctl(epoll, EPOLL_CTL_ADD, pipes[2].read, &watch), 0);
    const std::uint8_t request[] = {1, 2, 3};
    epoll_event ready[4];

    // Nothing arrives on the watched pipe: the writes go out, the sleep lasts its time. The second
    // round finds the ring's poll of the first still waiting.
    for (int round = 0; round < 2; ++round) {
      writer.add(pipes[0].write, request, sizeof request);
      writer.add(pipes[1].write, request, sizeof request);
      const auto start = Clock::now();
      EXPECT_EQ(writer.flushAndWait(epoll, ready, 4, 150), 0);
      EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(140));
      EXPECT_EQ(pipes[0].drain(), "\x01\x02\x03");
      EXPECT_EQ(pipes[1].drain(), "\x01\x02\x03");
    }
    // A write to the watched pipe ends the sleep at once, with its event.
    writer.add(pipes[0].write, request, sizeof request);
    writer.add(pipes[2].write, request, sizeof request);
    const auto start = Clock::now();
    ASSERT_EQ(writer.flushAndWait(epoll, ready, 4, 5000), 1);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1000));
    EXPECT_EQ(ready[0].data.u64, 7u);
    EXPECT_EQ(pipes[2].drain(), "\x01\x02\x03");
    EXPECT_EQ(pipes[0].drain(), "\x01\x02\x03");
    // With nothing to write it is a plain wait.
    EXPECT_EQ(writer.flushAndWait(epoll, ready, 4, 20), 0);
    ::close(epoll);
  }
}

}  // namespace
}  // namespace orlo::headless
