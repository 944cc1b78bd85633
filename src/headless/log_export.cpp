#include "headless/log_export.h"

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace orlo::headless {
namespace {

constexpr std::size_t kFlushBytes = 1 << 20;

// A value as JSON: the log's text when it is already a JSON number, else the number it reads as.
void appendJsonNumber(std::string& out, std::string_view text) {
  std::size_t i = !text.empty() && text[0] == '-' ? 1 : 0;
  const bool leadingZero = text.size() > i + 1 && text[i] == '0' && text[i + 1] != '.';
  if (!leadingZero) {
    out += text;
    return;
  }
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.17g", std::strtod(std::string(text).c_str(), nullptr));
  out += buffer;
}

void appendCsv(std::string& out, const std::string& time, const LogRow& row) {
  out += time;
  for (std::size_t c = 1; c < kLogColumnCount; ++c) {
    out += ',';
    out += row.text[c];
  }
  out += '\n';
}

void appendJson(std::string& out, const std::string& time, const LogRow& row) {
  out += "{\"TIME\":\"";
  out += time;
  out += '"';
  for (std::size_t c = 1; c < kLogColumnCount; ++c) {
    out += ",\"";
    out += kLogColumnNames[c];
    out += "\":";
    appendJsonNumber(out, row.text[c]);
  }
  out += "}\n";
}

}  // namespace

void reportProblems(const LogReader& reader, std::FILE* err) {
  for (const std::string& problem : reader.problems())
    std::fprintf(err, "orlo-bms log: %s\n", problem.c_str());
  const std::int64_t unseen = reader.problemCount() - static_cast<std::int64_t>(reader.problems().size());
  if (unseen > 0)
    std::fprintf(err, "orlo-bms log: %s: %lld more problems\n", reader.path().c_str(),
                 static_cast<long long>(unseen));
  if (reader.badRows() > 0)
    std::fprintf(err, "orlo-bms log: %s: %lld bad rows skipped\n", reader.path().c_str(),
                 static_cast<long long>(reader.badRows()));
  if (reader.tornRow())
    std::fprintf(err, "orlo-bms log: %s: the last row has no line end yet; ignored\n", reader.path().c_str());
}

int exportLog(LogReader& reader, const LogOptions& options, std::FILE* out, std::FILE* err) {
  CivilSeconds firstDay = 0;
  LogReader* writer = &reader;
  std::optional<LogReader> second;  // the pass that writes, after one that counts the days
  if (options.firstDay) {
    firstDay = *options.firstDay;
  } else {
    // The days the log spans are known only at its end: count them first.
    if (Status counted = reader.readAvailable([](const LogRecord&) {}); !counted) {
      std::fprintf(err, "orlo-bms log: %s\n", counted.error().c_str());
      return kLogUnreadable;
    }
    firstDay = reader.firstDayFromModification();
    Result<LogReader> again = LogReader::open(reader.path());
    if (!again) {
      std::fprintf(err, "orlo-bms log: %s\n", again.error().c_str());
      return kLogUnreadable;
    }
    second.emplace(std::move(again).value());
    writer = &*second;
  }
  std::string text;
  text.reserve(kFlushBytes + 4096);
  if (!options.jsonl) text += logHeaderText() + "\n";
  const Status read = writer->readAvailable([&](const LogRecord& record) {
    const CivilSeconds at = firstDay + record.seconds;
    if ((options.from && at < *options.from) || (options.until && at > *options.until)) return;
    const std::string time = formatCivil(at);
    options.jsonl ? appendJson(text, time, record.row) : appendCsv(text, time, record.row);
    if (text.size() >= kFlushBytes) {
      std::fwrite(text.data(), 1, text.size(), out);
      text.clear();
    }
  });
  std::fwrite(text.data(), 1, text.size(), out);
  reportProblems(*writer, err);
  if (!read) {
    std::fprintf(err, "orlo-bms log: %s\n", read.error().c_str());
    return kLogUnreadable;
  }
  return std::fflush(out) == 0 ? kLogDone : kLogUnreadable;
}

}  // namespace orlo::headless
