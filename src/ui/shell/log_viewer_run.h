#pragma once
// `Orlo_PC --open-log FILE [FILE]`: the recorded log window on its own, no serial line.

#include "ui/shell/command_line.h"

namespace orlo::ui {

// Runs the window until it closes (or --quit-after); --screenshot saves it once the logs are
// read, after --screenshot-delay. Returns the exit status.
int runLogViewer(const CommandLine& options);

}  // namespace orlo::ui
