#pragma once
// `orlo-bms log export|summary`: recorded data logs turned into clean files and figures for other
// tools. No device, no network; the files are only ever opened for reading.

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "core/log_dates.h"

namespace orlo::headless {

enum LogExit {
  kLogDone = 0,
  kLogBadInput = 2,    // options, or a file that is no data log: nothing on standard output
  kLogUnreadable = 3,  // a file that cannot be read
};

struct LogOptions {
  enum class Action { Export, Summary };
  Action action = Action::Summary;
  std::vector<std::string> files;
  bool jsonl = false;                       // export: JSON lines instead of CSV
  bool json = false;                        // summary: one JSON object per file
  std::optional<CivilSeconds> firstDay;     // --date: the first row's day
  std::optional<CivilSeconds> from, until;  // export: the range kept, both ends included
};

// Parses the words after `log`. Returns -1 with *options filled, or an exit status to end with
// (help, or bad options, with the text written to `out` or `err`).
int parseLogCommand(const std::vector<std::string>& args, LogOptions* options, std::FILE* out,
                    std::FILE* err);

// Runs the parsed command; returns the exit status.
int runLogCommand(const LogOptions& options, std::FILE* out, std::FILE* err);

// `orlo-bms log ...`: both of the above.
int logCommandMain(const std::vector<std::string>& args);

}  // namespace orlo::headless
