#pragma once
// Where the frame dispatcher sends validated frames, by command byte, in the board's terms:
//   0x4D  onLiveData            0x47  onAlarmParameters     0x48  onSetAcknowledge
//   0x18  onBalanceCondition when byte 6 is 0x0E (the read's answer), otherwise nothing
//   0x15  onCalibrationResult   any other command: onOtherFrame, read with the live data offsets
// What each of them means for a window or a headless program is the implementer's business.

#include "link/answers.h"
#include "link/frame_view.h"

namespace orlo {

class FrameHandlers {
 public:
  virtual ~FrameHandlers() = default;
  // Every dispatched frame as it came, before the handler its command routes it to (if any);
  // for recorders. Nothing to do by default.
  virtual void onFrame(const FrameView& /*frame*/) {}

  virtual void onLiveData(const LiveData& live) = 0;
  // The answer to an alarm parameter read. The frame may be short; past its end it reads 0.
  virtual void onAlarmParameters(const FrameView& answer) = 0;
  virtual void onSetAcknowledge() = 0;
  virtual void onBalanceCondition(const BalanceCondition& condition) = 0;
  virtual void onCalibrationResult(const CalibrationResult& result) = 0;
  virtual void onOtherFrame(const LiveData& asLiveData) = 0;
};

}  // namespace orlo
