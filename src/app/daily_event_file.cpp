#include "app/daily_event_file.h"

#include "util/platform.h"

namespace orlo {

std::string DailyEventFile::fileName(const std::tm& day) {
  char name[40];
  const std::size_t n = std::strftime(name, sizeof name, "events-%Y-%m-%d.csv", &day);
  return std::string(name, n);
}

// One write per line, so that a second window appending to the same day's file does not cut
// into it.
Status DailyEventFile::append(const LoggedEvent& event) const {
  const Status made = makeFolders(folder_);
  if (!made) return made;
  return appendWithHeader(pathFor(event.time), eventCsvHeader(), eventCsvLine(event));
}

}  // namespace orlo
