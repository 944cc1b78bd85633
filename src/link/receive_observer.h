#pragma once
// Optional window onto the receive path for diagnostics (the Traffic window, --stats).
// With no observer attached the receive path makes no calls at all.

#include <cstddef>
#include <cstdint>

namespace orlo {

enum class DropReason {
  BadChecksum,      // a head and a 55 AA pair within 100 bytes, but no pair checksummed
  NoTail,           // a head with no tail within 100 bytes
  BytesBeforeHead,  // bytes that belong to no frame (noise, stray bytes)
  QueueFull,        // a valid frame pushed out of the full queue
  BufferOverflow,   // oldest unconsumed bytes dropped to make room
};

const char* dropReasonName(DropReason reason);

class ReceiveObserver {
 public:
  virtual ~ReceiveObserver() = default;
  // A validated frame entered the queue.
  virtual void onFrameAccepted(const std::uint8_t* frame, std::size_t size) = 0;
  // A frame left the queue and was handed to its handlers.
  virtual void onFrameDispatched(const std::uint8_t* frame, std::size_t size) = 0;
  // Bytes were thrown away.
  virtual void onDropped(DropReason reason, const std::uint8_t* bytes, std::size_t size) = 0;
};

}  // namespace orlo
