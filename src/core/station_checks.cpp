#include "core/station_checks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "util/text_format.h"

namespace orlo {

namespace {

std::vector<std::string> setAlarms(std::uint32_t flags) {
  std::vector<std::string> names;
  for (std::size_t n = 1; n <= kAlarmFlagCount; ++n) {
    if ((flags >> (n - 1)) & 1u) names.emplace_back(alarmName(n));
  }
  return names;
}

}  // namespace

std::string checkAtRest(const LiveData& live, const RestLimits& limits, bool checkCurrent,
                        nlohmann::json* values) {
  std::vector<std::string> problems;
  const auto [low, high] = std::minmax_element(live.cellMv.begin(), live.cellMv.end());
  const int spread = *high - *low;
  for (std::size_t i = 0; i < live.cellMv.size(); ++i) {
    const int mv = live.cellMv[i];
    if (mv < limits.cellMinMv || mv > limits.cellMaxMv)
      problems.push_back("cell " + std::to_string(i + 1) + " at " + std::to_string(mv) + " mV is outside " +
                         std::to_string(limits.cellMinMv) + " ... " + std::to_string(limits.cellMaxMv) +
                         " mV");
  }
  if (spread > limits.spreadMv)
    problems.push_back("cell spread " + std::to_string(spread) + " mV is above " +
                       std::to_string(limits.spreadMv) + " mV");
  for (std::size_t i = 0; i < live.temperatureC.size(); ++i) {
    const int t = live.temperatureC[i];
    if (t < limits.tempMinC || t > limits.tempMaxC)
      problems.push_back("temperature " + std::to_string(i + 1) + " at " + std::to_string(t) +
                         " °C is outside " + std::to_string(limits.tempMinC) + " ... " +
                         std::to_string(limits.tempMaxC) + " °C");
  }
  const double amperes = std::fabs(static_cast<double>(live.currentMa())) / 1000.0;
  if (checkCurrent && amperes > limits.currentA) {
    char text[96];
    std::snprintf(text, sizeof text, "current %.3f A is above %.3f A", amperes, limits.currentA);
    problems.emplace_back(text);
  }
  const std::vector<std::string> alarms = setAlarms(live.alarmFlags & limits.alarmMask);
  if (!alarms.empty()) problems.push_back("alarm set: " + joinNonEmpty(alarms, "; "));

  const auto [tLow, tHigh] = std::minmax_element(live.temperatureC.begin(), live.temperatureC.end());
  *values = {{"cells_mv", live.cellMv},
             {"cell_min_mv", *low},
             {"cell_max_mv", *high},
             {"spread_mv", spread},
             {"temperatures_c", live.temperatureC},
             {"temp_min_c", *tLow},
             {"temp_max_c", *tHigh},
             {"current_a", std::round(amperes * 1000) / 1000},
             {"alarms", setAlarms(live.alarmFlags)},
             {"limits",
              {{"cell_mv", {limits.cellMinMv, limits.cellMaxMv}},
               {"spread_mv", limits.spreadMv},
               {"temp_c", {limits.tempMinC, limits.tempMaxC}},
               {"current_a", checkCurrent ? nlohmann::json(limits.currentA) : nlohmann::json()},
               {"alarms_clear", setAlarms(limits.alarmMask)}}}};
  return joinNonEmpty(problems, "; ");
}

std::string balancingCells(std::uint16_t flags) {
  std::string out;
  for (std::size_t cell = 1; cell <= kBalanceFlagCount; ++cell) {
    if ((flags >> (cell - 1)) & 1u) out += (out.empty() ? "" : ", ") + std::to_string(cell);
  }
  return out.empty() ? "none" : out;
}

std::string balanceProblem(int cell, std::uint16_t lastFlags) {
  const auto others = static_cast<std::uint16_t>(lastFlags & ~(1u << (cell - 1)) & 0x7FFF);
  if (others == 0) return "cell " + std::to_string(cell) + " never showed balancing";
  return "cell " + std::to_string(cell) + " showed cell " + balancingCells(others) + " balancing instead";
}

std::string calibrationPrompt(int direction, std::int32_t referenceMa) {
  return "Drive " + std::to_string(referenceMa) + " mA " + (direction == 0 ? "discharge" : "charge") +
         " through the pack, then type the meter's reading (mA)";
}

}  // namespace orlo
