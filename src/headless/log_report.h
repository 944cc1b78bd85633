#pragma once
// `orlo-bms log summary`: each log's figures as text or as one JSON object per file.

#include <cstdio>
#include <string>
#include <vector>

#include "core/log_reader.h"
#include "core/log_summary.h"
#include "headless/log_command.h"

namespace orlo::headless {

// Reads each log (opened, header checked) to its end and writes its summary to `out`; problems
// go to `err`. Returns the exit status.
int reportSummaries(std::vector<LogReader>& readers, const LogOptions& options, std::FILE* out,
                    std::FILE* err);

// One summary as a JSON object on one line; `firstDay` turns its times into date-times.
std::string summaryJson(const LogReader& reader, const LogSummary& s, CivilSeconds firstDay, bool dateGiven);

// The same as text for a person.
std::string summaryText(const LogReader& reader, const LogSummary& s, CivilSeconds firstDay, bool dateGiven);

}  // namespace orlo::headless
