#pragma once
// The command line of `orlo-bms`: one subcommand per job (`monitor`; `params` joins it), each
// with its own options. Parsing never touches a device or the network.

#include <string>
#include <vector>

#include "headless/monitor_settings.h"

namespace orlo::headless {

struct CommandLine {
  enum class Command { None, Monitor };
  Command command = Command::None;
  MonitorOverrides monitor;
  int exitCode = -1;   // >= 0: nothing to run, exit with this (help, version, a bad option)
  std::string output;  // help or version text for standard output
  std::string error;   // the message for standard error
};

CommandLine parseCommandLine(const std::vector<std::string>& args);

}  // namespace orlo::headless
