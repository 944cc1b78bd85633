#pragma once
// Writes gathered during one wake-up of the monitor, sent to their descriptors in one system call.
//
// A write to a pseudo-terminal or serial line wakes the kernel worker that carries the bytes on,
// and that worker, woken on our processor, takes it over at the end of the write. With one
// write() per pack, the once-a-second poll of 16 packs was 16 round trips to that worker; through
// io_uring the writes are handed over together and the worker runs once. Where io_uring is not
// available (an older or locked-down kernel, a seccomp filter) each write is a plain write().

#include <cstddef>
#include <cstdint>
#include <vector>

struct io_uring;

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

  bool batched() const { return ring_ != nullptr; }

 private:
  struct Pending {
    int fd;
    const std::uint8_t* data;
    std::size_t size;
  };
  std::size_t writeEach();

  io_uring* ring_ = nullptr;
  unsigned capacity_;
  std::vector<Pending> pending_;
};

}  // namespace orlo::headless
