#include "headless/command_line.h"

#include <CLI/CLI.hpp>

#include <sstream>

#include "orlo_version.h"

namespace orlo::headless {
namespace {

const std::string kVersion = std::string("orlo-bms ") + kProjectVersion;
constexpr int kBadInput = 2;

// CLI11 writes to optionals only through a plain value; these carry the value across.
template <typename T>
void optionalOption(CLI::App& app, const std::string& name, std::optional<T>& target,
                    const std::string& help) {
  app.add_option_function<T>(
      name, [&target](const T& value) { target = value; }, help);
}

void addMonitor(CLI::App& app, MonitorOverrides& o) {
  CLI::App* monitor =
      app.add_subcommand("monitor", "poll packs once a second and publish them to MQTT or stdout");
  monitor->add_option("--pack", o.packs, "NAME=DEVICE, repeatable; NAME of letters, digits, '-', '_'")
      ->type_name("NAME=DEVICE")
      ->take_all();
  optionalOption(*monitor, "--mqtt", o.mqtt,
                 "mqtt://HOST[:PORT] or mqtts://HOST[:PORT]; without it, JSON lines on stdout");
  optionalOption(*monitor, "--topic-prefix", o.topicPrefix, "first level of every topic (default orlo)");
  optionalOption(*monitor, "--log-dir", o.logDir, "write each pack's data log to DIR/NAME.csv");
  monitor
      ->add_option_function<int>(
          "--interval", [&o](const int& v) { o.intervalSeconds = v; },
          "seconds between data log rows (default 1)")
      ->check(CLI::Range(1, 86400));
  monitor
      ->add_option_function<int>(
          "--keepalive", [&o](const int& v) { o.keepAliveSeconds = v; },
          "seconds of the MQTT keep-alive (default 30); a broker silent for 1.5 times it is reconnected")
      ->check(CLI::Range(5, 3600));
  optionalOption(*monitor, "--config", o.configFile,
                 "TOML file with the same settings; options given here win");
  optionalOption(*monitor, "--ca-file", o.caFile,
                 "CA certificate(s) to verify an mqtts:// broker (default: system CAs)");
  optionalOption(*monitor, "--cert-file", o.certFile, "client certificate for mqtts://");
  optionalOption(*monitor, "--key-file", o.keyFile, "key of the client certificate");
  optionalOption(*monitor, "--password-file", o.passwordFile, "file whose first line is USER:PASSWORD");
  optionalOption(*monitor, "--metrics", o.metrics,
                 "serve Prometheus /metrics on [ADDR:]PORT (numeric address; default 127.0.0.1)");
}

constexpr char kParamsHelp[] = R"(
ACTION is one of
  read   read the board's 44 protection parameters into FILE, or to standard output without FILE
  write  check FILE, keep what the board holds as a snapshot, write FILE, read it back, compare
  diff   read the board and list every parameter whose value differs from FILE

write keeps each snapshot in $XDG_DATA_HOME/Orlo_PC/snapshots (default ~/.local/share) and adds
a line to writes.csv beside it, whatever came of the write.

Exit status:
  0  done: read, written and verified, or no difference
  1  diff: some parameters differ (listed on standard output)
  2  bad input: options, FILE unreadable or not a parameter file, or the snapshot could not
     be kept; nothing was written to the board
  3  write: the read back differs from what was written (the fields are listed)
  4  no answer from the board, or the device could not be opened or went away
)";

void addParams(CLI::App& app, ParamsOptions& o, std::string& action) {
  CLI::App* params = app.add_subcommand(
      "params", "read, write or compare the board's protection parameters (44-line parameter file)");
  params->add_option("action", action, "read, write or diff")
      ->required()
      ->check(CLI::IsMember({"read", "write", "diff"}));
  params->add_option("file", o.file, "the parameter file (needed by write and diff)");
  params->add_option("--device", o.device, "the serial device of the board, e.g. /dev/ttyUSB0")->required();
  params->footer(kParamsHelp);
}

// What `params ACTION` needs beyond CLI11's own checks; "" when it has it.
std::string checkParams(const std::string& action, ParamsOptions& o) {
  using Action = ParamsOptions::Action;
  o.action = action == "write" ? Action::Write : action == "diff" ? Action::Diff : Action::Read;
  if (o.action != Action::Read && o.file.empty()) return "params " + action + " needs a FILE";
  if (o.device.empty()) return "--device needs a device";
  return {};
}

constexpr char kStationHelp[] = R"(
Runs the recipe's steps that need no operator (identify, rest, balance, parameters, final) on
every board at once, each on its own schedule; a recipe with calibration points asks for the
meter's readings on the terminal and takes one device. Each board gets a row in station.csv
and a JSON report in the recipe's record_dir.

Exit status:
  0  every board passed
  1  a board failed or its record could not be written (each is named on standard error)
  2  bad recipe or options: nothing was sent
  4  a device could not be opened or its board did not answer
)";

