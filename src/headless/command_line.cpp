#include "headless/command_line.h"

#include <CLI/CLI.hpp>

#include <sstream>

namespace orlo::headless {
namespace {

constexpr char kVersion[] = "orlo-bms 1.0.0.1";
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
  optionalOption(*monitor, "--config", o.configFile,
                 "TOML file with the same settings; options given here win");
  optionalOption(*monitor, "--ca-file", o.caFile,
                 "CA certificate(s) to verify an mqtts:// broker (default: system CAs)");
  optionalOption(*monitor, "--cert-file", o.certFile, "client certificate for mqtts://");
  optionalOption(*monitor, "--key-file", o.keyFile, "key of the client certificate");
  optionalOption(*monitor, "--password-file", o.passwordFile, "file whose first line is USER:PASSWORD");
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
  app.require_subcommand(1);
  addMonitor(app, result.monitor);

  if (!args.empty() && args[0].rfind("-", 0) != 0 && !knownCommand(app, args[0])) {
    result.error = "orlo-bms: unknown command '" + args[0] + "' (known: monitor)\n";
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
    result.output = std::string(kVersion) + "\n";
    result.exitCode = 0;
    return result;
  } catch (const CLI::ParseError& e) {
    // Help of the subcommand asked for, e.g. `orlo-bms monitor --help`.
    result.error =
        std::string("orlo-bms: ") + e.what() + "\nRun 'orlo-bms --help' or 'orlo-bms monitor --help'.\n";
    result.exitCode = kBadInput;
    return result;
  }
  if (app.got_subcommand("monitor")) result.command = CommandLine::Command::Monitor;
  return result;
}

}  // namespace orlo::headless
