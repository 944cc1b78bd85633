#include "ui/shell/command_line.h"

#include <cstdlib>
#include <functional>

#include "link/port_map.h"
#include "orlo_version.h"

namespace orlo::ui {
namespace {

// Qt's timers count milliseconds in an int: a longer span would never fire.
constexpr double kLongestTimerSeconds = 2147483;
// The data log's own range: up to a day between rows.
constexpr int kLongestLogInterval = 86400;

bool toNumber(const std::string& text, double limit, double* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (*end != '\0' || !(value > 0) || !(value <= limit)) return false;
  *out = value;
  return true;
}

class Parser {
 public:
  using Handler = std::function<bool(const std::string&)>;

  CommandLineResult run(const std::vector<std::string>& args) {
    for (std::size_t i = 0; i < args.size(); ++i) {
      const std::string& arg = args[i];
      if (arg == "--help" || arg == "-h") {
        result_.options.help = true;
        continue;
      }
      if (arg == "--version") {
        result_.options.version = true;
        continue;
      }
      if (arg == "--stats") {
        result_.options.stats = true;
        continue;
      }
      if (arg == "--open-log") {
        if (i + 1 >= args.size()) return fail("--open-log needs a FILE");
        result_.options.openLogs.push_back(args[++i]);
        if (i + 1 < args.size() && args[i + 1].rfind("-", 0) != 0)
          result_.options.openLogs.push_back(args[++i]);
        continue;
      }
      if (arg == "--no-reconnect") {
        result_.options.reconnect = false;
        continue;
      }
      const auto handler = handlers().find(arg);
      if (handler == handlers().end()) return fail("unknown option '" + arg + "'");
      if (i + 1 >= args.size()) return fail(arg + " needs a value");
      if (!handler->second(args[++i])) return result_;
    }
    return finish();
  }

 private:
  const std::map<std::string, Handler>& handlers() {
    if (handlers_.empty()) {
      CommandLine& o = result_.options;
      handlers_ = {
          {"--port", [this](const std::string& v) { return port(v); }},
          {"--open", [this, &o](const std::string& v) { return com(v, "--open", &o.openPort); }},
          {"--log", [&o](const std::string& v) { return o.logPath = v, true; }},
          {"--interval", [this](const std::string& v) { return interval(v); }},
          {"--quit-after",
           [this, &o](const std::string& v) { return number(v, "--quit-after", &o.quitAfter); }},
          {"--screenshot", [&o](const std::string& v) { return o.screenshot = v, true; }},
          {"--screenshot-delay",
           [this, &o](const std::string& v) { return number(v, "--screenshot-delay", &o.screenshotDelay); }},
          {"--tab", [this](const std::string& v) { return tab(v); }},
          {"--trace-updates", [&o](const std::string& v) { return o.traceFile = v, true; }},
      };
    }
    return handlers_;
  }

  bool port(const std::string& value) {
    const PortMappingParse parsed = parsePortMapping(value);
    if (!parsed.ok)
      return fail("--port wants COMn=PATH with n from 1 to 16, e.g. --port COM1=/dev/ttyUSB0, not '" + value +
                  "'"),
             false;
    result_.options.ports[parsed.mapping.port] = parsed.mapping.path;
    return true;
  }

  bool com(const std::string& value, const char* option, int* out) {
    *out = parsePortName(value);
    if (*out == 0) return fail(std::string(option) + " wants COM1 ... COM16, not '" + value + "'"), false;
    return true;
  }

  bool number(const std::string& value, const char* option, double* out) {
    if (!toNumber(value, kLongestTimerSeconds, out))
      return fail(std::string(option) + " wants a positive number of seconds up to 2147483, not '" + value +
                  "'"),
             false;
    return true;
  }

  bool interval(const std::string& value) {
    double seconds = 0;
    if (!toNumber(value, kLongestLogInterval, &seconds) || seconds != static_cast<int>(seconds))
      return fail("--interval wants a whole positive number of seconds up to 86400, not '" + value + "'"),
             false;
    result_.options.logInterval = static_cast<int>(seconds);
    return true;
  }

  bool tab(const std::string& value) {
    if (value.size() != 1 || value[0] < '1' || value[0] > '4') return fail("--tab wants 1, 2, 3 or 4"), false;
    result_.options.tab = value[0] - '1';
    return true;
  }

  CommandLineResult finish() {
    const CommandLine& o = result_.options;
    if (!o.logPath.empty() && o.logInterval == 0) return fail("--log needs --interval SECONDS");
    if (o.logPath.empty() && o.logInterval != 0) return fail("--interval goes with --log PATH");
    if (!o.logPath.empty() && o.openPort == 0)
      return fail("--log needs --open COMn: rows are written while the port is open");
    result_.ok = true;
    return result_;
  }

  CommandLineResult fail(const std::string& why) {
    result_.ok = false;
    result_.error = why;
    return result_;
  }

  CommandLineResult result_;
  std::map<std::string, Handler> handlers_;
};

}  // namespace

CommandLineResult parseCommandLine(const std::vector<std::string>& args) {
  return Parser().run(args);
}

std::string usageText() {
  return "Usage: Orlo_PC [options]\n"
         "Host tool for the battery pack's BMS, on a serial line at 38400,N,8,1.\n"
         "\n"
         "  --port COMn=PATH      let COMn (1 ... 16) stand for the serial device PATH,\n"
         "                        e.g. --port COM1=/dev/ttyUSB0 (repeatable)\n"
         "  --open COMn           select COMn and press \"Start Up\" once the window is up\n"
         "  --log PATH --interval SECONDS\n"
         "                        once the port is open, log the telemetry to PATH every\n"
         "                        SECONDS (1 ... 86400), as \"Save  file\" would (needs --open)\n"
         "  --stats               print the receive counters when the program ends\n"
         "  --no-reconnect        leave a lost port closed in this run, whatever \"Reconnect\n"
         "                        Automatically\" says\n"
         "  --tab N               show tab N (1 ... 4) first\n"
         "  --open-log FILE [FILE]\n"
         "                        show the recorded data log FILE in the log window (and\n"
         "                        compare it with the second FILE) instead of the main window\n"
         "  --screenshot FILE     save a PNG of the window after --screenshot-delay SECONDS\n"
         "                        (default 5)\n"
         "  --quit-after SECONDS  close the window after SECONDS (up to 2147483)\n"
         "  --trace-updates FILE  write a timestamp for every field update to FILE\n"
         "  --help                show this text\n"
         "  --version             show the version\n"
         "\n"
         "Without --port, COMn stands for the n-th serial device found (see the text under\n"
         "the port box).\n";
}

std::string versionText() {
  return std::string("Orlo_PC ") + kProjectVersion + "\n";
}

}  // namespace orlo::ui
