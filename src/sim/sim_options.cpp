#include "sim/sim_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "orlo_version.h"

namespace orlo::sim {

namespace {

// False for a bad value; `why` may then say more than the option's own syntax does.
using Setter = bool (*)(SimOptions&, const std::string& value, std::string& why);

struct Option {
  const char* name;
  const char* value;  // nullptr: a flag without a value
  const char* help;
  Setter set;
};

bool number(const std::string& text, double low, double high, double& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  out = std::strtod(text.c_str(), &end);
  return errno == 0 && *end == '\0' && std::isfinite(out) && out >= low && out <= high;
}

bool seconds(const std::string& text, double& out) {
  return number(text, 0, 1e7, out);
}

const Option kOptions[] = {
    {"--link", "PATH", "also keep a symlink PATH to the pseudo-terminal (PATH: absent or a dangling link)",
     [](SimOptions& o, const std::string& v, std::string&) { return !(o.linkPath = v).empty(); }},
    {"--device", "PATH", "use this serial device (38400 8N1 raw) instead of a pseudo-terminal",
     [](SimOptions& o, const std::string& v, std::string&) { return !(o.devicePath = v).empty(); }},
    {"--split", "MODE", "how answers are cut into writes: whole (default), byte, random, glue",
     [](SimOptions& o, const std::string& v, std::string&) {
       return parseSplitMode(v, o.settings.faults.split);
     }},
    {"--corrupt", "RATIO", "share 0..1 of frames sent with a wrong checksum",
     [](SimOptions& o, const std::string& v, std::string&) {
       return number(v, 0, 1, o.settings.faults.corruptRatio);
     }},
    {"--garbage", "RATIO", "share 0..1 of frames preceded by 1-16 random bytes (some with AA 55)",
     [](SimOptions& o, const std::string& v, std::string&) {
       return number(v, 0, 1, o.settings.faults.garbageRatio);
     }},
    {"--delay", "MS", "answer every request this many milliseconds late (0..600000)",
     [](SimOptions& o, const std::string& v, std::string&) {
       double ms = 0;
       if (!number(v, 0, 600000, ms)) return false;
       o.settings.faults.delayMs = static_cast<int>(ms);
       return true;
     }},
    {"--silent-after", "SECONDS", "stop answering after this time (SIGUSR1 toggles silence at any time)",
     [](SimOptions& o, const std::string& v, std::string&) { return seconds(v, o.settings.silentAfterS); }},
    {"--unplug-after", "SECONDS",
     "close the line after this time, as a pulled cable (SIGUSR2 does it at once)",
     [](SimOptions& o, const std::string& v, std::string&) { return seconds(v, o.settings.unplugAfterS); }},
    {"--reopen-after", "SECONDS", "after an unplug, open a new line this much later (else wait for SIGUSR2)",
     [](SimOptions& o, const std::string& v, std::string&) { return seconds(v, o.settings.reopenAfterS); }},
    {"--fail", "MODE", "fail on purpose in this MODE (see below); may be given more than once",
     [](SimOptions& o, const std::string& v, std::string& why) { return o.settings.failures.parse(v, why); }},
    {"--pace", nullptr, "write to the pseudo-terminal at the rate of a 38400 baud line, as --device does",
     [](SimOptions& o, const std::string&, std::string&) { return o.pace = true; }},
    {"--id", "N", "the board ID the board reports (0..255)",
     [](SimOptions& o, const std::string& v, std::string&) {
       double n = 0;
       if (!number(v, 0, 255, n) || n != std::floor(n)) return false;
       o.settings.boardId = static_cast<int>(n);
       return true;
     }},
    {"--rest", nullptr, "keep the pack at rest: no current but a calibration's",
     [](SimOptions& o, const std::string&, std::string&) { return o.settings.atRest = true; }},
    {"--seed", "N", "seed of every random choice (default 1), for repeatable runs",
     [](SimOptions& o, const std::string& v, std::string&) {
       double n = 0;
       if (!number(v, 0, 4294967295.0, n) || n != std::floor(n)) return false;
       o.settings.faults.seed = static_cast<std::uint32_t>(n);
       return true;
     }},
    {"--flood", nullptr, "send live data frames as fast as a 38400 baud line carries them, unasked",
     [](SimOptions& o, const std::string&, std::string&) { return o.settings.flood = true; }},
    {"--record", "FILE", "append one line per received request: milliseconds since start, then hex",
     [](SimOptions& o, const std::string& v, std::string&) { return !(o.recordPath = v).empty(); }},
    {"--stamp-live", "FILE",
     "append one line per live data frame sent: the wall-clock time (seconds since 1970, to the "
     "microsecond) at which the write of its last byte began",
     [](SimOptions& o, const std::string& v, std::string&) { return !(o.stampPath = v).empty(); }},
    {"--report", "FILE", "write the counters (key=value lines) to FILE on exit (SIGINT/SIGTERM/SIGHUP)",
     [](SimOptions& o, const std::string& v, std::string&) { return !(o.reportPath = v).empty(); }},
    {"--verbose", nullptr, "print every received request on stderr",
     [](SimOptions& o, const std::string&, std::string&) { return o.verbose = true; }},
    {"--help", nullptr, "show this help and exit",
     [](SimOptions& o, const std::string&, std::string&) { return o.help = true; }},
    {"--version", nullptr, "show the version and exit",
     [](SimOptions& o, const std::string&, std::string&) { return o.version = true; }},
};

const Option* findOption(const std::string& name) {
  for (const Option& option : kOptions) {
    if (name == option.name) return &option;
  }
  return nullptr;
}

}  // namespace

bool parseOptions(const std::vector<std::string>& args, SimOptions& options, std::string& error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::string value;
    const std::size_t eq = name.find('=');
    const bool inlineValue = name.rfind("--", 0) == 0 && eq != std::string::npos;
    if (inlineValue) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
    }
    const Option* option = findOption(name == "-h" ? "--help" : name);
    if (option == nullptr) {
      error = "unknown option '" + args[i] + "'";
      return false;
    }
    if (option->value != nullptr && !inlineValue) {
      if (i + 1 == args.size()) {
        error = "option " + name + " needs a value " + option->value;
        return false;
      }
      value = args[++i];
    } else if (option->value == nullptr && inlineValue) {
      error = "option " + name + " takes no value";
      return false;
    }
    std::string why;
    if (!option->set(options, value, why)) {
      error = !why.empty()
                  ? why
                  : "bad value '" + value + "' for " + name + " " + (option->value ? option->value : "");
      return false;
    }
  }
  if (!options.linkPath.empty() && !options.devicePath.empty()) {
    error = "--link applies to the pseudo-terminal and cannot be used with --device";
    return false;
  }
  return true;
}

