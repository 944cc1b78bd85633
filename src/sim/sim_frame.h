#pragma once
// The simulator's own frame codec. It is deliberately separate from the host's link code, so a
// mistake in one cannot hide behind the same mistake in the other.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orlo::sim {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kMaxFrameLength = 100;  // head to tail inclusive
constexpr std::size_t kMinFrameLength = 11;   // head, command, 3 bytes, selector, checksum, tail

// 16-bit sum of bytes 4 ... L-5 of a whole frame (head to tail).
std::uint16_t sumOfFrame(const std::uint8_t* frame, std::size_t length);
bool hasValidChecksum(const Bytes& frame);

// Little-endian readers over a frame that treat offsets past its end as 0.
std::uint32_t readU8(const Bytes& frame, std::size_t offset);
std::uint32_t readU16(const Bytes& frame, std::size_t offset);
std::uint32_t readU32(const Bytes& frame, std::size_t offset);

// A frame image of fixed length: head, command, zeros, then checksum and tail on finish().
class FrameBuilder {
 public:
  FrameBuilder(std::uint8_t command, std::size_t length);
  FrameBuilder& put8(std::size_t offset, std::uint32_t value);
  FrameBuilder& put16(std::size_t offset, std::uint32_t value);
  FrameBuilder& put32(std::size_t offset, std::uint32_t value);
  Bytes finish();

 private:
  Bytes bytes_;
};

// Cuts request frames out of the byte stream the host writes. A frame runs from a head AA 55
// to the first 55 AA within 100 bytes at which the checksum holds; anything else is line noise
// and is dropped, as a board would.
class RequestScanner {
 public:
  void feed(const std::uint8_t* data, std::size_t size, std::vector<Bytes>& frames);
  std::size_t droppedBytes() const { return dropped_; }
  std::size_t pendingBytes() const { return buffer_.size(); }

 private:
  bool takeFrame(std::vector<Bytes>& frames);
  std::size_t validEndFrom(std::size_t head) const;  // one past the tail, 0 if none yet
  void dropStaleHeads();

  Bytes buffer_;
  std::size_t dropped_ = 0;
};

}  // namespace orlo::sim
