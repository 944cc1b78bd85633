#pragma once
// The events of each day in a file of their own, events-YYYY-MM-DD.csv in one folder, so that
// an unattended night leaves a record whether or not anybody opened the Events window. The
// day is the event's own (the injectable clock's), so the first event after midnight starts
// the next file.

#include <ctime>
#include <string>
#include <utility>

#include "app/event_log.h"
#include "util/result.h"

namespace orlo {

class DailyEventFile {
 public:
  explicit DailyEventFile(std::string folder) : folder_(std::move(folder)) {}

  // "events-2026-12-07.csv"
  static std::string fileName(const std::tm& day);
  std::string pathFor(const std::tm& day) const { return folder_ + "/" + fileName(day); }
  const std::string& folder() const { return folder_; }

  // Appends the event's line (after the header when the file is new); false with *error.
  // Opened and closed for each event: events are rare, and a file deleted or moved meanwhile
  // is simply started again.
  Status append(const LoggedEvent& event) const;

 private:
  std::string folder_;
};

}  // namespace orlo
