#include "pages/balance_test_page.h"

#include <string>

#include "link/requests.h"
#include "util/decimal_text.h"
#include "view/balance_test_ids.h"

namespace orlo {
namespace {

using namespace balance_ids;

const char* const kEnterManual = "Enter Manual Balance";
const char* const kExitManual = "Exit Manual Balance";
const char* const kReadSuccessful = "Read successful!";
const char* const kOpenPortFirst = "请打开串口";
const char* const kDifferenceError = "均衡压差电压设置错误，请输入1~255之间的值";
const char* const kConditionErrorCaption = "均衡条件设置报错";

const char* const kThresholdName = "Threshold Voltage";
const char* const kReleaseName = "Release Voltage";

}  // namespace

BalanceTestPage::BalanceTestPage(Form& form, SerialControl& serial) : form_(form), serial_(serial) {}

void BalanceTestPage::startUp() {
  form_.startTimer(kStatusTimer, kStatusTimerPeriodMs);
  manualMode_ = false;
  for (BalanceId id : {BalanceId::ThresholdVoltage, BalanceId::ReleaseVoltage, BalanceId::VoltageDifference})
    form_.setText(id, "--");
  // The lamps show "not balancing" until the first live frame says otherwise.
  greyAllLamps();
}

bool BalanceTestPage::portOpen() const {
  return serial_.isOpen();
}

void BalanceTestPage::onBalanceRead() {
  if (portOpen()) serial_.write(balanceReadRequest());
}

// The two voltages are 16-bit on the wire: anything that is not a plain 0 ... 65535 would be
// truncated into a different, silently accepted balancing setting, so it is refused instead.
std::optional<std::uint16_t> BalanceTestPage::voltageField(BalanceId id, const char* name) {
  const auto value = wholeNumberInRange(form_.text(id), 0, 65535);
  if (!value) {
    form_.messageBox(std::string(name) + ": please enter a whole number from 0 to 65535 (mV).",
                     kConditionErrorCaption);
    return std::nullopt;
  }
  return static_cast<std::uint16_t>(*value);
}

void BalanceTestPage::onBalanceSet() {
  if (!portOpen()) return;
  const auto threshold = voltageField(BalanceId::ThresholdVoltage, kThresholdName);
  if (!threshold) return;
  // The difference is read leniently on purpose (leading digits count); only 1 ... 255, taken
  // as unsigned so that negatives fail too, is accepted.
  const auto difference = static_cast<unsigned>(decimalTextToInt(form_.text(BalanceId::VoltageDifference)));
  if (difference == 0 || difference > 255) {
    form_.messageBox(kDifferenceError, kConditionErrorCaption);
    return;
  }
  const auto release = voltageField(BalanceId::ReleaseVoltage, kReleaseName);
  if (!release) return;
  serial_.write(balanceSetRequest(*threshold, static_cast<std::uint8_t>(difference), *release));
}

void BalanceTestPage::onManualBalance() {
  if (!portOpen()) {
    // The caption is left alone on purpose: a later press with the port open then takes the
    // "Exit" path and switches the board's manual balancing off.
    form_.messageBox(kOpenPortFirst, {});
    manualMode_ = false;
    return;
  }
  const bool entering = form_.text(BalanceId::ManualToggle) == kEnterManual;
  form_.setText(BalanceId::ManualToggle, entering ? kExitManual : kEnterManual);
  manualMode_ = entering;
  greyAllLamps();
  if (!entering) serial_.write(manualBalanceOffRequest());
}

void BalanceTestPage::onManualCell(int cell) {
  if (cell < 1 || cell > kActiveCellButtons) return;
  if (portOpen() && manualMode_) serial_.write(manualBalanceRequest(cell));
}

void BalanceTestPage::showBalanceCondition(const BalanceCondition& condition) {
  form_.setText(BalanceId::ThresholdVoltage, std::to_string(condition.thresholdMv));
  form_.setText(BalanceId::VoltageDifference, std::to_string(condition.differenceMv));
  form_.setText(BalanceId::ReleaseVoltage, std::to_string(condition.releaseMv));
  readStatusShown_ = true;
  form_.setText(BalanceId::Status, kReadSuccessful);
}

void BalanceTestPage::updateBalanceLamps(std::uint16_t flags) {
  for (int n = 1; n <= kLampCount; ++n) {
    setBalanceLamp(static_cast<std::uint8_t>(n), static_cast<std::uint8_t>((flags >> (n - 1)) & 1U));
  }
}

void BalanceTestPage::setBalanceLamp(std::uint8_t n, std::uint8_t flag) {
  if (n < 1 || n > kLampCount) return;
  form_.setIcon(BalanceId::Lamp1 + n - 1, flag != 0 ? Icon::BalanceRed : Icon::Grey);
}

void BalanceTestPage::greyAllLamps() {
  for (int n = 1; n <= kLampCount; ++n) setBalanceLamp(static_cast<std::uint8_t>(n), 0);
}

void BalanceTestPage::onClicked(BalanceId id) {
  if (id == BalanceId::Read) return onBalanceRead();
  if (id == BalanceId::Set) return onBalanceSet();
  if (id == BalanceId::ManualToggle) return onManualBalance();
  if (id >= BalanceId::CellButton1 && id < BalanceId::CellButton1 + kCellButtonCount)
    onManualCell(id - BalanceId::CellButton1 + 1);
}

void BalanceTestPage::onTimer(int timerId) {
  if (timerId != kStatusTimer || !readStatusShown_) return;
  form_.setText(BalanceId::Status, "");
  readStatusShown_ = false;
}

}  // namespace orlo
