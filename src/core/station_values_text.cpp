#include "core/station_values_text.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "util/text_format.h"

namespace orlo {
namespace {

using Json = nlohmann::json;

// A number as the report holds it: whole numbers as they are, others to four significant digits
// (never in exponent form).
std::string number(const Json& v) {
  if (v.is_number_integer() || v.is_number_unsigned()) return v.dump();
  if (!v.is_number()) return v.is_string() ? v.get<std::string>() : v.dump();
  const double x = v.get<double>();
  char text[48];
  std::snprintf(text, sizeof text, std::fabs(x) < 1e4 ? "%.4g" : "%.0f", x);
  return text;
}

// The member `key` of `o`, null when `o` is no object or has none.
Json at(const Json& o, const char* key) {
  if (!o.is_object()) return Json();
  const auto it = o.find(key);
  return it == o.end() ? Json() : *it;
}

// The member as text ("" when missing).
std::string text(const Json& o, const char* key) {
  const Json v = at(o, key);
  return v.is_null() ? std::string() : number(v);
}

std::string listed(const Json& values, const char* separator = ", ") {
  std::string out;
  if (!values.is_array()) return number(values);
  for (const Json& v : values) out += (out.empty() ? "" : separator) + number(v);
  return out;
}

// " (limits 3000 … 3600 mV)" for a [low, high] pair, " (limit 50 mV)" for one; "" for none.
std::string limit(const Json& limits, const char* key, const std::string& unit) {
  const Json l = at(limits, key);
  if (l.is_null()) return {};
  if (l.is_array() && l.size() == 2)
    return " (limits " + number(l[0]) + " … " + number(l[1]) + " " + unit + ")";
  return " (limit " + number(l) + " " + unit + ")";
}

std::string atRest(const Json& v) {
  const Json limits = at(v, "limits");
  const Json alarms = at(v, "alarms");
  return joinNonEmpty(
      {"cells " + listed(at(v, "cells_mv")) + " mV" + limit(limits, "cell_mv", "mV"),
       "spread " + number(at(v, "spread_mv")) + " mV" + limit(limits, "spread_mv", "mV"),
       "temperatures " + listed(at(v, "temperatures_c")) + " °C" + limit(limits, "temp_c", "°C"),
       "current " + number(at(v, "current_a")) + " A" + limit(limits, "current_a", "A"),
       alarms.empty() ? "no alarm" : "alarms " + listed(alarms)},
      "; ");
}

std::string balance(const Json& v) {
  std::vector<std::string> parts;
  if (const Json c = at(v, "condition"); c.is_object())
    parts.push_back("condition threshold " + number(at(c, "threshold_mv")) + " mV, difference " +
                    number(at(c, "difference_mv")) + " mV, release " + number(at(c, "release_mv")) + " mV");
  std::string cells;
  for (const Json& c : at(v, "cells")) {
    std::string one = "cell " + number(at(c, "cell")) + " " + text(c, "result");
    if (text(c, "result") != "pass") one += " (balancing seen: " + text(c, "seen") + ")";
    cells += (cells.empty() ? "" : ", ") + one;
  }
  parts.push_back(cells);
  if (v.contains("cells_passed"))
    parts.push_back(text(v, "cells_passed") + " passed within " + number(at(v, "wait_s")) + " s");
  if (v.contains("manual_balance_off"))
    parts.push_back("manual balance off " + text(v, "manual_balance_off"));
  return joinNonEmpty(parts, "; ");
}

std::string calibrationPoint(const Json& p) {
  std::string shown = text(p, "direction") + " point " + number(at(p, "point")) + ": meter " +
                      number(at(p, "reading_ma")) + " mA";
  if (p.contains("problem")) return shown + ", " + text(p, "problem");
  return shown + ", board " + number(at(p, "measured_ma")) + " mA (off " + number(at(p, "deviation_ma")) +
         " mA, limit " + number(at(p, "tolerance_ma")) + " mA), coefficient " + number(at(p, "coefficient"));
}

std::string calibration(const Json& v) {
  std::vector<std::string> parts;
  for (const Json& p : at(v, "points")) parts.push_back(calibrationPoint(p));
  for (const char* d : {"discharge", "charge"}) {
    const std::string key = std::string("error_evaluation_") + d;
    if (v.contains(key))
      parts.push_back("error evaluation " + std::string(d) + " " + number(at(v, key.c_str())) + " (limit " +
                      number(at(v, "max_error")) + ")");
  }
  return joinNonEmpty(parts, "; ");
}

std::string parameters(const Json& v) {
  std::string mismatches;
  for (const Json& m : at(v, "mismatches"))
    mismatches += (mismatches.empty() ? "mismatches: " : ", ") + text(m, "field") + " wrote " +
                  number(at(m, "written")) + ", read back " + number(at(m, "read_back"));
  const std::string changes = text(v, "changes");
  const std::string problem = text(v, "write_record_problem");
  return joinNonEmpty(
      {text(v, "outcome"), "file " + text(v, "file"), changes.empty() ? "" : "changes: " + changes,
       mismatches, text(v, "snapshot").empty() ? "" : "snapshot " + text(v, "snapshot"),
       problem.empty() ? "" : "writes.csv: " + problem},
      "; ");
}

std::string identify(const Json& v) {
  const std::string label = text(v, "label");
  return joinNonEmpty({v.contains("board_id") ? "board ID " + text(v, "board_id") : "",
                       label.empty() ? "" : "label " + label},
                      "; ");
}

}  // namespace

std::string stepValuesText(const StepReport& step) {
  const Json& v = step.values;
  if (!v.is_object() || v.empty()) return {};
  switch (step.step) {
    case StationStep::Identify:
      return identify(v);
    case StationStep::Rest:
    case StationStep::Final:
      return v.contains("cells_mv") ? atRest(v) : std::string();
    case StationStep::Balance:
      return balance(v);
    case StationStep::Calibration:
      return calibration(v);
    case StationStep::Parameters:
      return parameters(v);
  }
  return {};
}

}  // namespace orlo
