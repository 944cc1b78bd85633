#pragma once
// A whole data log read for the window: its rows as LogSeries, its summary, and the first row's
// day (given by the user, or worked out from the file's modification date).

#include <atomic>
#include <memory>
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
  // Kept open to follow the file as it grows.
  std::shared_ptr<LogReader> reader;
  LogSummarizer summarizer;

  CivilSeconds at(std::size_t row) const { return firstDay + series.seconds(row); }
};

// Reads the file to its last whole row. `done` and `total` follow the bytes read; setting
// `cancel` stops the read ("cancelled"). Safe to run on a thread of its own.
Result<LoadedLog> loadLog(const std::string& path, std::optional<CivilSeconds> firstDay,
                          std::atomic<std::int64_t>* done = nullptr,
                          std::atomic<std::int64_t>* total = nullptr,
                          const std::atomic<bool>* cancel = nullptr);

// Reads the rows written since the last read into the log and its summary; the number of rows
// added, or what went wrong (a file that shrank).
Result<std::size_t> followLog(LoadedLog& log);

// The summary of the rows from `from` to `to` (local date-times, both included).
LogSummary summarizeRange(const LoadedLog& log, CivilSeconds from, CivilSeconds to);

// Those rows as CSV for other tools: UTF-8, LF, a header naming each value's unit, the time as
// an ISO 8601 local date-time. Written to `path` through a temporary file beside it.
Status writeRangeCsv(const LoadedLog& log, CivilSeconds from, CivilSeconds to, const std::string& path);

}  // namespace orlo
