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
  void updateLiveData(const FrameView& f) override { record("live", f); }
  void updateBalanceLamps(std::uint16_t flags) override {
    char text[16];
    std::snprintf(text, sizeof text, "lamps %04X", flags);
    calls.push_back(text);
  }
  void headerFill(const FrameView& f) override { record("header", f); }
  void onReadResult(const FrameView& f) override { record("read", f); }
  void onSetAcknowledge() override { calls.push_back("ack"); }
  void showBalanceCondition(const FrameView& f) override { record("balance", f); }
  void onCalibrationResult(const FrameView& f) override { record("calibration", f); }

  std::vector<std::string> calls;
  std::vector<FrameView> views;  // every frame handed to a handler, in call order

 private:
  void record(const char* name, const FrameView& f) {
    calls.push_back(name);
    views.push_back(f);
  }
};

}  // namespace orlo::test
