#pragma once
// The 44 protection parameters in their one fixed order, keyed by row (1 ... 44). This table
// alone decides where each value sits in the Read result and Set request and in the parameter
// file; the alarm page keeps its own table of boxes by row.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/frame_view.h"
#include "link/requests.h"
#include "util/decimal_text.h"  // Set reads the texts with wholeNumberInRange

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
  int offset;         // frame byte of the value (the low byte of a 16-bit value)
  int width;          // 8 or 16 bits
  FieldSign sign;
  bool sent;  // false for the BMS's ID: read back only, never written
  FieldLimit limit;
  const char* fileLabel;  // first field of the file line, with its comma
  const char* fileUnit;   // third field of the file line ("" for none)
};

constexpr std::size_t kAlarmParameterCount = 44;
constexpr std::size_t kBoardIdRow = 37;  // "ID": the board's ID, read back only

const std::array<AlarmParameterRow, kAlarmParameterCount>& alarmParameterRecord();

// How a person finds the row: as the page shows it ("Value" in "CHG OC Protect(Range)"), as
// the parameter file names it (Charge OC), or both: Charge OC ("Value" in "CHG OC Protect(Range)").
std::string pageFieldName(const AlarmParameterRow& row);
std::string fileFieldName(const AlarmParameterRow& row);
std::string fullFieldName(const AlarmParameterRow& row);

// The number a Read result carries for the row, and as the box shows it ("%d").
std::int32_t decodeAlarmValue(const AlarmParameterRow& row, const FrameView& frame);
std::string decodeAlarmField(const AlarmParameterRow& row, const FrameView& frame);

// Bytes of a whole Read result: the record's last value byte, then checksum and tail. A shorter
// answer lost values on the way, and its missing fields would read as 0.
std::size_t alarmReadResultLength();

struct AcceptedRange {
  std::int64_t min;
  std::int64_t max;
};
AcceptedRange acceptedRange(const AlarmParameterRow& row);
// The text's number when it is one whole number inside the row's accepted range.
std::optional<std::int64_t> acceptedValue(const AlarmParameterRow& row, const std::string& text);

// Stores an in-range value at the row's bytes of the Set request's data (frame bytes 7 ... 77).
void encodeAlarmField(const AlarmParameterRow& row, std::int64_t value, AlarmSetData* data);

// The 44 values as numbers, in record order.
using AlarmValues = std::array<std::int64_t, kAlarmParameterCount>;
// Every value of a Read result; a short one reads 0 past its end (see alarmReadResultLength).
AlarmValues decodeAlarmValues(const FrameView& frame);

// The Set request's data for 44 texts in record order, as the page's Set and the parameter
// workflow both send it. Every text but the ID's must hold one whole number inside its field's
// accepted range; the first that does not stops the encoding, and nothing is to be sent.
struct AlarmSetEncoding {
  bool wrongCount = false;                     // not 44 texts
  const AlarmParameterRow* refused = nullptr;  // first row whose text was refused
  std::string refusedText;
  AlarmSetData data{};
  AlarmValues values{};  // the numbers encoded (the ID's stays 0)

  bool ok() const { return !wrongCount && refused == nullptr; }
};
AlarmSetEncoding encodeAlarmSet(const std::vector<std::string>& texts);

}  // namespace orlo
