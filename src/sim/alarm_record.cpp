#include "sim/alarm_record.h"

namespace orlo::sim {

namespace {

constexpr std::size_t kReadResultLength = 82;

// Defaults in record order. Currents are mA, voltages mV, temperatures whole degrees,
// delays seconds, capacity Ah, SOC percent.
constexpr std::array<int, kAlarmRows> kDefaults = {
    30000, 5,  25000,  // charge over-current
    50000, 5,  40000,  // discharge over-current
    3650,  2,  3500,   // cell over-voltage
    2500,  2,  2900,   // cell under-voltage
    300,   5,  150,    // cell voltage difference
    10,    5,  5,      // temperature difference
    60,    5,  55,     // discharge over-temperature
    -20,   5,  -15,    // discharge under-temperature
    55,    5,  50,     // charge over-temperature
    -5,    5,  0,      // charge under-temperature
    14600, 2,  14000,  // bus over-voltage
    10000, 2,  11600,  // bus under-voltage
    50,    1,  12,     // nominal capacity, ID, cycles
    80,    10,         // SOC, SOC warning
    75,    5,  65,     // MOSFET over-temperature
};

}  // namespace

const std::array<AlarmField, kAlarmRows>& alarmFields() {
  static const std::array<AlarmField, kAlarmRows> fields = {{
      {1, 7, 16, false},   {2, 9, 8, false},    {3, 10, 16, false},  {4, 12, 16, false},  {5, 14, 8, false},
      {6, 15, 16, false},  {7, 17, 16, false},  {8, 19, 8, false},   {9, 20, 16, false},  {10, 22, 16, false},
      {11, 24, 8, false},  {12, 25, 16, false}, {13, 27, 16, false}, {14, 29, 8, false},  {15, 30, 16, false},
      {16, 32, 16, false}, {17, 34, 8, false},  {18, 35, 16, false}, {19, 37, 16, false}, {20, 39, 8, false},
      {21, 40, 16, false}, {22, 42, 16, true},  {23, 44, 8, false},  {24, 45, 16, true},  {25, 47, 16, false},
      {26, 49, 8, false},  {27, 50, 16, false}, {28, 52, 16, true},  {29, 54, 8, false},  {30, 55, 16, true},
      {31, 57, 16, true},  {32, 59, 8, false},  {33, 60, 16, true},  {34, 62, 16, true},  {35, 64, 8, false},
      {36, 65, 16, true},  {37, 69, 16, true},  {38, 4, 8, false},   {39, 71, 16, true},  {40, 68, 8, false},
      {41, 67, 8, false},  {42, 73, 16, false}, {43, 75, 8, false},  {44, 76, 16, false},
  }};
  return fields;
}

AlarmRecord::AlarmRecord() : values_(kDefaults) {}

Bytes AlarmRecord::readResult() const {
  FrameBuilder frame(0x47, kReadResultLength);
  frame.put8(6, 0xB1);
  for (const AlarmField& f : alarmFields()) {
    const auto raw = static_cast<std::uint32_t>(value(f.row));
    if (f.width == 8) {
      frame.put8(f.offset, raw);
    } else {
      frame.put16(f.offset, raw);
    }
  }
  return frame.finish();
}

void AlarmRecord::applySetRequest(const Bytes& request) {
  for (const AlarmField& f : alarmFields()) {
    if (f.row == kBoardId) continue;  // the set request carries no ID
    const std::uint32_t raw = f.width == 8 ? readU8(request, f.offset) : readU16(request, f.offset);
    const bool negative = f.isSigned && f.width == 16 && raw >= 0x8000;
    setValue(f.row, negative ? static_cast<int>(raw) - 0x10000 : static_cast<int>(raw));
  }
}

}  // namespace orlo::sim
