#pragma once
// The receive path's handler for a program that only listens to live data: every validated
// frame counts for the link check, live data frames are handed on. All the FrameHandlers
// names live here, so renaming them touches this file only.

#include <functional>

#include "link/answers.h"
#include "link/frame_handlers.h"

namespace orlo::headless {

class LiveDataTap : public FrameHandlers {
 public:
  std::function<void(const LiveData&)> onLive;
  std::function<void()> onAnyFrame;

  void onFrame(const FrameView&) override {
    if (onAnyFrame) onAnyFrame();
  }
  void onLiveData(const LiveData& live) override {
    if (onLive) onLive(live);
  }
  void onAlarmParameters(const FrameView&) override {}
  void onSetAcknowledge() override {}
  void onBalanceCondition(const BalanceCondition&) override {}
  void onCalibrationResult(const CalibrationResult&) override {}
  void onOtherFrame(const LiveData&) override {}
};

}  // namespace orlo::headless
