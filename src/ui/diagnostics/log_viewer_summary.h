#pragma once
// The text of the log window's summary panel and of its status line.

#include <QString>

#include "core/loaded_log.h"

namespace orlo::ui {

// Duration, runs, each cell's minimum/maximum/mean, the largest spread and when, Ah and Wh each
// way, time in each mode, each alarm flag, the change of the cycle count.
QString describeSummary(const LogSummary& s, CivilSeconds firstDay, const QString& title);

// Which first-row date the window used, and what was skipped.
QString datesNote(const LoadedLog& log, const LoadedLog* second);

}  // namespace orlo::ui
