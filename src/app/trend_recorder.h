#pragma once
// Feeds the trend buffer from the receive path: every dispatched Live data frame becomes one
// sample stamped with the wall clock.

#include <cstdint>
#include <functional>

#include "app/trend_buffer.h"
#include "link/frame_bytes.h"
#include "link/receive_observer.h"

namespace orlo {

class TrendRecorder : public ReceiveObserver {
 public:
  static constexpr std::uint8_t kLiveDataCommand = frame_bytes::kLiveData;
  using MillisClock = std::function<std::int64_t()>;

  TrendRecorder(TrendBuffer& buffer, MillisClock wallNowMs) : buffer_(buffer), clock_(std::move(wallNowMs)) {}

  void onFrameAccepted(const std::uint8_t*, std::size_t) override {}
  void onFrameDispatched(const std::uint8_t* frame, std::size_t size) override;
  void onDropped(DropReason, const std::uint8_t*, std::size_t) override {}

 private:
  TrendBuffer& buffer_;
  MillisClock clock_;
};

}  // namespace orlo
