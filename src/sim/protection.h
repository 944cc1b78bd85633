#pragma once
// Raises the 18 alarm flags from the measurements and the protection parameters: a condition
// must hold for its delay before its flag rises, and the flag falls once the measurement is
// back past the release value.

#include <array>
#include <cstdint>

#include "sim/alarm_record.h"

namespace orlo::sim {

struct Measurements {
  int maxCellMv = 0;
  int minCellMv = 0;
  int maxTemp = 0;
  int minTemp = 0;
  int mosfetTemp = 0;
  int busMv = 0;
  int chargeMa = 0;     // magnitude while charging, else 0
  int dischargeMa = 0;  // magnitude while discharging, else 0
  int soc = 0;
};

// Alarm bits (bit n-1 = alarm lamp n).
enum AlarmBit : int {
  kBitCellOv = 0,
  kBitCellUv,
  kBitOvDiffer,
  kBitOtDiffer,
  kBitDsgOt,
  kBitDsgUt,
  kBitChgOt,
  kBitChgUt,
  kBitBusOv,
  kBitChgOc,
  kBitDsgOc,
  kBitSocLow,
  kBitBusUv,
  kBitShortCircuit,
  kBitLineBreak,
  kBitFetOt,
  kBitAfeConfig,
  kBitAfeReadWrite
};

class Protection {
 public:
  std::uint32_t update(const Measurements& m, const AlarmRecord& record, double seconds);
  std::uint32_t flags() const { return flags_; }
  bool dischargeAllowed() const;
  bool chargeAllowed() const;

 private:
  std::uint32_t flags_ = 0;
  std::array<double, 32> heldSeconds_{};
};

}  // namespace orlo::sim
