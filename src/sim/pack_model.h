#pragma once
// The physics of the simulated 4-cell LiFePO4 pack: a current that cycles through discharge,
// idle and charge, coulomb counting, cell voltages from an open-circuit curve with drifting
// per-cell offsets, and slow heating. Time is advanced explicitly, so runs are repeatable.

#include <array>
#include <cstdint>
#include <random>

namespace orlo::sim {

constexpr int kCells = 4;

// What the board's electronics allow during the next step.
struct PackControls {
  int nominalAh = 50;
  bool dischargeAllowed = true;
  bool chargeAllowed = true;
  std::uint16_t bleedMask = 0;  // cells whose balance resistor is on
  bool forceCurrent = false;    // a calibration is being driven: the current is forcedMa
  double forcedMa = 0;          // positive = discharge
};

class PackModel {
 public:
  explicit PackModel(std::uint32_t seed);

  void step(double seconds, const PackControls& controls);
  // Re-bases the state of charge, as a board does when its SOC is set.
  void setSoc(int percent, int nominalAh);

  double currentMa() const { return currentMa_; }  // positive = discharge
  std::array<int, kCells> cellMv(int nominalAh) const;
  int soc(int nominalAh) const;
  int remainingCentiAh() const { return static_cast<int>(remainingMah_ / 10.0); }
  std::int32_t dischargeMah() const { return static_cast<std::int32_t>(dischargeMah_); }
  std::int32_t chargeMah() const { return static_cast<std::int32_t>(chargeMah_); }
  int cycles() const { return cycles_; }
  void setCycles(int cycles) { cycles_ = cycles; }
  int temperature1() const;
  int temperature2() const;
  int mosfetTemperature() const;

 private:
  double scheduledMa(int nominalAh);
  void advancePhase(double seconds);
  void countCharge(double seconds, int nominalAh);
  void driftCells(double seconds, std::uint16_t bleedMask);

  std::mt19937 rng_;
  int phase_ = 0;
  double phaseSeconds_ = 0;
  double currentMa_ = 0;
  double remainingMah_ = 40000;
  double dischargeMah_ = 612345;
  double chargeMah_ = 630120;
  double sinceCycleMah_ = 0;
  int cycles_ = 12;
  double heat_ = 0;
  std::array<double, kCells> offsetMv_{4, -3, 6, -2};
  std::array<double, kCells> noiseMv_{};
};

// Open-circuit voltage of a LiFePO4 cell, mV, at a state of charge in percent.
double lfpOpenCircuitMv(double socPercent);

}  // namespace orlo::sim
