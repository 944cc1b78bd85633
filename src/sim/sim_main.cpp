// orlo-bms-sim: a simulated BMS board on a pseudo-terminal or a serial device.

#include <csignal>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "sim/device_transport.h"
#include "sim/pty_transport.h"
#include "sim/sim_options.h"
#include "sim/simulator.h"

namespace {

volatile std::sig_atomic_t gStop = 0;
volatile std::sig_atomic_t gToggleSilence = 0;
volatile std::sig_atomic_t gUnplugToggle = 0;

void onSignal(int signal) {
  if (signal == SIGUSR1)
    gToggleSilence = 1;
  else if (signal == SIGUSR2)
    gUnplugToggle = 1;
  else
    gStop = 1;
}

// No SA_RESTART: a signal ends the current poll() wait, so it is handled at once.
void installSignals() {
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2}) sigaction(signal, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
}

void say(const std::string& text) {
  std::fprintf(stderr, "orlo-bms-sim: %s\n", text.c_str());
}

void handleSignals(orlo::sim::Simulator& sim) {
  if (gToggleSilence) {
    gToggleSilence = 0;
    sim.toggleSilence();
    say(sim.silent() ? "silent" : "answering again");
  }
  if (gUnplugToggle) {
    gUnplugToggle = 0;
    std::string error;
    if (!sim.unplugged()) {
      sim.unplug();
      say("unplugged");
    } else if (!sim.replug(error)) {
      say(error);
    }
  }
}

bool writeReport(const std::string& path, const orlo::sim::SimStats& stats) {
  std::ofstream out(path, std::ios::trunc);
  out << stats.report();
  return static_cast<bool>(out);
}

std::unique_ptr<orlo::sim::Transport> makeTransport(const orlo::sim::SimOptions& options) {
  if (!options.devicePath.empty()) return std::make_unique<orlo::sim::DeviceTransport>(options.devicePath);
  return std::make_unique<orlo::sim::PtyTransport>(options.linkPath);
}

// The device line goes to stdout (scripts read it); everything else to stderr.
void wire(orlo::sim::Simulator& sim, bool verbose, std::FILE* record) {
  sim.onDevice([](const std::string& device) {
    std::printf("orlo-bms-sim: device %s\n", device.c_str());
    std::fflush(stdout);
  });
  sim.onError(say);
  sim.onRequest([verbose, record](const orlo::sim::ReceivedRequest& request) {
    const std::string line = orlo::sim::SimStats::recordLine(request);
    if (verbose) say("received " + line);
    if (record != nullptr) {
      std::fprintf(record, "%s\n", line.c_str());
      std::fflush(record);
    }
  });
}

// Runs until SIGINT, SIGTERM or SIGHUP; the exit status of the program.
int run(const orlo::sim::SimOptions& options, std::FILE* record) {
  const auto transport = makeTransport(options);
  orlo::sim::SteadyClock clock;
  orlo::sim::Simulator sim(*transport, options.settings, clock);
  wire(sim, options.verbose, record);
  installSignals();
  std::string error;
  if (!sim.start(error)) {
    say(error);
    return 1;
  }
  while (!gStop) {
    sim.runOnce(100);
    handleSignals(sim);
  }
  if (!options.reportPath.empty() && !writeReport(options.reportPath, sim.stats())) {
    say("cannot write the report " + options.reportPath);
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace orlo::sim;
  SimOptions options;
  std::string error;
  if (!parseOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
    say(error);
    std::fprintf(stderr, "Try 'orlo-bms-sim --help' for the options.\n");
    return 2;
  }
  if (options.help) {
    std::fputs(helpText().c_str(), stdout);
    return 0;
  }
  std::FILE* record = nullptr;
  if (!options.recordPath.empty() && (record = std::fopen(options.recordPath.c_str(), "a")) == nullptr) {
    say("cannot open the record file " + options.recordPath);
    return 1;
  }
  const int status = run(options, record);
  if (record != nullptr) std::fclose(record);
  return status;
}
