#include "link/answers.h"

#include <iterator>

#include "link/frame_bytes.h"
#include "link/requests.h"

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

namespace {

// Writes little-endian into the data bytes of a frame image (frame offset 7 is data[0]).
class DataImage {
 public:
  explicit DataImage(Bytes& data) : data_(data) {}
  void put(std::size_t at, std::uint32_t value, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i)
      data_.at(at - 7 + i) = static_cast<std::uint8_t>(value >> (8 * i));
  }

 private:
  Bytes& data_;
};

}  // namespace

Bytes encodeLiveData(const LiveData& d) {
  Bytes data(kModeAt + 1 - 7, 0);
  DataImage img(data);
  for (std::size_t i = 0; i < kCellCount; ++i) img.put(kCellAt + 2 * i, d.cellMv[i], 2);
  for (std::size_t i = 0; i < kTemperatureCount; ++i)
    img.put(kTemperatureAt + 2 * i, static_cast<std::uint16_t>(d.temperatureC[i]), 2);
  img.put(kSocAt, static_cast<std::uint32_t>(d.socPercent), 4);
  img.put(kTotalAt, static_cast<std::uint32_t>(d.totalMv), 4);
  img.put(kCurrentAt, d.currentRaw, 4);
  img.put(kDischargeAt, static_cast<std::uint32_t>(d.dischargeMah), 4);
  img.put(kChargeAt, static_cast<std::uint32_t>(d.chargeMah), 4);
  img.put(kCyclesAt, d.cycleCount, 2);
  img.put(kBusAt, static_cast<std::uint32_t>(d.busMv), 4);
  img.put(kRemainingAt, d.remainingCentiAh, 2);
  img.put(kMaxCellAt, d.maxCellMv, 2);
  img.put(kMeanCellAt, d.meanCellMv, 2);
  img.put(kMinCellAt, d.minCellMv, 2);
  img.put(kMaxIndexAt, d.maxCellIndex, 1);
  img.put(kMinIndexAt, d.minCellIndex, 1);
  img.put(kMosAt, d.mosStatus, 1);
  img.put(kAlarmsAt, d.alarmFlags, 4);
  img.put(kBalancingAt, d.balanceFlags, 2);
  img.put(kModeAt, d.systemMode, 1);
  return buildFrame(frame_bytes::kLiveData, 0, 0, data);
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
