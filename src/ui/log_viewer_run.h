#pragma once
// `Orlo_PC --open-log FILE [FILE]`: the recorded log window on its own, no serial line.

#include <QStringList>

#include "ui/command_line.h"

class QWidget;

namespace orlo::ui {

// Runs the window until it closes (or --quit-after); --screenshot saves it once the logs are
// read, after --screenshot-delay. Returns the exit status.
int runLogViewer(const CommandLine& options);

// A new recorded log window of its own (closed with its owner), reading `paths` if any; without
// them it says how to open one.
void showLogViewer(QWidget* owner, const QStringList& paths);

}  // namespace orlo::ui
