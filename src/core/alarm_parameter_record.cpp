#include "core/alarm_parameter_record.h"

#include <algorithm>

namespace orlo {
namespace {

constexpr auto U = FieldSign::Unsigned;
constexpr auto S = FieldSign::Signed;
constexpr auto W = FieldLimit::Width;
constexpr auto P = FieldLimit::Percent;

constexpr const char* kChgOc = "CHG OC Protect(Range)";
constexpr const char* kDsgOc = "DSG OC Protect(Range)";
constexpr const char* kCellOv = "Cell OV Protect(Range)";
constexpr const char* kCellUv = "Cell UV Protect(Range)";
constexpr const char* kOvDiffer = "OV Differ Protect(Range)";
constexpr const char* kOtDiffer = "OT Differ Protect(Range)";
constexpr const char* kDsgOt = "DSG OT Protect(Range)";
constexpr const char* kDsgUt = "DSG UT Protect(Range)";
constexpr const char* kChgOt = "CHG OT Protect(Range)";
constexpr const char* kChgUt = "CHG UT Protect(Range)";
constexpr const char* kBusOv = "BUS OV Protect(Range)";
constexpr const char* kBusUv = "BUS UV Protect(Range)";
constexpr const char* kBattery = "Battery Information";
constexpr const char* kSocGroup = "SOC";
constexpr const char* kMosfetOt = "MOSFET OT Protect(Range)";
constexpr const char* kDeg = "℃";

// The frame's tail is not in record order: SOC warning at 67, SOC at 68, then capacity and
// cycles. The ID comes back in byte 4 of the Read result and is never sent.
const std::array<AlarmParameterRow, kAlarmParameterCount> kRecord = {{
    {1, kChgOc, "Value", "A", 7, 16, U, true, W, "Charge OC,", "mA"},
    {2, kChgOc, "Delay", "S", 9, 8, U, true, W, "Charge OC Delay,", "S"},
    {3, kChgOc, "Release", "A", 10, 16, U, true, W, "Charge OC Release,", "mA"},
    {4, kDsgOc, "Value", "A", 12, 16, U, true, W, "DisCharge OC,", "mA"},
    {5, kDsgOc, "Delay", "S", 14, 8, U, true, W, "DisCharge OC Delay,", "S"},
    {6, kDsgOc, "Release", "A", 15, 16, U, true, W, "DisCharge OC Release,", "mA"},
    {7, kCellOv, "Value", "mV", 17, 16, U, true, W, "Cell OV,", "mV"},
    {8, kCellOv, "Delay", "S", 19, 8, U, true, W, "Cell OV Delay,", "S"},
    {9, kCellOv, "Release", "mV", 20, 16, U, true, W, "Cell OV Release,", "mV"},
    {10, kCellUv, "Value", "mV", 22, 16, U, true, W, "Cell UV,", "mV"},
    {11, kCellUv, "Delay", "S", 24, 8, U, true, W, "Cell UV Delay,", "S"},
    {12, kCellUv, "Release", "mV", 25, 16, U, true, W, "Cell UV Release,", "mV"},
    {13, kOvDiffer, "Value(1~1000)", "mV", 27, 16, U, true, W, "Excessive Volt differ,", "mV"},
    {14, kOvDiffer, "Delay(1~60)", "S", 29, 8, U, true, W, "Excessive Volt differ Delay,", "S"},
    {15, kOvDiffer, "Release(1~1000)", "mV", 30, 16, U, true, W, "Excessive Volt differ Release,", "mV"},
    {16, kOtDiffer, "Value", kDeg, 32, 16, U, true, W, "Excessive Temper differ,", "C"},
    {17, kOtDiffer, "Delay(1~60)", "S", 34, 8, U, true, W, "Excessive Temper differ Delay,", "S"},
    {18, kOtDiffer, "Release", kDeg, 35, 16, U, true, W, "Excessive Temper differ Release,", "C"},
    {19, kDsgOt, "Value(10~80)", kDeg, 37, 16, U, true, W, "DisCharge OT,", "C"},
    {20, kDsgOt, "Delay(1~60)", "S", 39, 8, U, true, W, "DisCharge OT Delay,", "S"},
    {21, kDsgOt, "Release(10~80)", kDeg, 40, 16, U, true, W, "DisCharge OT Release,", "C"},
    {22, kDsgUt, "Value(-40~0)", kDeg, 42, 16, S, true, W, "DisCharge UT,", "C"},
    {23, kDsgUt, "Delay(1~60)", "S", 44, 8, U, true, W, "DisCharge UT Delay,", "S"},
    {24, kDsgUt, "Release(-40~0)", kDeg, 45, 16, S, true, W, "DisCharge UT Release,", "C"},
    {25, kChgOt, "Value(10~80)", kDeg, 47, 16, U, true, W, "Charge OT,", "C"},
    {26, kChgOt, "Delay(1~60)", "S", 49, 8, U, true, W, "Charge OT Delay,", "S"},
    {27, kChgOt, "Release(10~80)", kDeg, 50, 16, U, true, W, "Charge OT Release,", "C"},
    {28, kChgUt, "Value(-40~0)", kDeg, 52, 16, S, true, W, "Charge UT,", "C"},
    {29, kChgUt, "Delay(1~60)", "S", 54, 8, U, true, W, "Charge UT Delay,", "S"},
    {30, kChgUt, "Release(-40~0)", kDeg, 55, 16, S, true, W, "Charge UT Release,", "C"},
    {31, kBusOv, "Value(1~16000)", "mV", 57, 16, S, true, W, "Bus OV,", "mV"},
    {32, kBusOv, "Delay(1~60)", "S", 59, 8, U, true, W, "Bus OV Delay,", "S"},
    {33, kBusOv, "Release(1~16000)", "mV", 60, 16, S, true, W, "Bus OV Release,", "mV"},
    {34, kBusUv, "Value", "mV", 62, 16, S, true, W, "Bus UV,", "mV"},
    {35, kBusUv, "Delay", "S", 64, 8, U, true, W, "Bus UV Delay,", "S"},
    {36, kBusUv, "Release", "mV", 65, 16, S, true, W, "Bus UV Release,", "mV"},
    {37, kBattery, "Nominal Capacity(1~500)", "Ah", 69, 16, S, true, W, "Nominal Capacity,", "Ah"},
    {38, kBattery, "ID", "", 4, 8, U, false, W, "ID,", ""},
    {39, kBattery, "Cycles", "", 71, 16, S, true, W, "Circle,", ""},
    {40, kSocGroup, "SOC(0~100)", "%", 68, 8, U, true, P, "Soc,", ""},
    {41, kSocGroup, "SOC Warming(0~100)", "%", 67, 8, U, true, W, "Low Soc,", ""},
    {42, kMosfetOt, "Value(10~80)", kDeg, 73, 16, U, true, W, "Mosfet OT,", "C"},
    {43, kMosfetOt, "Delay(1~60)", "S", 75, 8, U, true, W, "Mosfet OT Delay,", "S"},
    {44, kMosfetOt, "Release(10~80)", kDeg, 76, 16, U, true, W, "Mosfet OT Release,", "C"},
}};

constexpr std::size_t kSetDataStart = 7;  // frame byte of AlarmSetData[0]

}  // namespace

const std::array<AlarmParameterRow, kAlarmParameterCount>& alarmParameterRecord() {
  return kRecord;
}

std::string pageFieldName(const AlarmParameterRow& row) {
  return std::string("\"") + row.label + "\" in \"" + row.group + "\"";
}

std::string fileFieldName(const AlarmParameterRow& row) {
  std::string name = row.fileLabel;
  if (!name.empty() && name.back() == ',') name.pop_back();
  return name;
}

std::string fullFieldName(const AlarmParameterRow& row) {
  return fileFieldName(row) + " (" + pageFieldName(row) + ")";
}

std::int32_t decodeAlarmValue(const AlarmParameterRow& row, const FrameView& frame) {
  const auto at = static_cast<std::size_t>(row.offset);
  if (row.width == 8) return frame.u8(at);
  if (row.sign == FieldSign::Signed) return frame.s16(at);
  return frame.u16(at);
}

std::string decodeAlarmField(const AlarmParameterRow& row, const FrameView& frame) {
  return std::to_string(decodeAlarmValue(row, frame));
}

AlarmValues decodeAlarmValues(const FrameView& frame) {
  AlarmValues values{};
  for (std::size_t i = 0; i < kRecord.size(); ++i) values[i] = decodeAlarmValue(kRecord[i], frame);
  return values;
}

std::size_t alarmReadResultLength() {
  constexpr std::size_t kChecksumAndTail = 4;
  std::size_t end = 0;
  for (const auto& row : kRecord) end = std::max(end, static_cast<std::size_t>(row.offset + row.width / 8));
  return end + kChecksumAndTail;
}

AcceptedRange acceptedRange(const AlarmParameterRow& row) {
  if (row.limit == FieldLimit::Percent) return {0, 100};
  if (row.width == 8) return {0, 255};
  if (row.sign == FieldSign::Signed) return {-32768, 32767};
  return {0, 65535};
}

std::optional<std::int64_t> acceptedValue(const AlarmParameterRow& row, const std::string& text) {
  const AcceptedRange range = acceptedRange(row);
  return wholeNumberInRange(text, range.min, range.max);
}

void encodeAlarmField(const AlarmParameterRow& row, std::int64_t value, AlarmSetData* data) {
  if (!row.sent) return;
  const auto at = static_cast<std::size_t>(row.offset) - kSetDataStart;
  const auto bits = static_cast<std::uint16_t>(value & 0xFFFF);
  (*data)[at] = static_cast<std::uint8_t>(bits & 0xFF);
  if (row.width == 16) (*data)[at + 1] = static_cast<std::uint8_t>(bits >> 8);
}

AlarmSetEncoding encodeAlarmSet(const std::vector<std::string>& texts) {
  AlarmSetEncoding out;
  if (texts.size() != kRecord.size()) {
    out.wrongCount = true;
    return out;
  }
  for (std::size_t i = 0; i < kRecord.size(); ++i) {
    const AlarmParameterRow& row = kRecord[i];
    if (!row.sent) continue;
    const auto value = acceptedValue(row, texts[i]);
    if (!value) {
      out.refused = &row;
      out.refusedText = texts[i];
      return out;
    }
    encodeAlarmField(row, *value, &out.data);
    out.values[i] = *value;
  }
  return out;
}

}  // namespace orlo
