#include "sim/failure_modes.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace orlo::sim {

namespace {

enum class ValueKind {
  None,       // no value
  Command,    // =CMD
  CommandMs,  // =CMD:MS
  Number,     // optional =N (decimal)
  HexByte,    // optional =BYTE (hex)
};

struct FailureInfo {
  Failure failure;
  const char* name;
  ValueKind kind;
  std::uint8_t command;  // the request it applies to, for the failures that name no command
  int defaultValue;
  int low;
  int high;
  const char* syntax;
  const char* help;
};

constexpr int kMaxDelayMs = 600000;

const FailureInfo kFailures[] = {
    {Failure::NoAnswer, "no-answer", ValueKind::Command, 0, 0, 0, 255, "no-answer=CMD",
     "requests with command CMD get no answer (the board still acts on them)"},
    {Failure::Delay, "delay", ValueKind::CommandMs, 0, 0, 0, kMaxDelayMs, "delay=CMD:MS",
     "answers to command CMD leave MS (0..600000) ms late; later answers queue behind"},
    {Failure::ShortAlarmAnswer, "short-alarm-answer", ValueKind::Number, 0x0C,
     FailureModes::kDefaultShortAlarmLength, 11, 81, "short-alarm-answer[=LEN]",
     "the alarm parameter read result is LEN bytes long (11..81, default 50)"},
    {Failure::SetNotApplied, "set-not-applied", ValueKind::None, 0x47, 0, 0, 0, "set-not-applied",
     "an alarm parameter Set is acknowledged but not stored"},
    {Failure::SetOffByOne, "set-off-by-one", ValueKind::Number, 0x47, FailureModes::kDefaultOffByOneRow, 1,
     44, "set-off-by-one[=ROW]", "a Set is stored with row ROW one higher (1..44, default 7: Cell OV)"},
    {Failure::CalibrationPoint4, "calibration-point-4", ValueKind::None, 0x07, 0, 0, 0, "calibration-point-4",
     "calibration results carry point index 4 (bytes 6 and 9)"},
    {Failure::BalanceOtherSub, "balance-other-sub", ValueKind::HexByte, 0x18,
     FailureModes::kDefaultOtherBalanceSub, 0, 255, "balance-other-sub[=SUB]",
     "the balance read result has sub-command SUB (default 0x0F), not 0x0E"},
    {Failure::BalanceNever, "balance-never", ValueKind::Number, 0x18, FailureModes::kDefaultBalanceCell, 1, 4,
     "balance-never[=CELL]", "manual balance of cell CELL (1..4, default 2) lights no balance flag"},
    {Failure::BalanceWrongCell, "balance-wrong-cell", ValueKind::Number, 0x18,
     FailureModes::kDefaultBalanceCell, 1, 4, "balance-wrong-cell[=CELL]",
     "manual balance of cell CELL (1..4, default 2) lights the next cell's flag (4: cell 1's)"},
    {Failure::CurrentOff, "current-off", ValueKind::Number, 0x06, FailureModes::kDefaultCurrentOffPercent, 1,
     100, "current-off[=PCT]", "the live data's current reads PCT per cent high (1..100, default 10)"},
};

const FailureInfo& infoOf(Failure failure) {
  for (const FailureInfo& info : kFailures) {
    if (info.failure == failure) return info;
  }
  return kFailures[0];
}

bool integer(const std::string& text, int base, int low, int high, int& out) {
  if (text.empty() || text.front() == '-' || text.front() == '+' || text.front() == ' ') return false;
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text.c_str(), &end, base);
  if (errno != 0 || *end != '\0' || value < low || value > high) return false;
  out = static_cast<int>(value);
  return true;
}

// A byte in hex, with or without 0x: "0x0C", "0C", "c".
bool hexByte(std::string text, int& out) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text = text.substr(2);
  return text.size() <= 2 && text.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos &&
         integer(text, 16, 0, 255, out);
}

std::string hexText(int byte) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(byte & 0xFF));
  return text;
}

}  // namespace

FailureModes& FailureModes::add(const FailureMode& mode) {
  const auto same = [&](const FailureMode& m) {
    return m.failure == mode.failure && m.command == mode.command;
  };
  const auto it = std::find_if(modes_.begin(), modes_.end(), same);
  if (it != modes_.end()) {
    *it = mode;
  } else {
    modes_.push_back(mode);
  }
  return *this;
}

FailureModes& FailureModes::noAnswer(std::uint8_t command) {
  return add({Failure::NoAnswer, command, 0});
}

