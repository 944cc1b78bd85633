#include "core/log_values.h"

namespace orlo {

void takeHeaderValues(const LiveData& live, LogValues* values) {
  for (std::size_t i = 0; i < kCellCount; ++i) values->cellVoltage[i] = live.cellMv[i];
  values->temperature1 = static_cast<float>(live.temperatureC[0]);
  values->temperature2 = static_cast<float>(live.temperatureC[1]);
  values->balanceFlags = live.balanceFlags;
  values->current = live.currentA();
  values->socLowByte = static_cast<std::uint8_t>(live.socPercent & 0xFF);
  values->mosStatus = live.mosStatus;
}

void takeStatusValues(const LiveData& live, LogValues* values) {
  values->voltageDifference =
      static_cast<std::int32_t>(live.maxCellMv) - static_cast<std::int32_t>(live.minCellMv);
  values->cycleCount = live.cycleCount;
  values->dischargeCapacity = static_cast<float>(live.dischargeMah) / 1000.0f;
  values->chargeCapacity = static_cast<float>(live.chargeMah) / 1000.0f;
  values->remainingCapacity = static_cast<float>(live.remainingCentiAh) / 100.0f;
  values->alarmFlags = live.alarmFlags;
  values->systemMode = live.systemMode;
}

LogValues logValuesOf(const LiveData& live) {
  LogValues values;
  takeHeaderValues(live, &values);
  takeStatusValues(live, &values);
  return values;
}

}  // namespace orlo
