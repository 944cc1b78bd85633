#include "core/station_report.h"

#include <ctime>

#include "core/write_record.h"

namespace orlo {

const char* stepName(StationStep step) {
  switch (step) {
    case StationStep::Identify:
      return "identify";
    case StationStep::Rest:
      return "rest";
    case StationStep::Balance:
      return "balance";
    case StationStep::Calibration:
      return "calibration";
    case StationStep::Parameters:
      return "parameters";
    case StationStep::Final:
      return "final";
  }
  return "";
}

const char* resultName(StepResult result) {
  switch (result) {
    case StepResult::NotRun:
      return "not run";
    case StepResult::Pass:
      return "pass";
    case StepResult::Fail:
      return "fail";
    case StepResult::Skipped:
      return "skipped";
  }
  return "";
}

const char* resultName(BoardResult result) {
  switch (result) {
    case BoardResult::Pass:
      return "PASS";
    case BoardResult::Fail:
      return "FAIL";
    case BoardResult::Error:
      return "ERROR";
  }
  return "";
}

const StepReport* BoardReport::failedStep() const {
  for (const StepReport& s : steps) {
    if (s.result == StepResult::Fail) return &s;
  }
  return nullptr;
}

StepReport& BoardReport::step(StationStep which) {
  for (StepReport& s : steps) {
    if (s.step == which) return s;
  }
  steps.push_back(StepReport{which, StepResult::NotRun, {}, nlohmann::json::object()});
  return steps.back();
}

const StepReport* BoardReport::find(StationStep which) const {
  for (const StepReport& s : steps) {
    if (s.step == which) return &s;
  }
  return nullptr;
}

nlohmann::json reportJson(const BoardReport& r) {
  nlohmann::json steps = nlohmann::json::array();
  for (const StepReport& s : r.steps)
    steps.push_back({{"name", stepName(s.step)},
                     {"result", resultName(s.result)},
                     {"message", s.message},
                     {"values", s.values}});
  const StepReport* failed = r.failedStep();
  nlohmann::json out = {{"result", resultName(r.result)},
                        {"board_id", r.boardId >= 0 ? nlohmann::json(r.boardId) : nlohmann::json()},
                        {"label", r.label},
                        {"failed_step", failed != nullptr ? stepName(failed->step) : ""},
                        {"time", r.time},
                        {"station", r.station},
                        {"operator", r.operatorName},
                        {"recipe", r.recipe},
                        {"recipe_sha256", r.recipeSha256},
                        {"device", r.device},
                        {"steps", steps}};
  if (!r.error.empty()) out["error"] = r.error;
  return out;
}

std::string reportText(const BoardReport& report) {
  return reportJson(report).dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

namespace {

// The key figures of the steps, in the row's order after the fixed columns.
struct Figure {
  StationStep step;
  const char* key;
};
const Figure kFigures[] = {
    {StationStep::Rest, "cell_min_mv"},
    {StationStep::Rest, "cell_max_mv"},
    {StationStep::Rest, "spread_mv"},
    {StationStep::Rest, "temp_min_c"},
    {StationStep::Rest, "temp_max_c"},
    {StationStep::Rest, "current_a"},
    {StationStep::Balance, "cells_passed"},
    {StationStep::Balance, "manual_balance_off"},
    {StationStep::Calibration, "error_evaluation_discharge"},
    {StationStep::Calibration, "error_evaluation_charge"},
    {StationStep::Parameters, "outcome"},
    {StationStep::Parameters, "snapshot"},
};

std::string figureText(const nlohmann::json& value) {
  if (value.is_null()) return "";
  if (value.is_string()) return value.get<std::string>();
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

std::string stationCsvHeader() {
  std::string header = "time,station,operator,recipe,recipe_sha256,board_id,label,result,failed_step";
  for (const Figure& f : kFigures) header += std::string(",") + stepName(f.step) + "_" + f.key;
  return header + "\n";
}

std::string stationCsvRow(const BoardReport& r) {
  const StepReport* failed = r.failedStep();
  std::string row = csvField(r.time) + "," + csvField(r.station) + "," + csvField(r.operatorName) + "," +
                    csvField(r.recipe) + "," + r.recipeSha256 + "," +
                    (r.boardId >= 0 ? std::to_string(r.boardId) : "") + "," + csvField(r.label) + "," +
                    resultName(r.result) + "," + (failed != nullptr ? stepName(failed->step) : "");
  for (const Figure& f : kFigures) {
    const StepReport* s = r.find(f.step);
    const bool has = s != nullptr && s->values.contains(f.key);
    row += "," + csvField(has ? figureText(s->values.at(f.key)) : "");
  }
  return row + "\n";
}

std::string isoTimeText(const std::tm& localTime) {
  char text[40];
  if (std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &localTime) == 0) return {};
  std::string out = text;
  if (out.size() >= 5) out.insert(out.size() - 2, ":");
  return out;
}

}  // namespace orlo
