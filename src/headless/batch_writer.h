#pragma once
// Writes gathered during one wake-up of the monitor, sent to their descriptors in one system call,
// which can also be the one the monitor then sleeps in.
//
// A write to a pseudo-terminal or serial line wakes the kernel worker that carries the bytes on,
// and that worker, woken on our processor, takes it over at the end of the write. With one
// write() per pack, the once-a-second poll of 16 packs was 16 round trips to that worker; through
// io_uring the writes are handed over together, and with flushAndWait() the program goes to sleep
// in the same call, so the worker runs once and nothing has to switch back to us before we sleep.
// Where io_uring is not available (an older or locked-down kernel, a seccomp filter) each write
// is a plain write() and the sleep a plain epoll_wait().

#include <cstddef>
#include <cstdint>
#include <vector>

struct io_uring;
struct epoll_event;

namespace orlo::headless {

class BatchWriter {
 public:
  enum class Via { Ring, PlainWrites };
  // Room for `capacity` writes per flush; more are written one by one. Via::PlainWrites never
  // tries io_uring.
  explicit BatchWriter(unsigned capacity, Via via = Via::Ring);
  ~BatchWriter();
  BatchWriter(const BatchWriter&) = delete;
  BatchWriter& operator=(const BatchWriter&) = delete;

  // The bytes must stay where they are until flush(). The descriptor is non-blocking.
  void add(int fd, const std::uint8_t* data, std::size_t size);
  // Sends what add() gathered; returns how many writes went out whole.
  std::size_t flush();
  // Sends what add() gathered, then waits up to `timeoutMs` (-1: no limit) for events on
  // `epollFd` and returns them as epoll_wait() does.
  int flushAndWait(int epollFd, epoll_event* events, int maxEvents, int timeoutMs);

  bool batched() const { return ring_ != nullptr; }

 private:
  struct Pending {
    int fd;
    const std::uint8_t* data;
    std::size_t size;
  };
  std::size_t writeEach();
  void queueWrites();
  // Takes in the completions there are: counts whole writes, notes a poll that has fired.
  std::size_t reap();
  void dropRing();

  io_uring* ring_ = nullptr;
  unsigned capacity_;
  bool pollArmed_ = false;  // a poll of the epoll descriptor waits in the ring
  std::vector<Pending> pending_;
};

}  // namespace orlo::headless
