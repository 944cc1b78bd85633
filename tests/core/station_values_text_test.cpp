#include "core/station_values_text.h"

#include <gtest/gtest.h>

namespace orlo {
namespace {

using Json = nlohmann::json;

// Each step's values as the engine writes them, and the line the window shows for them: every
// figure with its unit and its own limits beside it, no JSON left over (a limit the step does
// not check, such as the final step's current, is shown as none rather than "null").
TEST(StationValuesText, EveryStepShowsItsFiguresWithUnitsAndTheirOwnLimits) {
  const Json rest = {
      {"cells_mv", {3301, 3302}},
      {"spread_mv", 1},
      {"temperatures_c", {25, 24}},
      {"current_a", 0.012},
      {"alarms", Json::array()},
      {"limits", {{"cell_mv", {3000, 3600}}, {"spread_mv", 50}, {"temp_c", {5, 45}}, {"current_a", 0.5}}}};
  Json final = rest;
  final["limits"]["current_a"] = nullptr;
  final["alarms"] = {"Cell OV"};
  const struct {
    StationStep step;
    Json values;
    std::string shown;
  } cases[] = {
      {StationStep::Rest, rest,
       "cells 3301, 3302 mV (limits 3000 … 3600 mV); spread 1 mV (limit 50 mV); temperatures 25, 24 °C "
       "(limits 5 … 45 °C); current 0.012 A (limit 0.5 A); no alarm"},
      {StationStep::Final, final,
       "cells 3301, 3302 mV (limits 3000 … 3600 mV); spread 1 mV (limit 50 mV); temperatures 25, 24 °C "
       "(limits 5 … 45 °C); current 0.012 A; alarms Cell OV"},
      {StationStep::Balance,
       {{"wait_s", 3.0},
        {"cells",
         {{{"cell", 1}, {"result", "pass"}, {"seen", "1"}},
          {{"cell", 2}, {"result", "fail"}, {"seen", "none"}}}},
        {"cells_passed", "1/2"},
        {"manual_balance_off", "sent"}},
       "cell 1 pass, cell 2 fail (balancing seen: none); 1/2 passed within 3 s; manual balance off sent"},
      {StationStep::Calibration,
       {{"points",
         {{{"direction", "discharge"},
           {"point", 1},
           {"reading_ma", 5000},
           {"measured_ma", 4990},
           {"deviation_ma", 10},
           {"tolerance_ma", 500},
           {"coefficient", 1.002}},
          {{"direction", "charge"},
           {"point", 1},
           {"reading_ma", 3000},
           {"problem", "no calibration result"}}}},
        {"max_error", 0.05},
        {"error_evaluation_discharge", 0.0123}},
       "discharge point 1: meter 5000 mA, board 4990 mA (off 10 mA, limit 500 mA), coefficient 1.002; "
       "charge point 1: meter 3000 mA, no calibration result; error evaluation discharge 0.0123 (limit "
       "0.05)"},
      {StationStep::Identify,
       {{"label", "W-1"}, {"board_id", 42}, {"passed_today", ""}},
       "board ID 42; label W-1"},
  };
  for (const auto& c : cases) {
    StepReport step;
    step.step = c.step;
    step.values = c.values;
    EXPECT_EQ(stepValuesText(step), c.shown) << stepName(c.step);
  }
}

}  // namespace
}  // namespace orlo
