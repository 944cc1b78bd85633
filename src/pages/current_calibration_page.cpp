#include "pages/current_calibration_page.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "core/calibration_check.h"
#include "link/requests.h"
#include "util/decimal_text.h"
#include "util/text_format.h"
#include "view/current_calibration_ids.h"

namespace orlo {
namespace {

using namespace calibration_ids;

const char* const kStart = "START";
const char* const kStop = "STOP";
// Spelled as users of the tool have always seen it.
const char* const kWarningCaption = "Warming";
const char* const kStopFirst = "Please Stop the Calibration!";
const char* const kStartFirst = "Please Start Calibration or Check Port open!";
const char* const kOpenPortFirst = "Please open the serial port.";
const char* const kReadSuccessful = "Read successful!";
const char* const kCalibrationFinish = "Calibration finish!";

std::string coefficientText(std::uint32_t raw) {
  return formatFixed(static_cast<float>(raw) / 1000.0f, 6);
}

}  // namespace

CurrentCalibrationPage::CurrentCalibrationPage(Form& form, SerialControl& serial)
    : form_(form), serial_(serial) {}

void CurrentCalibrationPage::initPage() {
  running_ = false;
  form_.startTimer(kStatusTimer, kStatusTimerPeriodMs);
  for (int p = 0; p < kPointCount; ++p) {
    form_.setText(CalibrationId::Coefficient1 + p, "--");
    form_.setText(CalibrationId::CurrentTest1 + p, "0");
  }
  form_.setText(CalibrationId::ErrorEvaluation, "--");
  selectDirection(CalibrationId::Discharge);
  pointErrors_.fill(0.0f);
}

bool CurrentCalibrationPage::portOpen() const {
  return serial_.isOpen();
}

int CurrentCalibrationPage::direction() const {
  return form_.isChecked(CalibrationId::Discharge) ? 0 : 1;
}

void CurrentCalibrationPage::selectDirection(CalibrationId radioId) {
  form_.setChecked(CalibrationId::Discharge, radioId == CalibrationId::Discharge);
  form_.setChecked(CalibrationId::Charge, radioId == CalibrationId::Charge);
}

void CurrentCalibrationPage::showStatus(const char* text) {
  form_.setText(CalibrationId::Status, text);
  statusShown_ = true;
}

void CurrentCalibrationPage::onStartStop() {
  if (!portOpen()) return;
  running_ = form_.text(CalibrationId::StartStop) == kStart;
  form_.setText(CalibrationId::StartStop, running_ ? kStop : kStart);
}

void CurrentCalibrationPage::onReadPoint(int point) {
  if (running_) return form_.messageBox(kStopFirst, kWarningCaption);
  if (!portOpen()) return form_.messageBox(kOpenPortFirst, {});
  serial_.write(calibrationReadRequest(point, direction()));
}

void CurrentCalibrationPage::onCalibratePoint(int point) {
  if (!running_ || !portOpen()) return form_.messageBox(kStartFirst, kWarningCaption);
  // An empty or garbled box must not go out as a 0 mA reference: the board would calibrate
  // the point against a current nobody drove through the pack.
  const auto reference =
      wholeNumberInRange(form_.text(CalibrationId::CurrentTest1 + point),
                         std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max());
  if (!reference) {
    return form_.messageBox("Please enter the reference current of Calibration Point " +
                                std::to_string(point + 1) + " in mA (a whole number).",
                            {});
  }
  serial_.write(calibrationPointRequest(point, direction(), static_cast<std::int32_t>(*reference)));
}

bool CurrentCalibrationPage::directionGate(const CalibrationResult& result) const {
  if (result.point >= kPointCount) return false;
  const std::uint8_t dir = result.direction;
  return (dir == 0 && form_.isChecked(CalibrationId::Discharge)) ||
         (dir == 1 && form_.isChecked(CalibrationId::Charge));
}

void CurrentCalibrationPage::onCalibrationResult(const CalibrationResult& result) {
  const bool gate = directionGate(result);
  const int point = result.point;
  if (gate) form_.setText(CalibrationId::Coefficient1 + point, coefficientText(result.coefficientRaw));
  const std::int32_t reference = result.referenceMa;
  if (result.readAnswer) {
    if (gate) form_.setText(CalibrationId::CurrentTest1 + point, std::to_string(reference));
    return showStatus(kReadSuccessful);
  }
  const PointCheck check = checkCalibrationPoint(reference, liveCurrent_);
  if (!check.withinTolerance) return;
  showStatus(kCalibrationFinish);
  // A point index the page does not have, or a zero reference (no divisor), leaves every
  // stored point error as it was.
  if (point >= kPointCount || !check.errorPerMille) return;
  pointErrors_[static_cast<std::size_t>(point)] = static_cast<float>(*check.errorPerMille);
}

void CurrentCalibrationPage::showErrorEvaluation() {
  form_.setText(CalibrationId::ErrorEvaluation, formatFixed(errorEvaluation(pointErrors_), 4));
}

void CurrentCalibrationPage::onClicked(CalibrationId id) {
  if (id == CalibrationId::StartStop) return onStartStop();
  if (id == CalibrationId::Discharge || id == CalibrationId::Charge) return selectDirection(id);
  if (id >= CalibrationId::Read1 && id < CalibrationId::Read1 + kPointCount)
    return onReadPoint(id - CalibrationId::Read1);
  if (id >= CalibrationId::CalibrationPoint1 && id < CalibrationId::CalibrationPoint1 + kPointCount)
    onCalibratePoint(id - CalibrationId::CalibrationPoint1);
}

void CurrentCalibrationPage::onTimer(int timerId) {
  if (timerId != kStatusTimer) return;
  if (statusShown_) {
    form_.setText(CalibrationId::Status, "");
    statusShown_ = false;
  }
  if (running_) showErrorEvaluation();
}

}  // namespace orlo