void addStation(CLI::App& app, StationOptions& o) {
  CLI::App* station = app.add_subcommand("station", "test and set up boards at the end of the line");
  station->add_option("--recipe", o.recipe, "the station's recipe (TOML)")->required();
  station->add_option("--device", o.devices, "a board's serial device; repeatable")->required()->take_all();
  station->add_option("--label", o.labels, "the label of the board on the --device in the same place")
      ->take_all();
  station->add_option("--station", o.station, "the station's name in the record (default: the host name)");
  station->add_option("--operator", o.operatorName, "the operator's name in the record (default: $USER)");
  station->footer(kStationHelp);
}

void addAlert(CLI::App& app, std::string& config, std::string& action) {
  CLI::App* alert = app.add_subcommand("alert", "send a test notice to every [[notify]] channel of a config");
  alert->add_option("action", action, "test")->required()->check(CLI::IsMember({"test"}));
  alert->add_option("--config", config, "the monitor's TOML config file")->required();
}

bool knownCommand(const CLI::App& app, const std::string& name) {
  for (const CLI::App* sub : app.get_subcommands({}))
    if (sub->get_name() == name) return true;
  return false;
}

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& args) {
  CommandLine result;
  CLI::App app("Unattended monitoring of battery packs.", "orlo-bms");
  app.set_version_flag("--version", kVersion);
  app.set_help_all_flag("--help-all", "Print the help of every command and exit");
  app.require_subcommand(1);
  addMonitor(app, result.monitor);
  std::string paramsAction;
  addParams(app, result.params, paramsAction);
  addStation(app, result.station);
  std::string alertAction;
  addAlert(app, result.alertConfig, alertAction);

  // Listed for --help only: main() hands `log` to its own parser (log_command.h).
  app.add_subcommand("log", "export recorded data logs as CSV or JSON lines, or sum them up")->allow_extras();

  if (!args.empty() && args[0].rfind("-", 0) != 0 && !knownCommand(app, args[0])) {
    result.error =
        "orlo-bms: unknown command '" + args[0] + "' (known: monitor, params, station, log, alert)\n";
    result.exitCode = kBadInput;
    return result;
  }
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    // `orlo-bms monitor --help` shows the subcommand's options, not the overview.
    const auto chosen = app.get_subcommands();
    result.output = chosen.empty() ? app.help() : chosen.front()->help();
    result.exitCode = 0;
    return result;
  } catch (const CLI::CallForAllHelp&) {
    result.output = app.help("", CLI::AppFormatMode::All);
    result.exitCode = 0;
    return result;
  } catch (const CLI::CallForVersion&) {
    result.output = kVersion + "\n";
    result.exitCode = 0;
    return result;
  } catch (const CLI::ParseError& e) {
    // Help of the subcommand asked for, e.g. `orlo-bms monitor --help`.
    result.error =
        std::string("orlo-bms: ") + e.what() + "\nRun 'orlo-bms --help' or 'orlo-bms COMMAND --help'.\n";
    result.exitCode = kBadInput;
    return result;
  }
  if (app.got_subcommand("monitor")) result.command = CommandLine::Command::Monitor;
  if (app.got_subcommand("station")) result.command = CommandLine::Command::Station;
  if (app.got_subcommand("alert")) result.command = CommandLine::Command::AlertTest;
  if (app.got_subcommand("params")) {
    result.command = CommandLine::Command::Params;
    if (const std::string problem = checkParams(paramsAction, result.params); !problem.empty()) {
      result.error = "orlo-bms: " + problem + "\nRun 'orlo-bms params --help'.\n";
      result.exitCode = kBadInput;
    }
  }
  return result;
}

}  // namespace orlo::headless
