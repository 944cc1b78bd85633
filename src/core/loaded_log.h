#pragma once
// A whole data log read for the window: its rows as LogSeries, its summary, and the first row's
// day (given by the user, or worked out from the file's modification date).

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "core/log_series.h"
#include "core/log_summary.h"

namespace orlo {

struct LoadedLog {
  std::string path;
  LogSeries series;
  LogSummary summary;
  CivilSeconds firstDay = 0;  // add to a row's seconds for its local date-time
  bool dateGiven = false;     // false: worked out from the modification date
  std::int64_t badRows = 0;
  bool tornRow = false;
  std::vector<std::string> problems;

  CivilSeconds at(std::size_t row) const { return firstDay + series.seconds(row); }
};

// Reads the file to its last whole row. `done` and `total` follow the bytes read; setting
// `cancel` stops the read ("cancelled"). Safe to run on a thread of its own.
Result<LoadedLog> loadLog(const std::string& path, std::optional<CivilSeconds> firstDay,
                          std::atomic<std::int64_t>* done = nullptr,
                          std::atomic<std::int64_t>* total = nullptr,
                          const std::atomic<bool>* cancel = nullptr);

}  // namespace orlo