FailureModes& FailureModes::delay(std::uint8_t command, int ms) {
  return add({Failure::Delay, command, std::clamp(ms, 0, kMaxDelayMs)});
}

FailureModes& FailureModes::shortAlarmAnswer(int length) {
  const FailureInfo& info = infoOf(Failure::ShortAlarmAnswer);
  return add({info.failure, info.command, std::clamp(length, info.low, info.high)});
}

FailureModes& FailureModes::setNotApplied() {
  return add({Failure::SetNotApplied, 0x47, 0});
}

FailureModes& FailureModes::setOffByOne(int row) {
  const FailureInfo& info = infoOf(Failure::SetOffByOne);
  return add({info.failure, info.command, std::clamp(row, info.low, info.high)});
}

FailureModes& FailureModes::calibrationPoint4() {
  return add({Failure::CalibrationPoint4, 0x07, 0});
}

FailureModes& FailureModes::balanceOtherSub(std::uint8_t sub) {
  return add({Failure::BalanceOtherSub, 0x18, sub});
}

FailureModes& FailureModes::balanceNever(int cell) {
  return add({Failure::BalanceNever, 0x18, std::clamp(cell, 1, 4)});
}

FailureModes& FailureModes::balanceWrongCell(int cell) {
  return add({Failure::BalanceWrongCell, 0x18, std::clamp(cell, 1, 4)});
}

FailureModes& FailureModes::currentOff(int percent) {
  return add({Failure::CurrentOff, 0x06, std::clamp(percent, 1, 100)});
}

bool FailureModes::parse(const std::string& text, std::string& error) {
  const std::size_t eq = text.find('=');
  const std::string name = text.substr(0, eq);
  const bool hasValue = eq != std::string::npos;
  const std::string value = hasValue ? text.substr(eq + 1) : std::string();
  const auto* info = std::find_if(std::begin(kFailures), std::end(kFailures),
                                  [&](const FailureInfo& i) { return name == i.name; });
  if (info == std::end(kFailures)) {
    error = "unknown failure mode '" + name + "'";
    return false;
  }
  const auto bad = [&] {
    error = "bad failure mode '" + text + "': expected " + info->syntax;
    return false;
  };
  FailureMode mode{info->failure, info->command, info->defaultValue};
  int command = 0;
  switch (info->kind) {
    case ValueKind::None:
      if (hasValue) return bad();
      break;
    case ValueKind::Command:
      if (!hexByte(value, command)) return bad();
      mode.command = static_cast<std::uint8_t>(command);
      break;
    case ValueKind::CommandMs: {
      const std::size_t colon = value.find(':');
      if (colon == std::string::npos || !hexByte(value.substr(0, colon), command) ||
          !integer(value.substr(colon + 1), 10, info->low, info->high, mode.value))
        return bad();
      mode.command = static_cast<std::uint8_t>(command);
      break;
    }
    case ValueKind::Number:
      if (hasValue && !integer(value, 10, info->low, info->high, mode.value)) return bad();
      break;
    case ValueKind::HexByte:
      if (hasValue && !hexByte(value, mode.value)) return bad();
      break;
  }
  add(mode);
  return true;
}

const FailureMode* FailureModes::find(Failure failure, std::uint8_t command) const {
  for (const FailureMode& mode : modes_) {
    if (mode.failure == failure && mode.command == command) return &mode;
  }
  return nullptr;
}

int FailureModes::delayMs(std::uint8_t command) const {
  const FailureMode* mode = find(Failure::Delay, command);
  return mode == nullptr ? 0 : mode->value;
}

std::string FailureModes::text(const FailureMode& mode) {
  const FailureInfo& info = infoOf(mode.failure);
  switch (info.kind) {
    case ValueKind::Command:
      return std::string(info.name) + "=" + hexText(mode.command);
    case ValueKind::CommandMs:
      return std::string(info.name) + "=" + hexText(mode.command) + ":" + std::to_string(mode.value);
    case ValueKind::Number:
      return std::string(info.name) + "=" + std::to_string(mode.value);
    case ValueKind::HexByte:
      return std::string(info.name) + "=" + hexText(mode.value);
    case ValueKind::None:
      break;
  }
  return info.name;
}

std::string FailureModes::help() {
  std::string text;
  for (const FailureInfo& info : kFailures) {
    std::string left = std::string("  ") + info.syntax;
    if (left.size() < 28) left.resize(28, ' ');
    text += left + info.help + "\n";
  }
  return text;
}

}  // namespace orlo::sim
