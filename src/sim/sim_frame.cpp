#include "sim/sim_frame.h"

#include <algorithm>

namespace orlo::sim {

std::uint16_t sumOfFrame(const std::uint8_t* frame, std::size_t length) {
  std::uint16_t sum = 0;
  for (std::size_t i = 4; i + 4 < length; ++i) sum = static_cast<std::uint16_t>(sum + frame[i]);
  return sum;
}

bool hasValidChecksum(const Bytes& frame) {
  const std::size_t n = frame.size();
  if (n < kMinFrameLength || n > kMaxFrameLength) return false;
  if (frame[0] != 0xAA || frame[1] != 0x55 || frame[n - 2] != 0x55 || frame[n - 1] != 0xAA) return false;
  const std::uint32_t stored = frame[n - 4] | (frame[n - 3] << 8);
  return stored == sumOfFrame(frame.data(), n);
}

std::uint32_t readU8(const Bytes& frame, std::size_t offset) {
  return offset < frame.size() ? frame[offset] : 0;
}

std::uint32_t readU16(const Bytes& frame, std::size_t offset) {
  return readU8(frame, offset) | (readU8(frame, offset + 1) << 8);
}

std::uint32_t readU32(const Bytes& frame, std::size_t offset) {
  return readU16(frame, offset) | (readU16(frame, offset + 2) << 16);
}

FrameBuilder::FrameBuilder(std::uint8_t command, std::size_t length)
    : bytes_(std::clamp(length, kMinFrameLength, kMaxFrameLength), 0) {
  bytes_[0] = 0xAA;
  bytes_[1] = 0x55;
  bytes_[2] = command;
}

FrameBuilder& FrameBuilder::put8(std::size_t offset, std::uint32_t value) {
  // Payload only: the checksum and tail belong to finish().
  if (offset + 4 < bytes_.size()) bytes_[offset] = static_cast<std::uint8_t>(value & 0xFF);
  return *this;
}

FrameBuilder& FrameBuilder::put16(std::size_t offset, std::uint32_t value) {
  return put8(offset, value).put8(offset + 1, value >> 8);
}

FrameBuilder& FrameBuilder::put32(std::size_t offset, std::uint32_t value) {
  return put16(offset, value).put16(offset + 2, value >> 16);
}

Bytes FrameBuilder::finish() {
  const std::size_t n = bytes_.size();
  const std::uint16_t sum = sumOfFrame(bytes_.data(), n);
  bytes_[n - 4] = static_cast<std::uint8_t>(sum & 0xFF);
  bytes_[n - 3] = static_cast<std::uint8_t>(sum >> 8);
  bytes_[n - 2] = 0x55;
  bytes_[n - 1] = 0xAA;
  return bytes_;
}

void RequestScanner::feed(const std::uint8_t* data, std::size_t size, std::vector<Bytes>& frames) {
  buffer_.insert(buffer_.end(), data, data + size);
  while (takeFrame(frames)) {
  }
  dropStaleHeads();
}

std::size_t RequestScanner::validEndFrom(std::size_t head) const {
  const std::size_t limit = std::min(buffer_.size(), head + kMaxFrameLength);
  for (std::size_t end = head + kMinFrameLength; end <= limit; ++end) {
    if (buffer_[end - 2] != 0x55 || buffer_[end - 1] != 0xAA) continue;
    const std::uint32_t stored = buffer_[end - 4] | (buffer_[end - 3] << 8);
    if (stored == sumOfFrame(buffer_.data() + head, end - head)) return end;
  }
  return 0;
}

// Takes the earliest complete frame, so that a stray AA 55 in front of a real request never
// holds it back.
bool RequestScanner::takeFrame(std::vector<Bytes>& frames) {
  for (std::size_t head = 0; head + 1 < buffer_.size(); ++head) {
    if (buffer_[head] != 0xAA || buffer_[head + 1] != 0x55) continue;
    const std::size_t end = validEndFrom(head);
    if (end == 0) continue;
    frames.emplace_back(buffer_.begin() + static_cast<long>(head), buffer_.begin() + static_cast<long>(end));
    dropped_ += head;
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(end));
    return true;
  }
  return false;
}

// Keeps only what could still become a frame: bytes from the first head that is less than a
// frame's maximum length away from the newest byte.
void RequestScanner::dropStaleHeads() {
  std::size_t keepFrom = buffer_.size();
  for (std::size_t i = 0; i < buffer_.size(); ++i) {
    const bool head = buffer_[i] == 0xAA && (i + 1 == buffer_.size() || buffer_[i + 1] == 0x55);
    if (head && buffer_.size() - i < kMaxFrameLength) {
      keepFrom = i;
      break;
    }
  }
  dropped_ += keepFrom;
  buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(keepFrom));
}

}  // namespace orlo::sim
