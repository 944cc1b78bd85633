#pragma once
// What a station run found on one board: every step with its result, its measured values and
// their limits, and the board's result. The JSON report and the station.csv row are made from it.

#include <array>
#include <ctime>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace orlo {

enum class StationStep { Identify, Rest, Balance, Calibration, Parameters, Final };
constexpr std::array<StationStep, 6> kStationSteps = {StationStep::Identify,   StationStep::Rest,
                                                      StationStep::Balance,    StationStep::Calibration,
                                                      StationStep::Parameters, StationStep::Final};

enum class StepResult { NotRun, Pass, Fail, Skipped };
enum class BoardResult { Pass, Fail, Error };

const char* stepName(StationStep step);  // identify, rest, ...
const char* resultName(StepResult result);
const char* resultName(BoardResult result);  // PASS, FAIL, ERROR

struct StepReport {
  StationStep step = StationStep::Identify;
  StepResult result = StepResult::NotRun;
  std::string message;                               // why it failed, for the operator
  nlohmann::json values = nlohmann::json::object();  // measured values and their limits
};

struct BoardReport {
  std::string time;  // ISO 8601, when the board's run ended
  std::string station;
  std::string operatorName;
  std::string recipe;
  std::string recipeSha256;
  std::string device;
  int boardId = -1;  // -1 while unknown
  std::string label;
  BoardResult result = BoardResult::Fail;
  std::string error;       // why the record could not be written (result Error)
  bool noAnswer = false;   // the board never answered the identify step
  std::string reportPath;  // the report written last ("" when none could be)
  std::vector<StepReport> steps;

  // The first step that failed, or nullptr.
  const StepReport* failedStep() const;
  StepReport& step(StationStep step);
  const StepReport* find(StationStep step) const;
};

// The JSON report: result, board_id, label, failed_step, steps (name, result, message, values).
nlohmann::json reportJson(const BoardReport& report);
// The report as the file holds it: indented, bytes that are not UTF-8 (a label typed or
// scanned as anything) replaced by U+FFFD rather than refused.
std::string reportText(const BoardReport& report);

// station.csv: the header and one row (LF-terminated, UTF-8, CSV-quoted where needed).
std::string stationCsvHeader();
std::string stationCsvRow(const BoardReport& report);

// ISO 8601 with a colon in the offset: 2026-12-08T17:40:01+01:00.
std::string isoTimeText(const std::tm& localTime);

}  // namespace orlo
