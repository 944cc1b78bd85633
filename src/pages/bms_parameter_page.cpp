#include "pages/bms_parameter_page.h"

#include <string>

#include "util/text_format.h"
#include "view/bms_parameter_ids.h"

namespace orlo {
namespace {

using namespace bms_ids;

struct CellField {
  std::uint16_t LiveData::*value;
  BmsId id;
};
// Cell statistics shown as they come, in the order they are written.
constexpr CellField kCellStatistics[] = {{&LiveData::meanCellMv, BmsId::MeanCell},
                                         {&LiveData::maxCellMv, BmsId::MaxVolt},
                                         {&LiveData::minCellMv, BmsId::MinVolt}};

}  // namespace

BmsParameterPage::BmsParameterPage(Form& form) : form_(form) {}

void BmsParameterPage::updateLiveData(const LiveData& live) {
  for (std::size_t i = 0; i < kCellCount; ++i)
    form_.setText(BmsId::CellV1 + static_cast<int>(i), std::to_string(live.cellMv[i]));
  form_.setText(BmsId::Soc, std::to_string(live.socPercent));

  // The BMS counts discharge current as positive; the page shows it the other way round. The
  // negation wraps like the 32-bit integer it is, so -2147483648 stays itself.
  const auto negated = static_cast<std::int32_t>(0u - live.currentRaw);
  form_.setText(BmsId::Current, formatFixed(static_cast<float>(negated) / 1000.0f, 6));

  const std::int32_t difference =
      static_cast<std::int32_t>(live.maxCellMv) - static_cast<std::int32_t>(live.minCellMv);
  form_.setText(BmsId::VoltageDiff, std::to_string(difference));

  form_.setText(BmsId::DischargeCapacity, formatFixed(static_cast<float>(live.dischargeMah) / 1000.0f, 6));
  form_.setText(BmsId::ChargeCapacity, formatFixed(static_cast<float>(live.chargeMah) / 1000.0f, 6));
  form_.setText(BmsId::CycleIndex, std::to_string(live.cycleCount));

  const float t1 = static_cast<float>(live.temperatureC[0]);
  const float t2 = static_cast<float>(live.temperatureC[1]);
  form_.setText(BmsId::TempC1, formatFixed(t1, 1));
  form_.setText(BmsId::TempC2, formatFixed(t2, 1));
  form_.setText(BmsId::MeanTemp, formatFixed((t1 + t2) * 0.5f, 1));

  for (const auto& f : kCellStatistics) form_.setText(f.id, std::to_string(live.*f.value));
  form_.setText(BmsId::TotalVolt, std::to_string(live.totalMv));

  form_.setText(BmsId::RemainCapacity, formatFixed(static_cast<float>(live.remainingCentiAh) / 100.0f, 2));

  form_.setText(BmsId::MaxCell, std::to_string(live.maxCellIndex + 1));
  form_.setText(BmsId::MinCell, std::to_string(live.minCellIndex + 1));

  const std::string_view mode = systemModeText(live.systemMode);
  if (!mode.empty()) form_.setText(BmsId::SystemMode, std::string(mode));

  for (unsigned n = 1; n <= kAlarmLamps.size(); ++n)
    setAlarmLamp(static_cast<std::uint8_t>(n), live.alarm(n) ? 1 : 0);
}

void BmsParameterPage::clearValues() {
  for (BmsId id : kValueFields) {
    form_.setText(id, "0");
    form_.setEnabled(id, false);
  }
}

void BmsParameterPage::resetAlarmLamps() {
  for (BmsId id : kAlarmLamps) form_.setIcon(id, Icon::Red);
}

void BmsParameterPage::setAlarmLamp(std::uint8_t n, std::uint8_t flag) {
  if (n < 1 || n > kAlarmLamps.size()) return;
  form_.setIcon(kAlarmLamps[n - 1u], flag != 0 ? Icon::Red : Icon::Green);
}

}  // namespace orlo
