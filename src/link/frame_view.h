#pragma once
// A received frame as every handler reads it: the frame lies at the start of a zero-filled
// 100-byte buffer, so any offset past its end (or past the buffer) reads 0.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace orlo {

constexpr std::size_t kFrameBufferSize = 100;

class FrameView {
 public:
  FrameView() = default;
  // Copies at most kFrameBufferSize bytes; the rest stays 0.
  FrameView(const std::uint8_t* data, std::size_t size)
      : length_(size < kFrameBufferSize ? size : kFrameBufferSize) {
    if (length_ > 0) std::memcpy(bytes_.data(), data, length_);
  }

  std::size_t length() const { return length_; }
  const std::uint8_t* data() const { return bytes_.data(); }

  std::uint8_t u8(std::size_t off) const { return off < kFrameBufferSize ? bytes_[off] : 0; }
  std::uint16_t u16(std::size_t off) const {
    return static_cast<std::uint16_t>(u8(off) | (u8(off + 1) << 8));
  }
  std::int16_t s16(std::size_t off) const { return static_cast<std::int16_t>(u16(off)); }
  std::uint32_t u32(std::size_t off) const {
    return static_cast<std::uint32_t>(u16(off)) | (static_cast<std::uint32_t>(u16(off + 2)) << 16);
  }
  std::int32_t s32(std::size_t off) const { return static_cast<std::int32_t>(u32(off)); }

 private:
  std::array<std::uint8_t, kFrameBufferSize> bytes_{};
  std::size_t length_ = 0;
};

}  // namespace orlo
