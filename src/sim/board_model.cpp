#include "sim/board_model.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace orlo::sim {

namespace {

constexpr std::int64_t kStepMs = 100;
// How long the current stays at a calibration reference after the point request.
constexpr std::int64_t kFollowMs = 60000;
constexpr double kMaxFollowMa = 200000;
// The board's uncalibrated current sensor reads this much of the true current, per direction.
constexpr std::array<double, 2> kSensorGain = {0.985, 1.012};
constexpr double kBusResistanceMilliOhm = 10;
constexpr int kModeThresholdMa = 500;
constexpr std::uint8_t kModeIdle = 0;
constexpr std::uint8_t kModeDischarge = 1;
constexpr std::uint8_t kModeCharge = 2;

struct RequestKind {
  std::uint8_t command;
  int selector;  // byte [6], or -1 for any
  std::size_t length;
  std::vector<Bytes> (BoardModel::*handler)(const Bytes&);
};

const RequestKind kRequests[] = {
    {0x06, 0x01, 12, &BoardModel::onPoll},      {0x07, -1, 16, &BoardModel::onCalibration},
    {0x0C, 0xB0, 18, &BoardModel::onAlarmRead}, {0x47, 0xB1, 82, &BoardModel::onAlarmSet},
    {0x18, 0x0D, 18, &BoardModel::onBalance},   {0x18, 0x0E, 18, &BoardModel::onBalance},
    {0x18, 0x0F, 18, &BoardModel::onBalance},
};

// 2 with bit 0 for the discharge FET and bit 4 for the charge FET: while current flows one
// way, the FET of the other way is off; at rest both are on unless a protection holds one off.
std::uint8_t mosStatus(std::uint8_t mode, bool dischargeAllowed, bool chargeAllowed) {
  const bool dischargeOn = dischargeAllowed && mode != kModeCharge;
  const bool chargeOn = chargeAllowed && mode != kModeDischarge;
  return static_cast<std::uint8_t>(2 | (dischargeOn ? 0x01 : 0) | (chargeOn ? 0x10 : 0));
}

}  // namespace

BoardModel::BoardModel(std::uint32_t seed) : pack_(seed) {
  pack_.setSoc(record_.value(kSoc), nominalAh());
  pack_.setCycles(record_.value(kCycles));
  constexpr std::array<std::int32_t, 4> kFactoryReferences = {2000, 5000, 10000, 20000};
  for (auto& direction : calibration_) {
    for (std::size_t p = 0; p < direction.size(); ++p) direction[p].referenceMa = kFactoryReferences[p];
  }
  stepPack(0.1);
}

const CalibrationPoint& BoardModel::calibration(int direction, int point) const {
  return calibration_[static_cast<std::size_t>(direction & 1)][static_cast<std::size_t>(point & 3)];
}

void BoardModel::advanceTo(std::int64_t nowMs) {
  while (nowMs_ < nowMs) {
    const std::int64_t step = std::min(kStepMs, nowMs - nowMs_);
    nowMs_ += step;
    stepPack(static_cast<double>(step) / 1000.0);
  }
}

PackControls BoardModel::controls() const {
  PackControls c;
  c.nominalAh = nominalAh();
  c.dischargeAllowed = protection_.dischargeAllowed();
  c.chargeAllowed = protection_.chargeAllowed();
  c.bleedMask = balanceFlags_;
  c.forceCurrent = nowMs_ < followUntilMs_ || atRest_;
  c.forcedMa = nowMs_ < followUntilMs_ ? followMa_ : 0;
  return c;
}

void BoardModel::stepPack(double seconds) {
  pack_.step(seconds, controls());
  record_.setValue(kCycles, pack_.cycles());
  record_.setValue(kSoc, pack_.soc(nominalAh()));
  balanceFlags_ = manualOn_ ? manualMask_ : autoBalanceFlags(pack_.cellMv(nominalAh()));
  protection_.update(measurements(), record_, seconds);
}

// A cell bleeds while the pack is near full and it stands out from the lowest cell; once
// started it keeps going down to the release voltage.
std::uint16_t BoardModel::autoBalanceFlags(const std::array<int, kCells>& cells) {
  const int lowest = *std::min_element(cells.begin(), cells.end());
  std::uint16_t flags = 0;
  for (int i = 0; i < kCells; ++i) {
    const int v = cells[static_cast<std::size_t>(i)];
    const bool wasOn = balanceFlags_ & (1u << i);
    const bool high = v >= balance_.thresholdMv || (wasOn && v >= balance_.releaseMv);
    if (high && v - lowest >= balance_.differenceMv) flags |= static_cast<std::uint16_t>(1u << i);
  }
  return flags;
}

