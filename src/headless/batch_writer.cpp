#include "headless/batch_writer.h"

#include <liburing.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <memory>

namespace orlo::headless {

BatchWriter::BatchWriter(unsigned capacity, Via via) : capacity_(capacity) {
  pending_.reserve(capacity);
  if (via != Via::Ring || capacity == 0) return;
  auto ring = std::make_unique<io_uring>();
  if (io_uring_queue_init(capacity, ring.get(), 0) == 0) ring_ = ring.release();
}

BatchWriter::~BatchWriter() {
  if (ring_ == nullptr) return;
  io_uring_queue_exit(ring_);
  delete ring_;
}

void BatchWriter::add(int fd, const std::uint8_t* data, std::size_t size) {
  if (fd >= 0 && size > 0) pending_.push_back({fd, data, size});
}

std::size_t BatchWriter::flush() {
  if (pending_.empty()) return 0;
  if (ring_ == nullptr || pending_.size() > capacity_) return writeEach();
  for (const Pending& p : pending_) {
    io_uring_sqe* sqe = io_uring_get_sqe(ring_);
    // The ring is as deep as the batch, and every earlier batch was reaped: there is always room.
    io_uring_prep_write(sqe, p.fd, p.data, static_cast<unsigned>(p.size), 0);
    io_uring_sqe_set_data64(sqe, static_cast<std::uint64_t>(p.size));
  }
  int submitted = io_uring_submit(ring_);
  while (submitted == -EINTR) submitted = io_uring_submit(ring_);
  // The writes are non-blocking, so each one is done by the time the call returns (or soon after
  // in the kernel's own worker): reap them all, so that the ring is empty for the next batch.
  std::size_t whole = 0;
  bool reaped = true;
  for (int seen = 0; seen < submitted && reaped; ++seen) {
    io_uring_cqe* cqe = nullptr;
    int rc = io_uring_wait_cqe(ring_, &cqe);
    while (rc == -EINTR) rc = io_uring_wait_cqe(ring_, &cqe);
    reaped = rc == 0;
    if (!reaped) break;
    if (cqe->res >= 0 && static_cast<std::uint64_t>(cqe->res) == io_uring_cqe_get_data64(cqe)) ++whole;
    io_uring_cqe_seen(ring_, cqe);
  }
  const auto taken = static_cast<std::size_t>(submitted < 0 ? 0 : submitted);
  if (taken == pending_.size() && reaped) {
    pending_.clear();
    return whole;
  }
  // The ring refused some writes or lost track of them (it should not): those it did not take go
  // out one by one, and so does everything after.
  io_uring_queue_exit(ring_);
  delete ring_;
  ring_ = nullptr;
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(taken));
  return whole + writeEach();
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
