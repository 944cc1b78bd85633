#pragma once
// The 44 protection parameters in their one fixed order. This table alone decides where each
// value sits on the page, in the Read result and Set request, and in the parameter file.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "link/frame_view.h"
#include "link/requests.h"
#include "pages/decimal_text.h"  // Set reads the boxes with parseWholeNumber

namespace orlo {

enum class FieldSign { Unsigned, Signed };

// Which numbers Set lets through for a box.
enum class FieldLimit {
  Width,    // whatever fits the field: 0 ... 255, 0 ... 65535 or -32768 ... 32767
  Percent,  // 0 ... 100, with the SOC's own message
};

struct AlarmParameterRow {
  int row;            // 1 ... 44
  const char* group;  // group box caption on the page
  const char* label;  // label beside the box
  const char* unit;   // unit beside the box ("" for none)
  int boxId;
  int offset;  // frame byte of the value (the low byte of a 16-bit value)
  int width;   // 8 or 16 bits
  FieldSign sign;
  bool sent;  // false for the BMS's ID: read back only, never written
  FieldLimit limit;
  const char* fileLabel;  // first field of the file line, with its comma
  const char* fileUnit;   // third field of the file line ("" for none)
};

constexpr std::size_t kAlarmParameterCount = 44;

const std::array<AlarmParameterRow, kAlarmParameterCount>& alarmParameterRecord();

// The number a Read result carries for the row, as the box shows it ("%d").
std::string decodeAlarmField(const AlarmParameterRow& row, const FrameView& frame);

struct AcceptedRange {
  std::int64_t min;
  std::int64_t max;
};
AcceptedRange acceptedRange(const AlarmParameterRow& row);

// Stores an in-range value at the row's bytes of the Set request's data (frame bytes 7 ... 77).
void encodeAlarmField(const AlarmParameterRow& row, std::int64_t value, AlarmSetData* data);

}  // namespace orlo
