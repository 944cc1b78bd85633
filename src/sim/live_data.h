#pragma once
// The values of one Live data frame and their encoding at the frame's fixed offsets.

#include <array>
#include <cstdint>

#include "sim/sim_frame.h"

namespace orlo::sim {

struct LiveData {
  std::array<std::uint16_t, 4> cellMv{};
  std::int16_t temperature1 = 0;
  std::int16_t temperature2 = 0;
  std::int32_t soc = 0;
  std::int32_t totalMv = 0;
  std::int32_t currentMa = 0;  // positive = discharge
  std::int32_t dischargeMah = 0;
  std::int32_t chargeMah = 0;
  std::uint16_t cycles = 0;
  std::int32_t busMv = 0;
  std::uint16_t remainingCentiAh = 0;
  std::uint16_t maxCellMv = 0;
  std::uint16_t meanCellMv = 0;
  std::uint16_t minCellMv = 0;
  std::uint8_t maxCellIndex = 0;  // zero-based
  std::uint8_t minCellIndex = 0;
  std::uint8_t mosStatus = 0;
  std::uint32_t alarmFlags = 0;
  std::uint16_t balanceFlags = 0;
  std::uint8_t systemMode = 0;
};

constexpr std::uint8_t kLiveDataCommand = 0x4D;
constexpr std::size_t kLiveDataLength = 83;

Bytes encodeLiveData(const LiveData& data);

// Fills the statistics (max, mean, min and their cells, total voltage) from the four cells.
void fillCellStatistics(LiveData& data);

}  // namespace orlo::sim
