#include <curl/curl.h>
#include <mosquitto.h>

#include <cstdio>
#include <string>
#include <vector>

#include "headless/alert_command.h"
#include "headless/command_line.h"
#include "headless/log_command.h"
#include "headless/monitor.h"
#include "headless/params_command.h"
#include "headless/station_command.h"

int main(int argc, char** argv) {
  using namespace orlo::headless;
  if (argc > 1 && std::string(argv[1]) == "log")
    return logCommandMain(std::vector<std::string>(argv + 2, argv + argc));
  const CommandLine line = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (line.exitCode >= 0) {
    std::fputs(line.output.c_str(), stdout);
    std::fputs(line.error.c_str(), stderr);
    return line.exitCode;
  }
  if (line.command == CommandLine::Command::Params) return runParams(line.params);
  if (line.command == CommandLine::Command::Station) return runStation(line.station);
  curl_global_init(CURL_GLOBAL_DEFAULT);
  if (line.command == CommandLine::Command::AlertTest) return runAlertTest(line.alertConfig);
  MonitorSettings settings;
  if (const std::string error = buildSettings(line.monitor, settings); !error.empty()) {
    std::fprintf(stderr, "orlo-bms: %s\n", error.c_str());
    return 2;
  }
  mosquitto_lib_init();
  const int status = runMonitor(settings);
  mosquitto_lib_cleanup();
  return status;
}
