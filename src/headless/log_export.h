#pragma once
// `orlo-bms log export`: one data log's rows as CSV (UTF-8, LF, the log's own column names, TIME
// as a local date-time) or as JSON lines with the same names.

#include <cstdio>

#include "core/log_reader.h"
#include "headless/log_command.h"

namespace orlo::headless {

// Writes the rows of `reader` (opened, header checked) to `out`; problems go to `err`.
// Returns the exit status.
int exportLog(LogReader& reader, const LogOptions& options, std::FILE* out, std::FILE* err);

// The reader's problems, bad rows and a torn last row, as lines on `err`.
void reportProblems(const LogReader& reader, std::FILE* err);

}  // namespace orlo::headless
