#include "sim/pack_model.h"

#include <algorithm>
#include <cmath>

namespace orlo::sim {

namespace {

struct Phase {
  double seconds;
  double currentMa;  // positive = discharge
};

// Discharge, rest, charge, rest: one lap takes under three minutes, so a user sees every mode,
// and puts back what it took out, so the state of charge wanders instead of running down.
constexpr std::array<Phase, 4> kPhases = {{{60, 20000}, {15, 0}, {80, -15000}, {15, 0}}};
constexpr double kLowSocStop = 20;
constexpr double kHighSocStop = 95;
constexpr double kCellResistanceMilliOhm = 2.0;
// How far each cell wanders from the pack per ampere-second: the cells drift apart.
constexpr std::array<double, kCells> kDriftMvPerAs = {0.003, -0.002, 0.004, -0.001};
constexpr double kBleedMvPerSecond = 0.3;
constexpr double kOffsetLimitMv = 40;

struct OcvPoint {
  double soc;
  double mv;
};
constexpr std::array<OcvPoint, 10> kOcv = {{{0, 2900},
                                            {5, 3150},
                                            {10, 3200},
                                            {20, 3250},
                                            {40, 3280},
                                            {60, 3300},
                                            {80, 3320},
                                            {90, 3340},
                                            {95, 3360},
                                            {100, 3400}}};

double effectiveNominalMah(int nominalAh) {
  return std::clamp(nominalAh, 1, 650) * 1000.0;
}

}  // namespace

double lfpOpenCircuitMv(double socPercent) {
  const double soc = std::clamp(socPercent, 0.0, 100.0);
  for (std::size_t i = 1; i < kOcv.size(); ++i) {
    if (soc <= kOcv[i].soc) {
      const OcvPoint& a = kOcv[i - 1];
      const OcvPoint& b = kOcv[i];
      return a.mv + (b.mv - a.mv) * (soc - a.soc) / (b.soc - a.soc);
    }
  }
  return kOcv.back().mv;
}

PackModel::PackModel(std::uint32_t seed) : rng_(seed) {}

void PackModel::setSoc(int percent, int nominalAh) {
  remainingMah_ = effectiveNominalMah(nominalAh) * std::clamp(percent, 0, 100) / 100.0;
}

int PackModel::soc(int nominalAh) const {
  return static_cast<int>(std::lround(100.0 * remainingMah_ / effectiveNominalMah(nominalAh)));
}

double PackModel::scheduledMa(int nominalAh) {
  const double target = kPhases[static_cast<std::size_t>(phase_)].currentMa;
  const double socNow = 100.0 * remainingMah_ / effectiveNominalMah(nominalAh);
  if ((target > 0 && socNow <= kLowSocStop) || (target < 0 && socNow >= kHighSocStop)) return 0;
  return target;
}

void PackModel::advancePhase(double seconds) {
  phaseSeconds_ += seconds;
  if (phaseSeconds_ >= kPhases[static_cast<std::size_t>(phase_)].seconds) {
    phaseSeconds_ = 0;
    phase_ = (phase_ + 1) % static_cast<int>(kPhases.size());
  }
}

void PackModel::countCharge(double seconds, int nominalAh) {
  const double mah = currentMa_ * seconds / 3600.0;
  remainingMah_ = std::clamp(remainingMah_ - mah, 0.0, effectiveNominalMah(nominalAh));
  if (mah > 0) {
    dischargeMah_ = std::min(dischargeMah_ + mah, 2.0e9);
    sinceCycleMah_ += mah;
    if (sinceCycleMah_ >= effectiveNominalMah(nominalAh)) {
      sinceCycleMah_ = 0;
      cycles_ = std::min(cycles_ + 1, 65535);
    }
  } else {
    chargeMah_ = std::min(chargeMah_ - mah, 2.0e9);
  }
}

void PackModel::driftCells(double seconds, std::uint16_t bleedMask) {
  const double ampereSeconds = std::fabs(currentMa_) / 1000.0 * seconds;
  double mean = 0;
  for (int i = 0; i < kCells; ++i) {
    auto& offset = offsetMv_[static_cast<std::size_t>(i)];
    offset += kDriftMvPerAs[static_cast<std::size_t>(i)] * ampereSeconds;
    if (bleedMask & (1u << i)) offset -= kBleedMvPerSecond * seconds;
    mean += offset / kCells;
  }
  // Only the spread between cells is modelled; the pack level comes from the state of charge.
  for (auto& offset : offsetMv_) offset = std::clamp(offset - mean, -kOffsetLimitMv, kOffsetLimitMv);
  std::uniform_real_distribution<double> jitter(-1.0, 1.0);
  for (auto& noise : noiseMv_) noise = jitter(rng_);
}

void PackModel::step(double seconds, const PackControls& controls) {
  if (seconds <= 0) return;
  double wanted = controls.forceCurrent ? controls.forcedMa : scheduledMa(controls.nominalAh);
  if ((wanted > 0 && !controls.dischargeAllowed) || (wanted < 0 && !controls.chargeAllowed)) wanted = 0;
  std::normal_distribution<double> ripple(0.0, 15.0);
  currentMa_ = wanted == 0 ? 0 : wanted + ripple(rng_);
  advancePhase(seconds);
  countCharge(seconds, controls.nominalAh);
  driftCells(seconds, controls.bleedMask);
  // First-order heating towards a rise proportional to the current.
  const double targetHeat = std::fabs(currentMa_) / 1000.0 * 0.15;
  heat_ += (targetHeat - heat_) * std::min(1.0, seconds / 60.0);
}

std::array<int, kCells> PackModel::cellMv(int nominalAh) const {
  const double ocv = lfpOpenCircuitMv(100.0 * remainingMah_ / effectiveNominalMah(nominalAh));
  const double drop = currentMa_ / 1000.0 * kCellResistanceMilliOhm;
  std::array<int, kCells> cells{};
  for (std::size_t i = 0; i < cells.size(); ++i) {
    cells[i] = static_cast<int>(std::lround(ocv - drop + offsetMv_[i] + noiseMv_[i]));
  }
  return cells;
}

int PackModel::temperature1() const {
  return static_cast<int>(std::lround(25 + heat_));
}
int PackModel::temperature2() const {
  return static_cast<int>(std::lround(24 + heat_ * 0.6));
}
int PackModel::mosfetTemperature() const {
  return static_cast<int>(std::lround(27 + heat_ * 1.5));
}

}  // namespace orlo::sim
