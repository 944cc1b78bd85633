#pragma once
// The receive path: bytes from the port in whatever chunks they come, out as validated frames,
// one per frame tick, to the frame handlers.
//
// A frame starts at a head AA 55 and ends at the first 55 AA pair (more than 2 bytes after the
// head, at most 100 bytes head to tail inclusive) at which the checksum matches. Valid frames
// wait in a bounded queue; each frame tick dispatches the oldest one from a zero-filled
// 100-byte frame buffer.

#include <array>
#include <cstddef>
#include <cstdint>

#include "link/frame_handlers.h"
#include "link/frame_view.h"
#include "link/receive_observer.h"

namespace orlo {

struct ReceiveStats {
  std::uint64_t bytesReceived = 0;
  std::uint64_t framesAccepted = 0;    // validated and queued
  std::uint64_t framesDispatched = 0;  // handed to handlers
  std::uint64_t dropBadChecksum = 0;
  std::uint64_t dropNoTail = 0;
  std::uint64_t dropBytesBeforeHead = 0;  // bytes
  std::uint64_t dropQueueFull = 0;
  std::uint64_t dropBufferOverflow = 0;  // bytes
};

class Receiver {
 public:
  static constexpr std::size_t kReceiveBufferSize = 1024;
  static constexpr std::size_t kQueueSize = 16;

  Receiver();
  ~Receiver();
  Receiver(const Receiver&) = delete;
  Receiver& operator=(const Receiver&) = delete;

  // A receive event: append the bytes and take out every frame that is now complete.
  void onBytes(const std::uint8_t* data, std::size_t size);
  // Frame tick (every 100 ms): dispatch the oldest waiting frame, if any. True if one was.
  bool frameTick(FrameHandlers& handlers);

  // Set by every dispatched frame; read and cleared by the link status check.
  bool frameSeen() const { return frameSeen_; }
  void setFrameSeen(bool seen) { frameSeen_ = seen; }

  // Start-up state: empty buffers, empty queue, frame-seen flag clear.
  void reset();

  std::size_t pendingFrames() const;
  const ReceiveStats& stats() const { return stats_; }
  void setObserver(ReceiveObserver* observer) { observer_ = observer; }

 private:
  enum class HeadResult { Found, Pending, NoTail, BadChecksum };
  struct Scan {
    HeadResult result;
    std::size_t length;  // frame length when Found
  };

  void extract();
  bool settleLaterHead(std::size_t& start);
  // How far the tail search of a head has got, so that a frame arriving in small pieces is
  // not searched again from its head with every piece.
  struct Progress {
    std::size_t next = 3;  // offset from the head of the next tail candidate; none sits nearer
    unsigned sum = 0;      // sum of offsets 4 ... next-4
    bool sawTail = false;
  };
  Scan tryHead(std::size_t head, Progress& progress) const;
  std::size_t findHead(std::size_t from) const;
  void drop(DropReason reason, std::size_t from, std::size_t count);
  void dropOldest(std::size_t count);
  void enqueue(std::size_t from, std::size_t length);

  // The bookkeeping first and together: a chunk of bytes then touches it, the first lines of the
  // buffer and one queue slot.
  std::size_t used_ = 0;  // bytes held, always starting at offset 0
  Progress firstHead_;    // for the head at offset 0 while it waits for its tail
  std::size_t queueFirst_ = 0;
  std::size_t queueCount_ = 0;
  ReceiveObserver* observer_ = nullptr;
  bool frameSeen_ = false;
  ReceiveStats stats_;
  std::array<std::size_t, kQueueSize> queueLength_{};
  std::array<std::uint8_t, kReceiveBufferSize> buffer_{};
  std::array<std::array<std::uint8_t, kFrameBufferSize>, kQueueSize> queue_{};
};

// Routes one frame by its command byte (see FrameHandlers).
void dispatchFrame(const FrameView& frame, FrameHandlers& handlers);

}  // namespace orlo
