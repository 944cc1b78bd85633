#pragma once
// A ReceiveObserver that keeps what it is told, for receive path tests.

#include <vector>

#include "link/receive_observer.h"
#include "link/serial_control.h"

namespace orlo::test {

class RecordingObserver : public ReceiveObserver {
 public:
  struct Drop {
    DropReason reason;
    Bytes bytes;
  };
  void onFrameAccepted(const std::uint8_t* f, std::size_t n) override { accepted.emplace_back(f, f + n); }
  void onFrameDispatched(const std::uint8_t* f, std::size_t n) override { dispatched.emplace_back(f, f + n); }
  void onDropped(DropReason reason, const std::uint8_t* b, std::size_t n) override {
    drops.push_back({reason, Bytes(b, b + n)});
  }
  std::size_t droppedBytes(DropReason reason) const {
    std::size_t n = 0;
    for (const auto& d : drops) n += d.reason == reason ? d.bytes.size() : 0;
    return n;
  }

  std::vector<Bytes> accepted;
  std::vector<Bytes> dispatched;
  std::vector<Drop> drops;
};

}  // namespace orlo::test
