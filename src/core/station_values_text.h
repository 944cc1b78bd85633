#pragma once
// A step's measured values as a person reads them, units and limits beside the values:
//   cells 3301, 3302, 3300, 3301 mV (limits 3000 … 3600 mV); spread 12 mV (limit 50 mV); ...
// for the station window's steps table. The report file keeps the values as JSON.

#include <string>

#include "core/station_report.h"

namespace orlo {

std::string stepValuesText(const StepReport& step);

}  // namespace orlo