Measurements BoardModel::measurements() const {
  const LiveData d = liveData();
  Measurements m;
  m.maxCellMv = d.maxCellMv;
  m.minCellMv = d.minCellMv;
  m.maxTemp = std::max(d.temperature1, d.temperature2);
  m.minTemp = std::min(d.temperature1, d.temperature2);
  m.mosfetTemp = pack_.mosfetTemperature();
  m.busMv = d.busMv;
  m.dischargeMa = std::max(d.currentMa, 0);
  m.chargeMa = std::max(-d.currentMa, 0);
  m.soc = d.soc;
  return m;
}

LiveData BoardModel::liveData() const {
  LiveData d;
  const auto cells = pack_.cellMv(nominalAh());
  for (std::size_t i = 0; i < cells.size(); ++i)
    d.cellMv[i] = static_cast<std::uint16_t>(std::max(cells[i], 0));
  fillCellStatistics(d);
  d.temperature1 = static_cast<std::int16_t>(pack_.temperature1());
  d.temperature2 = static_cast<std::int16_t>(pack_.temperature2());
  d.soc = pack_.soc(nominalAh());
  const FailureMode* off = failures_.find(Failure::CurrentOff, 0x06);
  const double gain = off != nullptr ? 1.0 + off->value / 100.0 : 1.0;
  d.currentMa = static_cast<std::int32_t>(std::lround(pack_.currentMa() * gain));
  d.dischargeMah = pack_.dischargeMah();
  d.chargeMah = pack_.chargeMah();
  d.cycles = static_cast<std::uint16_t>(pack_.cycles());
  d.busMv = d.totalMv - static_cast<std::int32_t>(std::lround(d.currentMa * kBusResistanceMilliOhm / 1000.0));
  d.remainingCentiAh = static_cast<std::uint16_t>(std::clamp(pack_.remainingCentiAh(), 0, 65535));
  d.systemMode = d.currentMa > kModeThresholdMa    ? kModeDischarge
                 : d.currentMa < -kModeThresholdMa ? kModeCharge
                                                   : kModeIdle;
  d.mosStatus = mosStatus(d.systemMode, protection_.dischargeAllowed(), protection_.chargeAllowed());
  d.alarmFlags = protection_.flags();
  d.balanceFlags = balanceFlags_;
  return d;
}

namespace {

const RequestKind* findRequestKind(const Bytes& request) {
  if (!hasValidChecksum(request)) return nullptr;
  for (const RequestKind& kind : kRequests) {
    if (request[2] != kind.command || request.size() != kind.length) continue;
    if (kind.selector >= 0 && request[6] != kind.selector) continue;
    return &kind;
  }
  return nullptr;
}

}  // namespace

bool BoardModel::understands(const Bytes& request) const {
  return findRequestKind(request) != nullptr;
}

std::vector<Bytes> BoardModel::handle(const Bytes& request, std::int64_t nowMs) {
  const RequestKind* kind = findRequestKind(request);
  if (kind == nullptr) return {};
  advanceTo(nowMs);
  std::vector<Bytes> answers = (this->*kind->handler)(request);
  if (failures_.has(Failure::NoAnswer, kind->command)) answers.clear();
  return answers;
}

int BoardModel::answerDelayMs(const Bytes& request) const {
  return request.size() > 2 ? failures_.delayMs(request[2]) : 0;
}

std::vector<Bytes> BoardModel::onPoll(const Bytes&) {
  return {liveDataFrame()};
}

std::vector<Bytes> BoardModel::onAlarmRead(const Bytes&) {
  const Bytes whole = record_.readResult();
  const FailureMode* cut = failures_.find(Failure::ShortAlarmAnswer, 0x0C);
  if (cut == nullptr) return {whole};
  // A whole frame, checksum and tail included, that simply carries fewer rows.
  const auto length = static_cast<std::size_t>(cut->value);
  FrameBuilder shorter(0x47, length);
  for (std::size_t i = 3; i + 4 < length; ++i) shorter.put8(i, whole[i]);
  return {shorter.finish()};
}