std::string helpText() {
  std::string text =
      "Usage: orlo-bms-sim [OPTION]...\n"
      "A simulated BMS board (4-cell LiFePO4 pack) for Orlo_PC. It answers every request of the\n"
      "tool on a pseudo-terminal and prints the device to open as its first line:\n"
      "  orlo-bms-sim: device /dev/pts/N\n"
      "Point the tool at it with: Orlo_PC --port COM1=/dev/pts/N\n\nOptions:\n";
  for (const Option& option : kOptions) {
    std::string left =
        std::string("  ") + option.name + (option.value ? std::string(" ") + option.value : "");
    if (left.size() < 26) left.resize(26, ' ');
    text += left + option.help + "\n";
  }
  text +=
      "\nFailure modes (--fail MODE; CMD and SUB are bytes in hex such as 0x0C, the answers stay\n"
      "whole frames with a good checksum):\n" +
      FailureModes::help() +
      "\nSignals: SIGUSR1 toggles silence; SIGUSR2 unplugs the line, or plugs a new one in when\n"
      "unplugged; SIGINT, SIGTERM and SIGHUP end the run (the report is written).\n"
      "Report keys: requests_total, requests_cmd_XX (per command byte, hex), requests_ignored,\n"
      "answers_sent, answers_silenced, answers_dropped, valid_frames_sent, live_frames_sent,\n"
      "corrupted_frames_sent, garbage_bytes_sent, bytes_sent, unplugs.\n"
      "Exit status: 0 after a clean end, 1 when the line or a file cannot be opened or written,\n"
      "2 for bad options or a --link PATH that is taken.\n";
  return text;
}

std::string versionText() {
  return std::string("orlo-bms-sim ") + kProjectVersion + "\n";
}

}  // namespace orlo::sim
