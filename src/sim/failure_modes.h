#pragma once
// Ways the board can fail on purpose, one command at a time, so the host's checks of what a
// board answers can be tried: an answer left out, cut short, late or slightly wrong, a Set that
// is acknowledged and then not kept. The modes form one table: a mode is a failure, the command
// byte of the request it applies to, and one number (a length, a row, a delay, a sub-command).
// The same text selects a mode on the command line (`--fail delay=0x0C:1500`) and in-process
// (`FailureModes::parse`).

#include <cstdint>
#include <string>
#include <vector>

namespace orlo::sim {

enum class Failure {
  NoAnswer,           // requests with the command get no answer at all
  Delay,              // answers to the command leave `value` ms late
  ShortAlarmAnswer,   // the alarm parameter read result is `value` bytes long, not 82
  SetNotApplied,      // an alarm parameter Set is acknowledged but not stored
  SetOffByOne,        // an alarm parameter Set is stored with row `value` one higher
  CalibrationPoint4,  // calibration results carry point index 4
  BalanceOtherSub,    // the balance read result carries sub-command `value`, not 0x0E
  BalanceNever,       // a manual balance request for cell `value` lights no flag
  BalanceWrongCell,   // a manual balance request for cell `value` lights the next cell's flag
  CurrentOff,         // the live data's current reads `value` per cent high
};

struct FailureMode {
  Failure failure;
  std::uint8_t command;  // command byte of the request whose answer fails
  int value;             // the failure's number; 0 where it has none
};

class FailureModes {
 public:
  static constexpr int kDefaultShortAlarmLength = 50;
  static constexpr int kDefaultOffByOneRow = 7;  // Cell OV value
  static constexpr std::uint8_t kDefaultOtherBalanceSub = 0x0F;
  static constexpr int kDefaultBalanceCell = 2;
  static constexpr int kDefaultCurrentOffPercent = 10;

  // Each adds its mode, replacing one of the same failure and command.
  FailureModes& noAnswer(std::uint8_t command);
  FailureModes& delay(std::uint8_t command, int ms);
  FailureModes& shortAlarmAnswer(int length = kDefaultShortAlarmLength);
  FailureModes& setNotApplied();
  FailureModes& setOffByOne(int row = kDefaultOffByOneRow);
  FailureModes& calibrationPoint4();
  FailureModes& balanceOtherSub(std::uint8_t sub = kDefaultOtherBalanceSub);
  FailureModes& balanceNever(int cell = kDefaultBalanceCell);
  FailureModes& balanceWrongCell(int cell = kDefaultBalanceCell);
  FailureModes& currentOff(int percent = kDefaultCurrentOffPercent);
  FailureModes& add(const FailureMode& mode);

  // Adds the mode `text` names (the --fail syntax); false with `error` set for a bad text.
  bool parse(const std::string& text, std::string& error);

  void clear() { modes_.clear(); }
  bool empty() const { return modes_.empty(); }
  const std::vector<FailureMode>& modes() const { return modes_; }
  // The mode of this failure for this command, or nullptr.
  const FailureMode* find(Failure failure, std::uint8_t command) const;
  bool has(Failure failure, std::uint8_t command) const { return find(failure, command) != nullptr; }
  // Extra delay of the answers to `command`, in ms (0 without a delay mode).
  int delayMs(std::uint8_t command) const;

  // The --fail text of a mode, e.g. "delay=0x0C:1500".
  static std::string text(const FailureMode& mode);
  // One line per failure for --help: its syntax and what it does.
  static std::string help();

 private:
  std::vector<FailureMode> modes_;
};

}  // namespace orlo::sim
