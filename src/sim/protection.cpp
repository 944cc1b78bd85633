#include "sim/protection.h"

namespace orlo::sim {

namespace {

using Measure = int (*)(const Measurements&);

struct Rule {
  int bit;
  Measure measure;
  int valueRow;
  int delayRow;    // 0: no delay
  int releaseRow;  // 0: the flag falls as soon as the condition does
  bool high;       // true: trips at or above the value; false: at or below
};

const Rule kRules[] = {
    {kBitCellOv, [](const Measurements& m) { return m.maxCellMv; }, kCellOvValue, kCellOvDelay,
     kCellOvRelease, true},
    {kBitCellUv, [](const Measurements& m) { return m.minCellMv; }, kCellUvValue, kCellUvDelay,
     kCellUvRelease, false},
    {kBitOvDiffer, [](const Measurements& m) { return m.maxCellMv - m.minCellMv; }, kOvDifferValue,
     kOvDifferDelay, kOvDifferRelease, true},
    {kBitOtDiffer, [](const Measurements& m) { return m.maxTemp - m.minTemp; }, kOtDifferValue,
     kOtDifferDelay, kOtDifferRelease, true},
    {kBitDsgOt, [](const Measurements& m) { return m.maxTemp; }, kDsgOtValue, kDsgOtDelay, kDsgOtRelease,
     true},
    {kBitDsgUt, [](const Measurements& m) { return m.minTemp; }, kDsgUtValue, kDsgUtDelay, kDsgUtRelease,
     false},
    {kBitChgOt, [](const Measurements& m) { return m.maxTemp; }, kChgOtValue, kChgOtDelay, kChgOtRelease,
     true},
    {kBitChgUt, [](const Measurements& m) { return m.minTemp; }, kChgUtValue, kChgUtDelay, kChgUtRelease,
     false},
    {kBitBusOv, [](const Measurements& m) { return m.busMv; }, kBusOvValue, kBusOvDelay, kBusOvRelease, true},
    {kBitChgOc, [](const Measurements& m) { return m.chargeMa; }, kChgOcValue, kChgOcDelay, kChgOcRelease,
     true},
    {kBitDsgOc, [](const Measurements& m) { return m.dischargeMa; }, kDsgOcValue, kDsgOcDelay, kDsgOcRelease,
     true},
    {kBitSocLow, [](const Measurements& m) { return m.soc; }, kSocWarning, 0, 0, false},
    {kBitBusUv, [](const Measurements& m) { return m.busMv; }, kBusUvValue, kBusUvDelay, kBusUvRelease,
     false},
    {kBitFetOt, [](const Measurements& m) { return m.mosfetTemp; }, kMosOtValue, kMosOtDelay, kMosOtRelease,
     true},
};

constexpr std::uint32_t bit(int n) {
  return 1u << n;
}

constexpr std::uint32_t kBlocksDischarge = bit(kBitCellUv) | bit(kBitDsgOt) | bit(kBitDsgUt) |
                                           bit(kBitDsgOc) | bit(kBitBusUv) | bit(kBitShortCircuit) |
                                           bit(kBitFetOt);
constexpr std::uint32_t kBlocksCharge =
    bit(kBitCellOv) | bit(kBitChgOt) | bit(kBitChgUt) | bit(kBitBusOv) | bit(kBitChgOc) | bit(kBitFetOt);

bool beyond(int measured, int limit, bool high) {
  return high ? measured >= limit : measured <= limit;
}
bool backWithin(int measured, int release, bool high) {
  return high ? measured <= release : measured >= release;
}

}  // namespace

std::uint32_t Protection::update(const Measurements& m, const AlarmRecord& record, double seconds) {
  for (const Rule& rule : kRules) {
    const int measured = rule.measure(m);
    const std::uint32_t mask = bit(rule.bit);
    double& held = heldSeconds_[static_cast<std::size_t>(rule.bit)];
    if (flags_ & mask) {
      // While the condition itself still holds the flag stays, whatever the release value says.
      const bool clear = !beyond(measured, record.value(rule.valueRow), rule.high);
      const bool released =
          clear && (rule.releaseRow == 0 || backWithin(measured, record.value(rule.releaseRow), rule.high));
      if (released) flags_ &= ~mask;
      continue;
    }
    held = beyond(measured, record.value(rule.valueRow), rule.high) ? held + seconds : 0;
    const double delay = rule.delayRow ? record.value(rule.delayRow) : 0;
    if (held > 0 && held >= delay) {
      flags_ |= mask;
      held = 0;
    }
  }
  return flags_;
}

bool Protection::dischargeAllowed() const {
  return (flags_ & kBlocksDischarge) == 0;
}
bool Protection::chargeAllowed() const {
  return (flags_ & kBlocksCharge) == 0;
}

}  // namespace orlo::sim
