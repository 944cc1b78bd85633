#include "core/station_record.h"

#include <sstream>

#include "core/alarm_parameter_file.h"
#include "core/snapshot_store.h"
#include "util/platform.h"

namespace orlo {
namespace {

constexpr std::size_t kRecordMaxBytes = 64 * 1024 * 1024;

// A label as part of a file name: letters, digits, '-', '_' and '.'; anything else becomes '_'.
std::string fileNamePart(const std::string& text) {
  std::string out;
  for (char c : text.substr(0, 40)) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_' || c == '.';
    out += plain ? c : '_';
  }
  return out;
}

std::string reportName(const BoardReport& r) {
  std::string time;
  for (char c : r.time) {
    if (c != ':') time += c;
  }
  std::string name = time + "_ID" + (r.boardId >= 0 ? std::to_string(r.boardId) : std::string("unknown"));
  if (!r.label.empty()) name += "_" + fileNamePart(r.label);
  return name;
}

}  // namespace

StationRecord::StationRecord(std::string folder) : folder_(std::move(folder)) {}

Result<std::string> StationRecord::writeJson(const BoardReport& report, const std::string& name) const {
  // Two boards of the same ID and label in one second still get a report each.
  std::string path = folder_ + "/" + name + ".json";
  for (int n = 2; pathKind(path) != PathKind::Missing && n < 1000; ++n)
    path = folder_ + "/" + name + "~" + std::to_string(n) + ".json";
  const Status written = replaceFileContent(path, reportText(report));
  if (written) return path;
  return fail("cannot write " + path + ": " + written.error());
}

void StationRecord::save(BoardReport& report, const ExtraReport& extra, const std::string& extension) const {
  if (const Status made = makeFolders(folder_); !made) {
    report.result = BoardResult::Error;
    report.error = made.error();
    return;
  }
  const auto failWith = [&report](const std::string& why) {
    report.result = BoardResult::Error;
    report.error = report.error.empty() ? why : report.error + "; " + why;
  };
  const Result<std::string> written = writeJson(report, reportName(report));
  if (!written) failWith(written.error());
  const std::string json = written ? *written : std::string();
  const std::string other = json.empty() ? std::string() : json.substr(0, json.size() - 5) + extension;
  report.reportPath = json;
  if (extra && !other.empty()) {
    if (const Status extraWritten = extra(report, other); extraWritten) {
      report.reportPath = other;
    } else {
      failWith("cannot write " + other + ": " + extraWritten.error());
      (void)replaceFileContent(json, reportText(report));
    }
  }
  const BoardResult meant = report.result;
  if (const Status appended = appendLocked(csvPath(), stationCsvHeader(), stationCsvRow(report)); !appended) {
    failWith(appended.error());
    // The reports said what the row could not: make them say ERROR too.
    if (!json.empty() && meant != BoardResult::Error) {
      (void)replaceFileContent(json, reportText(report));
      if (extra && !other.empty()) (void)extra(report, other);
    }
  }
}

StationRecord::Counts StationRecord::countsOf(const std::string& today) const {
  Counts counts;
  const Result<std::string> content = readSmallFile(csvPath(), kRecordMaxBytes);
  if (!content) return counts;
  std::istringstream lines(*content);
  for (std::string line; std::getline(lines, line);) {
    const std::vector<std::string> f = splitCsvLine(line);
    if (f.size() < 9 || f[0].compare(0, today.size(), today) != 0) continue;
    ++counts.tested;
    if (f[7] == "PASS")
      ++counts.passed;
    else
      ++counts.failed;
  }
  return counts;
}

std::vector<std::string> splitCsvLine(const std::string& line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
      fields.back() += '"';
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      fields.emplace_back();
    } else if (c != '\r') {
      fields.back() += c;
    }
  }
  return fields;
}

std::string StationRecord::passedToday(int boardId, const std::string& label,
                                       const std::string& today) const {
  const Result<std::string> content = readSmallFile(csvPath(), kRecordMaxBytes);
  if (!content) return {};
  std::istringstream lines(*content);
  std::string found;
  for (std::string line; std::getline(lines, line);) {
    const std::vector<std::string> f = splitCsvLine(line);
    if (f.size() < 9 || f[7] != "PASS" || f[0].compare(0, today.size(), today) != 0) continue;
    if (boardId >= 0 && f[5] == std::to_string(boardId)) return "board ID " + f[5];
    if (!label.empty() && f[6] == label) found = "label " + label;
  }
  return found;
}

}  // namespace orlo
