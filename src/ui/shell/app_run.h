#pragma once
// What Orlo_PC's main() does: parse the command line, build the window, run the event loop.

#include <string>

#include "link/receiver.h"

namespace orlo::ui {

int runOrloPc(int argc, char** argv);

// The receive counters as "key=value" lines, as --stats prints them.
std::string formatReceiveStats(const ReceiveStats& stats);

}  // namespace orlo::ui
