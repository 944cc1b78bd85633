#pragma once
// The receiver has one observer slot; this passes each event on to several observers, in the
// order they were added.

#include <vector>

#include "link/receive_observer.h"

namespace orlo {

class ReceiveFanOut : public ReceiveObserver {
 public:
  void add(ReceiveObserver* observer) {
    if (observer) observers_.push_back(observer);
  }
  void onFrameAccepted(const std::uint8_t* frame, std::size_t size) override {
    for (auto* o : observers_) o->onFrameAccepted(frame, size);
  }
  void onFrameDispatched(const std::uint8_t* frame, std::size_t size) override {
    for (auto* o : observers_) o->onFrameDispatched(frame, size);
  }
  void onDropped(DropReason reason, const std::uint8_t* bytes, std::size_t size) override {
    for (auto* o : observers_) o->onDropped(reason, bytes, size);
  }

 private:
  std::vector<ReceiveObserver*> observers_;
};

}  // namespace orlo
