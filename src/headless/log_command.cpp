#include "headless/log_command.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "core/log_reader.h"
#include "headless/log_export.h"
#include "headless/log_report.h"

namespace orlo::headless {
namespace {

constexpr char kLogHelp[] = R"(
Dates: the log keeps only the time of day. A row earlier than the row before starts the next
day; a NUMBER that goes back to 0 starts a new run. The last row's day is the file's modification
date unless --date gives the first row's day. Date-times are local time, YYYY-MM-DDTHH:MM:SS.

Exit status:
  0  done (bad rows are skipped, counted and named on standard error)
  2  bad input: options, or a file that is no data log; nothing on standard output
  3  a file that cannot be read
)";

// CLI11 checks a date-time option through this; the value itself is parsed again after.
std::string checkDateTime(const std::string& text) {
  return parseDateTime(text) ? std::string() : "'" + text + "' is no date-time YYYY-MM-DD[THH:MM:SS]";
}

std::string checkDate(const std::string& text) {
  return parseDate(text) ? std::string() : "'" + text + "' is no date YYYY-MM-DD";
}

struct Texts {
  std::string date, from, until, format = "csv";
};

void addExport(CLI::App& log, LogOptions& o, Texts& t) {
  CLI::App* e = log.add_subcommand("export", "write one log as CSV (UTF-8) or JSON lines to standard output");
  e->add_option("file", o.files, "the data log")->required()->expected(1);
  e->add_option("--to", t.format, "csv or jsonl (default csv)")->check(CLI::IsMember({"csv", "jsonl"}));
  e->add_option("--date", t.date, "the first row's day, YYYY-MM-DD")->check(checkDate);
  e->add_option("--from", t.from, "keep rows from this date-time on")->check(checkDateTime);
  e->add_option("--until", t.until, "keep rows up to this date-time")->check(checkDateTime);
  e->footer(kLogHelp);
}

void addSummary(CLI::App& log, LogOptions& o, Texts& t) {
  CLI::App* s = log.add_subcommand("summary", "the figures of each log: runs, cells, spread, Ah, alarms");
  s->add_option("file", o.files, "data logs")->required();
  s->add_flag("--json", o.json, "one JSON object per file");
  s->add_option("--date", t.date, "the first row's day, YYYY-MM-DD (for every file)")->check(checkDate);
  s->footer(kLogHelp);
}

}  // namespace

int parseLogCommand(const std::vector<std::string>& args, LogOptions* options, std::FILE* out,
                    std::FILE* err) {
  CLI::App log("Recorded data logs: export them or sum them up.", "orlo-bms log");
  log.require_subcommand(1);
  Texts texts;
  addExport(log, *options, texts);
  addSummary(log, *options, texts);
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    log.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    const auto chosen = log.get_subcommands();
    std::fputs((chosen.empty() ? log.help() : chosen.front()->help()).c_str(), out);
    return kLogDone;
  } catch (const CLI::ParseError& e) {
    std::fprintf(err, "orlo-bms log: %s\nRun 'orlo-bms log --help'.\n", e.what());
    return kLogBadInput;
  }
  options->action = log.got_subcommand("export") ? LogOptions::Action::Export : LogOptions::Action::Summary;
  options->jsonl = texts.format == "jsonl";
  if (!texts.date.empty()) options->firstDay = parseDate(texts.date);
  if (!texts.from.empty()) options->from = parseDateTime(texts.from);
  if (!texts.until.empty()) options->until = parseDateTime(texts.until);
  return -1;
}

int runLogCommand(const LogOptions& options, std::FILE* out, std::FILE* err) {
  // Every file is opened and its header checked before anything is written, so that a file
  // that is no log leaves standard output empty.
  std::vector<LogReader> readers;
  for (const std::string& file : options.files) {
    bool unreadable = false;
    Result<LogReader> reader = LogReader::open(file, &unreadable);
    if (!reader) {
      std::fprintf(err, "orlo-bms log: %s\n", reader.error().c_str());
      return unreadable ? kLogUnreadable : kLogBadInput;
    }
    readers.push_back(std::move(reader).value());
  }
  if (options.action == LogOptions::Action::Export) return exportLog(readers.front(), options, out, err);
  return reportSummaries(readers, options, out, err);
}

int logCommandMain(const std::vector<std::string>& args) {
  LogOptions options;
  if (const int status = parseLogCommand(args, &options, stdout, stderr); status >= 0) return status;
  return runLogCommand(options, stdout, stderr);
}

}  // namespace orlo::headless
