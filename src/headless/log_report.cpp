#include "headless/log_report.h"

#include <nlohmann/json.hpp>

#include "headless/log_export.h"
#include "link/answers.h"

namespace orlo::headless {
namespace {

using Json = nlohmann::ordered_json;

std::string modeName(std::size_t mode) {
  const std::string_view text = systemModeText(static_cast<std::uint8_t>(mode));
  return text.empty() ? "mode " + std::to_string(mode) : std::string(text);
}

// Ah and Wh to the milli-unit, as JSON numbers.
double rounded(double value) {
  return std::round(value * 1000.0) / 1000.0;
}

}  // namespace

std::string summaryJson(const LogReader& reader, const LogSummary& s, CivilSeconds firstDay, bool dateGiven) {
  const auto at = [&](CivilSeconds seconds) { return formatCivil(firstDay + seconds); };
  Json j;
  j["file"] = reader.path();
  j["rows"] = s.rows;
  j["bad_rows"] = reader.badRows();
  j["torn_rows"] = reader.tornRow() ? 1 : 0;
  j["runs"] = s.runs.size();
  j["date_from"] = dateGiven ? "given" : "modification time";
  j["first"] = s.rows ? Json(at(s.first)) : Json();
  j["last"] = s.rows ? Json(at(s.last)) : Json();
  j["duration_s"] = s.last - s.first;
  Json runs = Json::array();
  for (const RunFigures& run : s.runs)
    runs.push_back({{"first", at(run.first)}, {"last", at(run.last)}, {"rows", run.rows}});
  j["run_list"] = runs;
  j["cell_rows"] = s.cellRows;
  Json cells = Json::array();
  for (const CellFigures& c : s.cells)
    cells.push_back({{"min_mv", c.minMv}, {"max_mv", c.maxMv}, {"mean_mv", std::round(c.meanMv * 10) / 10}});
  j["cells"] = cells;
  j["max_spread_mv"] = s.maxSpreadMv;
  j["max_spread_at"] = s.cellRows ? Json(at(s.maxSpreadAt)) : Json();
  j["charge_ah"] = rounded(s.chargeAh);
  j["discharge_ah"] = rounded(s.dischargeAh);
  j["charge_wh"] = rounded(s.chargeWh);
  j["discharge_wh"] = rounded(s.dischargeWh);
  Json modes = Json::object();
  for (std::size_t m = 0; m < s.modeSeconds.size(); ++m)
    if (s.modeSeconds[m] > 0) modes[modeName(m)] = s.modeSeconds[m];
  j["mode_seconds"] = modes;
  Json alarms = Json::object();
  for (const AlarmFigures& a : s.alarms)
    alarms[a.label] = {{"count", a.count}, {"first", at(a.first)}, {"last", at(a.last)}};
  j["alarms"] = alarms;
  j["cycle_change"] = s.lastCycle - s.firstCycle;
  j["backward_jumps"] = reader.backwardJumps();
  return j.dump();
}

std::string summaryText(const LogReader& reader, const LogSummary& s, CivilSeconds firstDay, bool dateGiven) {
  std::string t = reader.path() + "\n";
  t += "bad rows " + std::to_string(reader.badRows()) + (reader.tornRow() ? ", torn last row ignored" : "") +
       "; dates from " + (dateGiven ? "--date" : "the file's modification time") + "\n";
  return t + describeSummary(s, firstDay, s.runs.size());
}

int reportSummaries(std::vector<LogReader>& readers, const LogOptions& options, std::FILE* out,
                    std::FILE* err) {
  int status = kLogDone;
  for (LogReader& reader : readers) {
    LogSummarizer summarizer;
    const Status read = reader.readAvailable([&](const LogRecord& record) { summarizer.add(record); });
    reportProblems(reader, err);
    if (!read) {
      std::fprintf(err, "orlo-bms log: %s\n", read.error().c_str());
      status = kLogUnreadable;
      continue;
    }
    const CivilSeconds firstDay = options.firstDay ? *options.firstDay : reader.firstDayFromModification();
    const LogSummary s = summarizer.summary();
    const std::string text = options.json
                                 ? summaryJson(reader, s, firstDay, options.firstDay.has_value()) + "\n"
                                 : summaryText(reader, s, firstDay, options.firstDay.has_value());
    std::fputs(text.c_str(), out);
  }
  return status;
}

}  // namespace orlo::headless
