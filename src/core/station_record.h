#pragma once
// The station's records in one folder: station.csv, one row per board (appended under a lock,
// so several stations or boards can share it), and one JSON report per board beside it. A
// board whose record cannot be written whole is an ERROR, never a PASS.

#include <functional>
#include <string>
#include <vector>

#include "core/station_report.h"
#include "util/result.h"

namespace orlo {

class StationRecord {
 public:
  explicit StationRecord(std::string folder);

  // A further report of the board (the window's PDF) written at `path`.
  using ExtraReport = std::function<Status(const BoardReport& report, const std::string& path)>;

  // Writes the board's JSON report, the `extra` one beside it (same name, `extension`) and its
  // row. When one cannot be written the report's result becomes Error with the reason, and
  // what was written says so too where it still can. report.reportPath names the last report.
  void save(BoardReport& report, const ExtraReport& extra = {}, const std::string& extension = {}) const;

  struct Counts {
    int tested = 0;
    int passed = 0;
    int failed = 0;  // FAIL or ERROR
  };
  // The rows of local date `today` ("2026-12-08") in station.csv.
  Counts countsOf(const std::string& today) const;

  // What of the board already passed here today (local date `today`, "2026-12-08"):
  // "board ID 7", "label A-12", or "" for neither. An unreadable record counts as no pass.
  std::string passedToday(int boardId, const std::string& label, const std::string& today) const;

  const std::string& folder() const { return folder_; }
  std::string csvPath() const { return folder_ + "/station.csv"; }

 private:
  // The report's path, or "" with *error.
  Result<std::string> writeJson(const BoardReport& report, const std::string& name) const;

  std::string folder_;
};

// The fields of one CSV line (quotes as csvField writes them).
std::vector<std::string> splitCsvLine(const std::string& line);

}  // namespace orlo
