#pragma once
// The station's checks of what a board reports: a board at rest within the recipe's limits,
// and what the balancing flags show while one cell is balanced by hand.

#include <nlohmann/json_fwd.hpp>
#include <string>

#include "core/station_recipe.h"
#include "link/answers.h"

namespace orlo {

// Checks one fresh live data frame against the limits; fills `values` with what was measured
// and the limits, and returns the problems found ("" when none), for the operator. The final
// check leaves the current out: a calibration may have left the pack carrying one.
std::string checkAtRest(const LiveData& live, const RestLimits& limits, bool checkCurrent,
                        nlohmann::json* values);

// The cells (1 ... 15) whose balancing flag is set, as "2, 3", or "none".
std::string balancingCells(std::uint16_t flags);

// Why a cell's test failed from the last flags seen: "cell 2 never showed balancing" or "cell 2
// showed cell 3 balancing instead".
std::string balanceProblem(int cell, std::uint16_t lastFlags);

// "Drive 5000 mA discharge through the pack, then type the meter's reading (mA)".
std::string calibrationPrompt(int direction, std::int32_t referenceMa);

}  // namespace orlo
