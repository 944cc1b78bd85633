#pragma once
// FrameHandlers that write down every call, for receive path and dispatch tests.

#include <cstdio>
#include <string>
#include <vector>

#include "link/frame_handlers.h"
#include "link/serial_control.h"

namespace orlo::test {

class RecordingHandlers : public FrameHandlers {
 public:
  void onFrame(const FrameView& f) override { views.push_back(f); }
  void onLiveData(const LiveData& live) override {
    char text[32];
    std::snprintf(text, sizeof text, "live %04X", live.balanceFlags);
    calls.push_back(text);
  }
  void onAlarmParameters(const FrameView&) override { calls.push_back("alarm parameters"); }
  void onSetAcknowledge() override { calls.push_back("ack"); }
  void onBalanceCondition(const BalanceCondition&) override { calls.push_back("balance"); }
  void onCalibrationResult(const CalibrationResult&) override { calls.push_back("calibration"); }
  void onOtherFrame(const LiveData&) override { calls.push_back("other"); }

  std::vector<std::string> calls;
  std::vector<FrameView> views;  // every dispatched frame, in order
};

}  // namespace orlo::test
