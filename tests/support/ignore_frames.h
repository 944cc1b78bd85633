#pragma once
// FrameHandlers that take every frame and do nothing with it, for tests that watch the receive
// path from the side (counters, traffic rows) rather than what the pages are handed.

#include "link/frame_handlers.h"

namespace orlo::test {

struct IgnoreFrames : FrameHandlers {
  void onLiveData(const LiveData&) override {}
  void onAlarmParameters(const FrameView&) override {}
  void onSetAcknowledge() override {}
  void onBalanceCondition(const BalanceCondition&) override {}
  void onCalibrationResult(const CalibrationResult&) override {}
  void onOtherFrame(const LiveData&) override {}
};

}  // namespace orlo::test
