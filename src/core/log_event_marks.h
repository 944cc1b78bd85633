#pragma once
// The events the window recorded (events-YYYY-MM-DD.csv, one file a day) as marks for the time
// axis of a log of the same days.

#include <cstddef>
#include <string>
#include <vector>

#include "core/log_dates.h"

namespace orlo {

struct EventMark {
  CivilSeconds at = 0;  // the local date-time the event file gives
  std::string kind;     // "alarm", "mos", "mode", ...
  std::string text;
};

// The events of every day from firstDay to lastDay (both given as any second of the day) that
// lie in [from, to], in time order, at most `limit` of them. Missing or unreadable day files
// and lines that are no event are skipped.
std::vector<EventMark> readEventMarks(const std::string& folder, CivilSeconds from, CivilSeconds to,
                                      std::size_t limit = 10000);

}  // namespace orlo
