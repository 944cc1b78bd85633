#pragma once
// "Current-Calibration" tab: four calibration points per direction, the 500 mA tolerance check
// and the Error Evaluation.

#include <array>
#include <cstdint>

#include "app/form.h"
#include "link/frame_view.h"
#include "link/serial_control.h"

namespace orlo {

class MCurrentCalibrationDlg : public FormEvents {
 public:
  explicit MCurrentCalibrationDlg(Form& form);

  void InitPage(SerialControl& serial);
  void OnCalibrationResult(const FrameView& frame);
  // The current the main window shows in its header, in amperes (written at every header fill).
  void setLiveCurrent(float amperes) { liveCurrent_ = amperes; }

  bool running() const { return running_; }

  void onClicked(int id) override;
  void onTimer(int timerId) override;

 private:
  Form& form_;
  SerialControl* serial_ = nullptr;
  bool running_ = false;
  bool statusShown_ = false;
  float liveCurrent_ = 0;
  std::array<float, 4> pointErrors_{};
};

}  // namespace orlo
