#pragma once
// "Current-Calibration" tab: four calibration points per direction, the 500 mA tolerance check
// and the Error Evaluation.

#include <array>
#include <cstdint>

#include "link/answers.h"
#include "link/serial_control.h"
#include "view/current_calibration_ids.h"
#include "view/form_of.h"

namespace orlo {

class CurrentCalibrationPage : public FormEventsOf<CalibrationId> {
 public:
  CurrentCalibrationPage(Form& form, SerialControl& serial);

  void initPage();
  void onCalibrationResult(const CalibrationResult& result);
  // The current the main window shows in its header, in amperes (written at every header fill).
  void setLiveCurrent(float amperes) { liveCurrent_ = amperes; }

  bool running() const { return running_; }

  void onClicked(CalibrationId id) override;
  void onTimer(int timerId) override;

 private:
  void onStartStop();
  void onReadPoint(int point);
  void onCalibratePoint(int point);

  bool portOpen() const;
  int direction() const;  // 0 discharge, 1 charge: as the radio buttons stand now
  void selectDirection(CalibrationId radioId);
  // An answer may touch its point's edits only if its direction is the one checked now.
  bool directionGate(const CalibrationResult& result) const;
  void showStatus(const char* text);
  void showErrorEvaluation();

  FormOf<CalibrationId> form_;
  SerialControl& serial_;
  bool running_ = false;
  bool statusShown_ = false;
  float liveCurrent_ = 0;
  std::array<float, 4> pointErrors_{};
};

}  // namespace orlo
