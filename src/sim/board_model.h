#pragma once
// The simulated BMS board: it answers every request the host sends, holds protection,
// balance and calibration settings, and reports a pack whose values move with time.
// Time is given by the caller (milliseconds since start), so tests are deterministic.

#include <array>
#include <cstdint>
#include <vector>

#include "sim/alarm_record.h"
#include "sim/failure_modes.h"
#include "sim/live_data.h"
#include "sim/pack_model.h"
#include "sim/protection.h"
#include "sim/sim_frame.h"

namespace orlo::sim {

struct BalanceCondition {
  std::uint16_t thresholdMv = 3340;
  std::uint8_t differenceMv = 15;
  std::uint16_t releaseMv = 3320;
};

struct CalibrationPoint {
  std::uint32_t coefficientMilli = 1000;
  std::int32_t referenceMa = 0;
};

class BoardModel {
 public:
  explicit BoardModel(std::uint32_t seed = 1);

  // Moves the pack forward to `nowMs`; earlier times are ignored.
  void advanceTo(std::int64_t nowMs);
  // The frames the board answers `request` with (none for a request it does not know, or
  // whose answer a failure mode leaves out).
  std::vector<Bytes> handle(const Bytes& request, std::int64_t nowMs);
  // How much later than at once the answer to `request` leaves, by the failure modes.
  int answerDelayMs(const Bytes& request) const;
  // Whether the board knows this request (checksum, command, selector and length right).
  bool understands(const Bytes& request) const;
  LiveData liveData() const;
  Bytes liveDataFrame() const { return encodeLiveData(liveData()); }

  const AlarmRecord& alarmRecord() const { return record_; }
  const BalanceCondition& balanceCondition() const { return balance_; }
  std::uint16_t manualBalanceMask() const { return manualMask_; }
  bool manualBalanceOn() const { return manualOn_; }
  const CalibrationPoint& calibration(int direction, int point) const;
  std::int64_t nowMs() const { return nowMs_; }

  // The ID the board reports (alarm parameter row 38), and whether its pack stays at rest
  // (no current but a calibration's) instead of cycling through discharge and charge.
  void setBoardId(int id) { record_.setValue(kBoardId, id & 0xFF); }
  void setAtRest(bool atRest) { atRest_ = atRest; }

  // The failure modes the board shows; empty for a board that behaves.
  FailureModes& failures() { return failures_; }
  const FailureModes& failures() const { return failures_; }

  // Answers to a request the board knows; public for the request table.
  std::vector<Bytes> onPoll(const Bytes& request);
  std::vector<Bytes> onCalibration(const Bytes& request);
  std::vector<Bytes> onAlarmRead(const Bytes& request);
  std::vector<Bytes> onAlarmSet(const Bytes& request);
  std::vector<Bytes> onBalance(const Bytes& request);

 private:
  void stepPack(double seconds);
  PackControls controls() const;
  Measurements measurements() const;
  std::uint16_t autoBalanceFlags(const std::array<int, kCells>& cells);
  std::uint16_t manualFlags(int cell) const;
  Bytes calibrationResult(int direction, int point, bool isRead) const;
  int nominalAh() const { return record_.value(kNominalCapacity); }

  FailureModes failures_;
  AlarmRecord record_;
  PackModel pack_;
  Protection protection_;
  BalanceCondition balance_;
  std::uint16_t balanceFlags_ = 0;
  std::uint16_t manualMask_ = 0;
  bool manualOn_ = false;
  bool atRest_ = false;
  std::array<std::array<CalibrationPoint, 4>, 2> calibration_{};
  std::int64_t nowMs_ = 0;
  std::int64_t followUntilMs_ = -1;
  double followMa_ = 0;
};

}  // namespace orlo::sim
