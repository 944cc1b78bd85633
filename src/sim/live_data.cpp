#include "sim/live_data.h"

namespace orlo::sim {

Bytes encodeLiveData(const LiveData& d) {
  FrameBuilder f(kLiveDataCommand, kLiveDataLength);
  for (std::size_t i = 0; i < d.cellMv.size(); ++i) f.put16(10 + 2 * i, d.cellMv[i]);
  f.put16(18, static_cast<std::uint16_t>(d.temperature1));
  f.put16(20, static_cast<std::uint16_t>(d.temperature2));
  f.put32(22, static_cast<std::uint32_t>(d.soc));
  f.put32(26, static_cast<std::uint32_t>(d.totalMv));
  f.put32(30, static_cast<std::uint32_t>(d.currentMa));
  f.put32(34, static_cast<std::uint32_t>(d.dischargeMah));
  f.put32(38, static_cast<std::uint32_t>(d.chargeMah));
  f.put16(42, d.cycles);
  f.put32(44, static_cast<std::uint32_t>(d.busMv));
  f.put16(48, d.remainingCentiAh);
  f.put16(54, d.maxCellMv);
  f.put16(56, d.meanCellMv);
  f.put16(58, d.minCellMv);
  f.put8(60, d.maxCellIndex);
  f.put8(61, d.minCellIndex);
  f.put8(70, d.mosStatus);
  f.put32(71, d.alarmFlags);
  f.put16(75, d.balanceFlags);
  f.put8(78, d.systemMode);
  return f.finish();
}

void fillCellStatistics(LiveData& d) {
  std::uint32_t sum = 0;
  std::uint8_t hi = 0;
  std::uint8_t lo = 0;
  for (std::uint8_t i = 0; i < d.cellMv.size(); ++i) {
    sum += d.cellMv[i];
    if (d.cellMv[i] > d.cellMv[hi]) hi = i;
    if (d.cellMv[i] < d.cellMv[lo]) lo = i;
  }
  d.maxCellIndex = hi;
  d.minCellIndex = lo;
  d.maxCellMv = d.cellMv[hi];
  d.minCellMv = d.cellMv[lo];
  d.meanCellMv = static_cast<std::uint16_t>(sum / d.cellMv.size());
  d.totalMv = static_cast<std::int32_t>(sum);
}

}  // namespace orlo::sim
