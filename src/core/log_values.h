#pragma once
// What one row of the telemetry log is built from, and the one mapping from a live data frame to
// it. The window fills the header's part from every frame it shows in the header and the rest
// from live data frames only; the monitor takes both from each live data frame.

#include <cstdint>

#include "link/answers.h"

namespace orlo {

struct LogValues {
  std::uint8_t mosStatus = 0;
  std::uint16_t cellVoltage[4] = {0, 0, 0, 0};
  std::uint8_t socLowByte = 0;
  std::uint16_t balanceFlags = 0;
  float temperature1 = 0;
  float temperature2 = 0;
  float current = 0;  // A, as the header shows it
  std::int32_t voltageDifference = 0;
  std::uint16_t cycleCount = 0;
  float dischargeCapacity = 0;
  float chargeCapacity = 0;
  float remainingCapacity = 0;
  std::uint32_t alarmFlags = 0;
  std::uint8_t systemMode = 0;
};

// Cells, temperatures, balance flags, current, SOC and MOS status: the window's header values.
void takeHeaderValues(const LiveData& live, LogValues* values);
// Cell difference, cycles, capacities, alarm flags and system mode.
void takeStatusValues(const LiveData& live, LogValues* values);
// Both parts from one frame.
LogValues logValuesOf(const LiveData& live);

}  // namespace orlo
