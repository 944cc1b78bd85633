#pragma once
// The command line of `orlo-bms`: one subcommand per job (`monitor`, `params`, `station`,
// `alert`; `log` has a parser of its own), each with its
// own options. Parsing never touches a device, a file or the network.

#include <string>
#include <vector>

#include "headless/monitor_settings.h"

namespace orlo::headless {

struct ParamsOptions {
  enum class Action { Read, Write, Diff };
  Action action = Action::Read;
  std::string device;
  std::string file;  // read: "" for standard output; write and diff: the parameter file
};

struct StationOptions {
  std::string recipe;
  std::vector<std::string> devices;
  std::vector<std::string> labels;  // one per device, in the devices' order
  std::string station;              // "" for the host's name
  std::string operatorName;         // "" for $USER
};

struct CommandLine {
  enum class Command { None, Monitor, Params, Station, AlertTest };
  Command command = Command::None;
  MonitorOverrides monitor;
  ParamsOptions params;
  StationOptions station;
  std::string alertConfig;  // alert test: the config file
  int exitCode = -1;        // >= 0: nothing to run, exit with this (help, version, a bad option)
  std::string output;       // help or version text for standard output
  std::string error;        // the message for standard error
};

CommandLine parseCommandLine(const std::vector<std::string>& args);

}  // namespace orlo::headless
