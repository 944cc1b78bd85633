#pragma once
// Frames built field by field for tests that feed the pages and the main window, with the
// fields written little-endian at their frame offsets as the board writes them.

#include <cstddef>
#include <cstdint>

#include "link/frame_view.h"
#include "link/requests.h"
#include "link/serial_control.h"

namespace orlo::test {

// A frame with the given command whose bytes 7 ... 78 are zero unless set; checksum and tail
// are filled in by frame().
class FrameImage {
 public:
  explicit FrameImage(std::uint8_t command = 0x4D, std::uint8_t sub = 0) : command_(command), sub_(sub) {}
  FrameImage& u8(std::size_t off, std::uint8_t v) {
    data_.at(off - 7) = v;
    return *this;
  }
  FrameImage& u16(std::size_t off, std::uint16_t v) { return u8(off, v & 0xFF).u8(off + 1, v >> 8); }
  FrameImage& u32(std::size_t off, std::uint32_t v) {
    return u16(off, static_cast<std::uint16_t>(v)).u16(off + 2, static_cast<std::uint16_t>(v >> 16));
  }
  Bytes frame() const { return buildFrame(command_, 0, sub_, data_); }
  FrameView view() const {
    const Bytes b = frame();
    return FrameView(b.data(), b.size());
  }

 private:
  std::uint8_t command_;
  std::uint8_t sub_;
  Bytes data_ = Bytes(72, 0);
};

}  // namespace orlo::test