std::vector<Bytes> BoardModel::onAlarmSet(const Bytes& request) {
  const Bytes ack = FrameBuilder(0x48, 12).put8(6, 0xB1).finish();
  if (failures_.has(Failure::SetNotApplied, 0x47)) return {ack};
  const int socBefore = record_.value(kSoc);
  record_.applySetRequest(request);
  if (const FailureMode* skew = failures_.find(Failure::SetOffByOne, 0x47))
    record_.setValue(skew->value, record_.value(skew->value) + 1);
  pack_.setCycles(std::clamp(record_.value(kCycles), 0, 65535));
  // Writing the SOC re-bases the coulomb counter; echoing back the value just read leaves it.
  if (record_.value(kSoc) != socBefore) pack_.setSoc(record_.value(kSoc), nominalAh());
  return {ack};
}

std::vector<Bytes> BoardModel::onBalance(const Bytes& request) {
  switch (request[6]) {
    case 0x0E: {
      const FailureMode* other = failures_.find(Failure::BalanceOtherSub, 0x18);
      return {FrameBuilder(0x18, 16)
                  .put8(6, other != nullptr ? static_cast<std::uint32_t>(other->value) : 0x0E)
                  .put16(7, balance_.thresholdMv)
                  .put8(9, balance_.differenceMv)
                  .put16(10, balance_.releaseMv)
                  .finish()};
    }
    case 0x0F:
      balance_ = {static_cast<std::uint16_t>(readU16(request, 7)),
                  static_cast<std::uint8_t>(readU8(request, 9)),
                  static_cast<std::uint16_t>(readU16(request, 10))};
      return {};
    default:  // 0x0D, manual balance: [7] = 1 on with the cell mask in [8], 0 off
      manualOn_ = readU8(request, 7) == 1;
      manualMask_ = manualOn_ ? static_cast<std::uint16_t>(readU8(request, 8) & 0x0F) : 0;
      for (int cell = 1; cell <= kCells; ++cell) {
        if (manualMask_ != (1u << (cell - 1))) continue;
        manualMask_ = manualFlags(cell);
        break;
      }
      balanceFlags_ = manualMask_;
      return {};
  }
}

// The flags manual balance of one cell lights, as the failure modes have it.
std::uint16_t BoardModel::manualFlags(int cell) const {
  const FailureMode* never = failures_.find(Failure::BalanceNever, 0x18);
  if (never != nullptr && never->value == cell) return 0;
  const FailureMode* wrong = failures_.find(Failure::BalanceWrongCell, 0x18);
  if (wrong != nullptr && wrong->value == cell) return static_cast<std::uint16_t>(1u << (cell % kCells));
  return static_cast<std::uint16_t>(1u << (cell - 1));
}

std::vector<Bytes> BoardModel::onCalibration(const Bytes& request) {
  const int point = static_cast<int>(readU8(request, 6));
  const int direction = static_cast<int>(readU8(request, 7));
  if (point > 3 || direction > 1) return {};
  if (readU8(request, 5) == 1) return {calibrationResult(direction, point, true)};
  if (readU8(request, 5) != 0) return {};
  const auto reference = static_cast<std::int32_t>(readU32(request, 8));
  // The engineer drives the reference current through the pack while the point is taken.
  const double magnitude = std::min(std::fabs(static_cast<double>(reference)), kMaxFollowMa);
  followMa_ = direction == 0 ? magnitude : -magnitude;
  followUntilMs_ = nowMs_ + kFollowMs;
  stepPack(0.001);
  const double sensed = std::fabs(pack_.currentMa()) * kSensorGain[static_cast<std::size_t>(direction)];
  CalibrationPoint& stored =
      calibration_[static_cast<std::size_t>(direction)][static_cast<std::size_t>(point)];
  stored.referenceMa = reference;
  stored.coefficientMilli =
      sensed < 1 ? 1000 : static_cast<std::uint32_t>(std::lround(1000 * magnitude / sensed));
  // The live data goes first, so the host compares the reference with the current it now flows.
  return {liveDataFrame(), calibrationResult(direction, point, false)};
}

Bytes BoardModel::calibrationResult(int direction, int point, bool isRead) const {
  const CalibrationPoint& p = calibration(direction, point);
  const auto index = static_cast<std::uint32_t>(failures_.has(Failure::CalibrationPoint4, 0x07) ? 4 : point);
  return FrameBuilder(0x15, 23)
      .put8(6, index)
      .put8(8, static_cast<std::uint32_t>(direction))
      .put8(9, index)
      .put8(10, isRead ? 1 : 0)
      .put32(11, p.coefficientMilli)
      .put32(15, static_cast<std::uint32_t>(p.referenceMa))
      .finish();
}

}  // namespace orlo::sim
