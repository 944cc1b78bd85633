#pragma once
// The command line of orlo-bms-sim.

#include <string>
#include <vector>

#include "sim/simulator.h"

namespace orlo::sim {

struct SimOptions {
  SimSettings settings;
  std::string linkPath;    // symlink kept pointing at the pseudo-terminal
  std::string devicePath;  // a real serial device instead of a pseudo-terminal
  std::string recordPath;  // one line per received request, appended
  std::string stampPath;   // one line per live data frame sent, appended
  std::string reportPath;  // counters written at exit
  bool pace = false;       // a pseudo-terminal paced as a 38400 baud line
  bool verbose = false;
  bool help = false;
  bool version = false;
};

// False with `error` set for an unknown option, a missing or malformed value, or a value out
// of range. `args` excludes the program name.
bool parseOptions(const std::vector<std::string>& args, SimOptions& options, std::string& error);
std::string helpText();
std::string versionText();  // "orlo-bms-sim VERSION" and a newline

}  // namespace orlo::sim
