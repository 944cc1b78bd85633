#include "headless/batch_writer.h"

#include <liburing.h>
#include <poll.h>
#include <sys/epoll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <memory>

namespace orlo::headless {

namespace {

// A write's tag is its size; liburing keeps all ones for timeouts of its own.
constexpr std::uint64_t kPollTag = std::uint64_t{1} << 62;

// epoll_wait() to its time: a ring's completion work can interrupt it (EINTR) without a signal.
int waitEpoll(int epollFd, epoll_event* events, int maxEvents, int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const int count = ::epoll_wait(epollFd, events, maxEvents, timeoutMs);
    if (count >= 0 || errno != EINTR) return count;
    if (timeoutMs > 0)
      timeoutMs = static_cast<int>(
          std::max<long long>(0, std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count()));
  }
}

}  // namespace

BatchWriter::BatchWriter(unsigned capacity, Via via) : capacity_(capacity) {
  pending_.reserve(capacity);
  if (via != Via::Ring || capacity == 0) return;
  auto ring = std::make_unique<io_uring>();
  // Room for the writes, the poll, and the timeout a kernel without timed waits needs.
  if (io_uring_queue_init(capacity + 2, ring.get(), 0) == 0) ring_ = ring.release();
}

BatchWriter::~BatchWriter() {
  dropRing();
}

void BatchWriter::dropRing() {
  if (ring_ == nullptr) return;
  io_uring_queue_exit(ring_);
  delete ring_;
  ring_ = nullptr;
  pollArmed_ = false;
}

void BatchWriter::add(int fd, const std::uint8_t* data, std::size_t size) {
  if (fd >= 0 && size > 0) pending_.push_back({fd, data, size});
}

void BatchWriter::queueWrites() {
  for (const Pending& p : pending_) {
    io_uring_sqe* sqe = io_uring_get_sqe(ring_);
    // The ring holds a batch and two more, and every earlier batch was taken in: there is room.
    io_uring_prep_write(sqe, p.fd, p.data, static_cast<unsigned>(p.size), 0);
    io_uring_sqe_set_data64(sqe, static_cast<std::uint64_t>(p.size));
  }
}

std::size_t BatchWriter::reap() {
  std::size_t whole = 0;
  io_uring_cqe* cqe = nullptr;
  while (io_uring_peek_cqe(ring_, &cqe) == 0 && cqe != nullptr) {
    const std::uint64_t tag = io_uring_cqe_get_data64(cqe);
    if (tag == kPollTag)
      pollArmed_ = false;
    else if (cqe->res >= 0 && static_cast<std::uint64_t>(cqe->res) == tag)
      ++whole;
    io_uring_cqe_seen(ring_, cqe);
  }
  return whole;
}

std::size_t BatchWriter::flush() {
  if (pending_.empty()) return 0;
  if (ring_ == nullptr || pending_.size() > capacity_) return writeEach();
  reap();
  queueWrites();
  const auto count = static_cast<unsigned>(pending_.size());
  int submitted = io_uring_submit(ring_);
  while (submitted == -EINTR) submitted = io_uring_submit(ring_);
  // The writes are non-blocking: each is done by the time the call returns.
  std::size_t whole = reap();
  if (submitted == static_cast<int>(count) && io_uring_sq_ready(ring_) == 0) {
    pending_.clear();
    return whole;
  }
  // The ring refused the batch (it should not): it is given up, and these and all later writes
  // go out one by one. A write the ring did take may then go out twice; a poll request is
  // harmless to repeat.
  dropRing();
  return whole + writeEach();
}

int BatchWriter::flushAndWait(int epollFd, epoll_event* events, int maxEvents, int timeoutMs) {
  if (pending_.empty() || ring_ == nullptr || pending_.size() > capacity_) {
    flush();
    return waitEpoll(epollFd, events, maxEvents, timeoutMs);
  }
  reap();
  queueWrites();
  const auto count = static_cast<unsigned>(pending_.size());
  if (!pollArmed_) {
    io_uring_sqe* sqe = io_uring_get_sqe(ring_);
    io_uring_prep_poll_add(sqe, epollFd, POLLIN);
    io_uring_sqe_set_data64(sqe, kPollTag);
    pollArmed_ = true;
  }
  // Every write completes at once, so waiting for one completion more than there are writes
  // waits for the poll: an event on the epoll descriptor, or the time out.
  __kernel_timespec wait{timeoutMs / 1000, static_cast<long long>(timeoutMs % 1000) * 1000000};
  io_uring_cqe* first = nullptr;
  io_uring_submit_and_wait_timeout(ring_, &first, count + 1, timeoutMs < 0 ? nullptr : &wait, nullptr);
  if (io_uring_sq_ready(ring_) != 0) {
    // Not taken: the same fallback as flush().
    dropRing();
    writeEach();
    return waitEpoll(epollFd, events, maxEvents, timeoutMs);
  }
  reap();
  pending_.clear();
  return waitEpoll(epollFd, events, maxEvents, 0);
}

std::size_t BatchWriter::writeEach() {
  std::size_t whole = 0;
  for (const Pending& p : pending_) {
    ssize_t n = ::write(p.fd, p.data, p.size);
    while (n < 0 && errno == EINTR) n = ::write(p.fd, p.data, p.size);
    if (n == static_cast<ssize_t>(p.size)) ++whole;
  }
  pending_.clear();
  return whole;
}

}  // namespace orlo::headless
