#pragma once
// FrameHandlers that take every frame and do nothing with it, for tests that watch the receive
// path from the side (counters, traffic rows) rather than what the pages are handed.

#include <cstdint>

#include "link/frame_handlers.h"

namespace orlo::test {

struct IgnoreFrames : FrameHandlers {
  void updateLiveData(const FrameView&) override {}
  void updateBalanceLamps(std::uint16_t) override {}
  void headerFill(const FrameView&) override {}
  void onReadResult(const FrameView&) override {}
  void onSetAcknowledge() override {}
  void showBalanceCondition(const FrameView&) override {}
  void onCalibrationResult(const FrameView&) override {}
};

}  // namespace orlo::test
