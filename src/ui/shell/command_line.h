#pragma once
// Orlo_PC's command line, parsed without Qt so that it is tested without a display.

#include <map>
#include <string>
#include <vector>

namespace orlo::ui {

struct CommandLine {
  bool help = false;
  bool version = false;
  std::map<int, std::string> ports;  // COMn -> device path
  int openPort = 0;                  // COMn to select and start once the window is up; 0 = none
  bool stats = false;                // print the receive counters on exit
  bool reconnect = true;             // false: --no-reconnect, a lost port stays closed
  std::string logPath;               // unattended data log, once the port is open
  int logInterval = 0;               // seconds
  double quitAfter = 0;              // seconds; 0 = run until closed
  std::string screenshot;            // PNG of the window, taken after screenshotDelay seconds
  double screenshotDelay = 5;
  int tab = 0;                        // tab to show first, 0 ... 3
  std::string traceFile;              // timestamps of field updates, for latency measurements
  std::vector<std::string> openLogs;  // --open-log FILE [FILE]: the recorded log window alone
};

struct CommandLineResult {
  bool ok = false;
  CommandLine options;
  std::string error;  // what is wrong, for the user, when !ok
};

// args: the arguments after the program name.
CommandLineResult parseCommandLine(const std::vector<std::string>& args);

std::string usageText();
std::string versionText();  // "Orlo_PC VERSION" and a newline

}  // namespace orlo::ui
