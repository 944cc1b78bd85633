#pragma once
// Where the frame dispatcher sends validated frames, by command byte:
//   0x4D  updateLiveData, then updateBalanceLamps(flags at 75..76), then headerFill
//   0x47  onReadResult          0x48  onSetAcknowledge
//   0x18  showBalanceCondition when byte 6 is 0x0E, otherwise nothing
//   0x15  onCalibrationResult   other headerFill
// The main window implements it and forwards to its pages.

#include <cstdint>

#include "link/frame_view.h"

namespace orlo {

class FrameHandlers {
 public:
  virtual ~FrameHandlers() = default;
  virtual void updateLiveData(const FrameView& frame) = 0;
  virtual void updateBalanceLamps(std::uint16_t balanceFlags) = 0;
  virtual void headerFill(const FrameView& frame) = 0;
  virtual void onReadResult(const FrameView& frame) = 0;
  virtual void onSetAcknowledge() = 0;
  virtual void showBalanceCondition(const FrameView& frame) = 0;
  virtual void onCalibrationResult(const FrameView& frame) = 0;
};

}  // namespace orlo
