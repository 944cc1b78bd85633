#include "link/answers.h"

#include <iterator>

namespace orlo {
namespace {

// Live data frame.
constexpr std::size_t kCellAt = 10;         // four u16 from here
constexpr std::size_t kTemperatureAt = 18;  // two s16
constexpr std::size_t kSocAt = 22;
constexpr std::size_t kTotalAt = 26;
constexpr std::size_t kCurrentAt = 30;
constexpr std::size_t kDischargeAt = 34;
constexpr std::size_t kChargeAt = 38;
constexpr std::size_t kCyclesAt = 42;
constexpr std::size_t kBusAt = 44;
constexpr std::size_t kRemainingAt = 48;
constexpr std::size_t kMaxCellAt = 54;
constexpr std::size_t kMeanCellAt = 56;
constexpr std::size_t kMinCellAt = 58;
constexpr std::size_t kMaxIndexAt = 60;
constexpr std::size_t kMinIndexAt = 61;
constexpr std::size_t kMosAt = 70;
constexpr std::size_t kAlarmsAt = 71;
constexpr std::size_t kBalancingAt = 75;
constexpr std::size_t kModeAt = 78;

// Balance read answer.
constexpr std::size_t kBalanceSubAt = 6;
constexpr std::uint8_t kBalanceReadSub = 0x0E;
constexpr std::size_t kThresholdAt = 7;
constexpr std::size_t kDifferenceAt = 9;
constexpr std::size_t kReleaseAt = 10;

// Calibration result.
constexpr std::size_t kDirectionAt = 8;
constexpr std::size_t kPointAt = 9;
constexpr std::size_t kKindAt = 10;
constexpr std::size_t kCoefficientAt = 11;
constexpr std::size_t kReferenceAt = 15;
constexpr std::uint8_t kReadAnswerKind = 1;

constexpr std::string_view kModeTexts[] = {"IDLE_MODE", "DSG_MODE", "CHG_MODE"};

constexpr std::string_view kAlarmNames[kAlarmFlagCount] = {
    "Cell OV",     "Cell UV",       "OV Differ",       "OT Differ",   "DSG OTemper",     "DSG UTemper",
    "CHG OTemper", "CHG UTemper",   "BUS OV",          "CHG OC",      "DSG OC",          "SOC Low",
    "BUS UV",      "Short Circuit", "Lecu Line Break", "FET OTemper", "afe Config Fail", "afe R/W Error",
};

struct MosRow {
  std::uint8_t status;
  MosState state;
};
constexpr MosRow kMosRows[] = {
    {2, {false, false}},
    {3, {true, false}},
    {18, {false, true}},
    {19, {true, true}},
};

}  // namespace

LiveData decodeLiveData(const FrameView& f) {
  LiveData d;
  for (std::size_t i = 0; i < kCellCount; ++i) d.cellMv[i] = f.u16(kCellAt + 2 * i);
  for (std::size_t i = 0; i < kTemperatureCount; ++i) d.temperatureC[i] = f.s16(kTemperatureAt + 2 * i);
  d.socPercent = f.s32(kSocAt);
  d.totalMv = f.s32(kTotalAt);
  d.currentRaw = f.u32(kCurrentAt);
  d.dischargeMah = f.s32(kDischargeAt);
  d.chargeMah = f.s32(kChargeAt);
  d.cycleCount = f.u16(kCyclesAt);
  d.busMv = f.s32(kBusAt);
  d.remainingCentiAh = f.u16(kRemainingAt);
  d.maxCellMv = f.u16(kMaxCellAt);
  d.meanCellMv = f.u16(kMeanCellAt);
  d.minCellMv = f.u16(kMinCellAt);
  d.maxCellIndex = f.u8(kMaxIndexAt);
  d.minCellIndex = f.u8(kMinIndexAt);
  d.mosStatus = f.u8(kMosAt);
  d.alarmFlags = f.u32(kAlarmsAt);
  d.balanceFlags = f.u16(kBalancingAt);
  d.systemMode = f.u8(kModeAt);
  return d;
}

std::string_view systemModeText(std::uint8_t mode) {
  return mode < std::size(kModeTexts) ? kModeTexts[mode] : std::string_view{};
}

std::string_view alarmName(std::size_t n) {
  return n >= 1 && n <= kAlarmFlagCount ? kAlarmNames[n - 1] : std::string_view{};
}

std::optional<MosState> decodeMosStatus(std::uint8_t status) {
  for (const auto& row : kMosRows)
    if (row.status == status) return row.state;
  return std::nullopt;
}

std::optional<BalanceCondition> decodeBalanceCondition(const FrameView& f) {
  if (f.u8(kBalanceSubAt) != kBalanceReadSub) return std::nullopt;
  return BalanceCondition{f.u16(kThresholdAt), f.u8(kDifferenceAt), f.u16(kReleaseAt)};
}

CalibrationResult decodeCalibrationResult(const FrameView& f) {
  CalibrationResult r;
  r.direction = f.u8(kDirectionAt);
  r.point = f.u8(kPointAt);
  r.readAnswer = f.u8(kKindAt) == kReadAnswerKind;
  r.coefficientRaw = f.u32(kCoefficientAt);
  r.referenceMa = f.s32(kReferenceAt);
  return r;
}

}  // namespace orlo
