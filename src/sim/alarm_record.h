#pragma once
// The board's 44 protection parameters, in the record order the host uses, with the frame
// position of each value in the read result and the set request.

#include <array>
#include <cstdint>

#include "sim/sim_frame.h"

namespace orlo::sim {

constexpr int kAlarmRows = 44;

// Row numbers (1-based, record order) of the values the board itself acts on.
enum AlarmRow : int {
  kChgOcValue = 1,
  kChgOcDelay,
  kChgOcRelease,
  kDsgOcValue,
  kDsgOcDelay,
  kDsgOcRelease,
  kCellOvValue,
  kCellOvDelay,
  kCellOvRelease,
  kCellUvValue,
  kCellUvDelay,
  kCellUvRelease,
  kOvDifferValue,
  kOvDifferDelay,
  kOvDifferRelease,
  kOtDifferValue,
  kOtDifferDelay,
  kOtDifferRelease,
  kDsgOtValue,
  kDsgOtDelay,
  kDsgOtRelease,
  kDsgUtValue,
  kDsgUtDelay,
  kDsgUtRelease,
  kChgOtValue,
  kChgOtDelay,
  kChgOtRelease,
  kChgUtValue,
  kChgUtDelay,
  kChgUtRelease,
  kBusOvValue,
  kBusOvDelay,
  kBusOvRelease,
  kBusUvValue,
  kBusUvDelay,
  kBusUvRelease,
  kNominalCapacity,
  kBoardId,
  kCycles,
  kSoc,
  kSocWarning,
  kMosOtValue,
  kMosOtDelay,
  kMosOtRelease
};

struct AlarmField {
  int row;
  std::uint8_t offset;  // frame byte of the low byte
  std::uint8_t width;   // 8 or 16 bits
  bool isSigned;
};

const std::array<AlarmField, kAlarmRows>& alarmFields();

class AlarmRecord {
 public:
  AlarmRecord();  // defaults for a 4-cell LiFePO4 pack
  int value(int row) const { return values_[static_cast<std::size_t>(row - 1)]; }
  void setValue(int row, int v) { values_[static_cast<std::size_t>(row - 1)] = v; }

  // The read result (command 0x47, sub-command 0xB1 echoed), ID in byte 4.
  Bytes readResult() const;
  // Takes every value but the ID from an 82-byte set request.
  void applySetRequest(const Bytes& request);

 private:
  std::array<int, kAlarmRows> values_{};
};

}  // namespace orlo::sim
