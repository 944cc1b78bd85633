#pragma once
// What a write would do, shown before anything is sent: the fields whose value would change,
// every field that would be refused, and whether a main protection limit moves by more than a
// tenth. Guarded limits: the Value rows of charge and discharge over-current, cell over- and
// under-voltage and bus (pack) over- and under-voltage.

#include <string>
#include <vector>

#include "core/alarm_parameter_record.h"

namespace orlo {

struct ReviewChange {
  const AlarmParameterRow* row = nullptr;  // group, label and unit for the user
  std::int64_t onBoard = 0;
  std::int64_t proposed = 0;
  bool large = false;  // a guarded limit moved by more than 10 % of its value on the board
};

struct ReviewRefusal {
  const AlarmParameterRow* row = nullptr;
  std::string text;  // as proposed
  AcceptedRange range{};
};

struct ParameterReview {
  bool wrongCount = false;  // not 44 proposed values: nothing else is looked at
  std::vector<ReviewChange> changes;
  std::vector<ReviewRefusal> refused;

  bool mayWrite() const { return !wrongCount && refused.empty(); }
  bool anyLarge() const;
};

// `board`: the values read from the board; `proposed`: 44 texts in record order (boxes, file).
ParameterReview reviewParameters(const AlarmValues& board, const std::vector<std::string>& proposed);

// Whether a change of the row's value by more than 10 % is called out.
bool isGuardedLimit(const AlarmParameterRow& row);

}  // namespace orlo
