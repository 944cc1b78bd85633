#include "core/parameter_review.h"

#include <cstdlib>
#include <cstring>

namespace orlo {
namespace {

// Picked by the page's group captions, so that a reordered record cannot move the guard.
constexpr const char* kGuardedGroups[] = {
    "CHG OC Protect(Range)",  "DSG OC Protect(Range)", "Cell OV Protect(Range)",
    "Cell UV Protect(Range)", "BUS OV Protect(Range)", "BUS UV Protect(Range)",
};

bool movesMoreThanATenth(std::int64_t from, std::int64_t to) {
  return std::llabs(to - from) * 10 > std::llabs(from);
}

}  // namespace

bool isGuardedLimit(const AlarmParameterRow& row) {
  if (std::strncmp(row.label, "Value", 5) != 0) return false;
  for (const char* group : kGuardedGroups)
    if (std::strcmp(row.group, group) == 0) return true;
  return false;
}

bool ParameterReview::anyLarge() const {
  for (const auto& change : changes)
    if (change.large) return true;
  return false;
}

ParameterReview reviewParameters(const AlarmValues& board, const std::vector<std::string>& proposed) {
  ParameterReview review;
  const auto& record = alarmParameterRecord();
  if (proposed.size() != record.size()) {
    review.wrongCount = true;
    return review;
  }
  for (std::size_t i = 0; i < record.size(); ++i) {
    const AlarmParameterRow& row = record[i];
    if (!row.sent) continue;
    const auto value = acceptedValue(row, proposed[i]);
    if (!value) {
      review.refused.push_back({&row, proposed[i], acceptedRange(row)});
    } else if (*value != board[i]) {
      review.changes.push_back(
          {&row, board[i], *value, isGuardedLimit(row) && movesMoreThanATenth(board[i], *value)});
    }
  }
  return review;
}

}  // namespace orlo
