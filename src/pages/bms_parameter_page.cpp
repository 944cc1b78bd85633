#include "pages/bms_parameter_page.h"

#include <iterator>
#include <string>

#include "pages/bms_parameter_ids.h"
#include "pages/text_format.h"

namespace orlo {
namespace {

using namespace bms_ids;

// Texts of the system mode byte; any other value leaves the field as it was.
constexpr const char* kSystemModeTexts[] = {"IDLE_MODE", "DSG_MODE", "CHG_MODE"};

struct U16Field {
  std::size_t offset;
  int id;
};

// Unsigned 16-bit fields shown as they come, in the order they are written.
constexpr U16Field kCellVoltages[] = {{10, kCellV1}, {12, kCellV2}, {14, kCellV3}, {16, kCellV4}};
constexpr U16Field kCellStatistics[] = {{56, kMeanCell}, {54, kMaxVolt}, {58, kMinVolt}};

}  // namespace

MBMSParameterDlg::MBMSParameterDlg(Form& form) : form_(form) {}

void MBMSParameterDlg::UpdateLiveData(const FrameView& frame) {
  for (const auto& f : kCellVoltages) form_.setText(f.id, std::to_string(frame.u16(f.offset)));
  form_.setText(kSoc, std::to_string(frame.s32(22)));

  // The BMS counts discharge current as positive; the page shows it the other way round. The
  // negation wraps like the 32-bit integer it is, so -2147483648 stays itself.
  const auto negated = static_cast<std::int32_t>(0u - frame.u32(30));
  form_.setText(kCurrent, formatFixed(static_cast<float>(negated) / 1000.0f, 6));

  stored_.voltageDifference =
      static_cast<std::int32_t>(frame.u16(54)) - static_cast<std::int32_t>(frame.u16(58));
  form_.setText(kVoltageDiff, std::to_string(stored_.voltageDifference));

  stored_.dischargeCapacity = static_cast<float>(frame.s32(34)) / 1000.0f;
  form_.setText(kDischargeCapacity, formatFixed(stored_.dischargeCapacity, 6));
  stored_.chargeCapacity = static_cast<float>(frame.s32(38)) / 1000.0f;
  form_.setText(kChargeCapacity, formatFixed(stored_.chargeCapacity, 6));

  stored_.cycleCount = frame.u16(42);
  form_.setText(kCycleIndex, std::to_string(stored_.cycleCount));

  const float t1 = static_cast<float>(frame.s16(18));
  const float t2 = static_cast<float>(frame.s16(20));
  form_.setText(kTempC1, formatFixed(t1, 1));
  form_.setText(kTempC2, formatFixed(t2, 1));
  form_.setText(kMeanTemp, formatFixed((t1 + t2) * 0.5f, 1));

  for (const auto& f : kCellStatistics) form_.setText(f.id, std::to_string(frame.u16(f.offset)));
  form_.setText(kTotalVolt, std::to_string(frame.s32(26)));

  stored_.remainingCapacity = static_cast<float>(frame.u16(48)) / 100.0f;
  form_.setText(kRemainCapacity, formatFixed(stored_.remainingCapacity, 2));

  form_.setText(kMaxCell, std::to_string(frame.u8(60) + 1));
  form_.setText(kMinCell, std::to_string(frame.u8(61) + 1));

  stored_.systemMode = frame.u8(78);
  if (stored_.systemMode < std::size(kSystemModeTexts))
    form_.setText(kSystemMode, kSystemModeTexts[stored_.systemMode]);

  stored_.alarmFlags = frame.u32(71);
  for (unsigned n = 1; n <= kAlarmLamps.size(); ++n)
    SetAlarmLamp(static_cast<std::uint8_t>(n),
                 static_cast<std::uint8_t>((stored_.alarmFlags >> (n - 1)) & 1u));
}

void MBMSParameterDlg::ClearValues() {
  for (int id : kValueFields) {
    form_.setText(id, "0");
    form_.setEnabled(id, false);
  }
}

void MBMSParameterDlg::ResetAlarmLamps() {
  for (int id : kAlarmLamps) form_.setIcon(id, Icon::Red);
}

void MBMSParameterDlg::SetAlarmLamp(std::uint8_t n, std::uint8_t flag) {
  if (n < 1 || n > kAlarmLamps.size()) return;
  form_.setIcon(kAlarmLamps[n - 1u], flag != 0 ? Icon::Red : Icon::Green);
}

}  // namespace orlo
