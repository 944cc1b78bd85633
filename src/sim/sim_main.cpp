// orlo-bms-sim: a simulated BMS board on a pseudo-terminal or a serial device.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
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
  // A write past the file-size limit then fails with EFBIG and is reported like any other.
  std::signal(SIGXFSZ, SIG_IGN);
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

// Opened at start, so a report that cannot be written stops the run before it begins.
std::FILE* openReport(const std::string& path) {
  if (path.empty()) return nullptr;
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) say("cannot open the report " + path + ": " + std::strerror(errno));
  return file;
}

// Every step is checked, the close too: a full disk shows only when the buffer is flushed.
bool writeReport(std::FILE* file, const std::string& path, const orlo::sim::SimStats& stats) {
  const std::string text = stats.report();
  errno = 0;
  const bool written =
      std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
  const int writeError = errno;
  const bool closed = std::fclose(file) == 0;
  if (written && closed) return true;
  say("cannot write the report " + path + ": " + std::strerror(written ? errno : writeError));
  return false;
}

std::unique_ptr<orlo::sim::Transport> makeTransport(const orlo::sim::SimOptions& options) {
  if (!options.devicePath.empty()) return std::make_unique<orlo::sim::DeviceTransport>(options.devicePath);
  auto pty = std::make_unique<orlo::sim::PtyTransport>(options.linkPath);
  if (options.pace) pty->paceAs38400Baud();
  return pty;
}

// A file of lines the run appends to (the request record, the live data stamps). It keeps whole
// lines only: a write that fails is cut off, said once, and the file gets no more; the board goes
// on answering.
class LineFile {
 public:
  LineFile(std::string path, const char* what) : path_(std::move(path)), what_(what) {}
  ~LineFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  LineFile(const LineFile&) = delete;
  LineFile& operator=(const LineFile&) = delete;

  // True when there is no path, or the file is open for appending.
  bool open() {
    if (path_.empty()) return true;
    fd_ = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0)
      say("cannot open the " + std::string(what_) + " file " + path_ + ": " + std::strerror(errno));
    return fd_ >= 0;
  }
  bool wanted() const { return fd_ >= 0 && !failed_; }

  void append(const std::string& line) {
    if (!wanted()) return;
    struct stat before {};
    ::fstat(fd_, &before);
    std::size_t done = 0;
    ssize_t n = 0;
    while (done < line.size() && (n = ::write(fd_, line.data() + done, line.size() - done)) > 0)
      done += static_cast<std::size_t>(n);
    if (done == line.size()) return;
    const std::string reason = n < 0 ? std::strerror(errno) : "nothing written";
    if (::ftruncate(fd_, before.st_size) != 0) say("cannot cut the torn line off " + path_);
    failed_ = true;
    say("cannot write the " + std::string(what_) + " " + path_ + ": " + reason + "; it stops here");
  }

 private:
  std::string path_;
  const char* what_;
  int fd_ = -1;
  bool failed_ = false;
};

// "1717243200.123456": seconds since 1970 and microseconds.
std::string wallStamp(std::chrono::system_clock::time_point when) {
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(when.time_since_epoch()).count();
  char text[32];
  std::snprintf(text, sizeof text, "%lld.%06lld\n", static_cast<long long>(micros / 1000000),
                static_cast<long long>(micros % 1000000));
  return text;
}

// The device line goes to stdout (scripts read it); everything else to stderr.
void wire(orlo::sim::Simulator& sim, bool verbose, LineFile& record, LineFile& stamps) {
  sim.onDevice([](const std::string& device) {
    std::printf("orlo-bms-sim: device %s\n", device.c_str());
    std::fflush(stdout);
  });
  sim.onError(say);
  sim.onRequest([verbose, &record](const orlo::sim::ReceivedRequest& request) {
    const std::string line = orlo::sim::SimStats::recordLine(request) + "\n";
    if (verbose) say("received " + line.substr(0, line.size() - 1));
    record.append(line);
  });
  if (stamps.wanted())
    sim.onSent([&stamps](const orlo::sim::SentCounts& counts, std::chrono::system_clock::time_point began) {
      for (std::uint64_t i = 0; i < counts.liveFrames; ++i) stamps.append(wallStamp(began));
    });
}

// Runs until SIGINT, SIGTERM or SIGHUP; the exit status of the program.
int run(const orlo::sim::SimOptions& options, LineFile& record, LineFile& stamps, std::FILE* report) {
  const auto transport = makeTransport(options);
  orlo::sim::SteadyClock clock;
  orlo::sim::Simulator sim(*transport, options.settings, clock);
  wire(sim, options.verbose, record, stamps);
  installSignals();
  std::string error;
  if (!sim.start(error)) {
    say(error);
    if (report != nullptr) std::fclose(report);
    return 1;
  }
  while (!gStop) {
    sim.runOnce(100);
    handleSignals(sim);
  }
  if (report != nullptr && !writeReport(report, options.reportPath, sim.stats())) return 1;
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
  if (options.version) {
    std::fputs(versionText().c_str(), stdout);
    return 0;
  }
  if (!options.linkPath.empty() && !PtyTransport::linkPathFree(options.linkPath, error)) {
    say(error);
    return 2;
  }
  LineFile record(options.recordPath, "record");
  LineFile stamps(options.stampPath, "stamp");
  if (!record.open() || !stamps.open()) return 1;
  std::FILE* report = openReport(options.reportPath);
  if (!options.reportPath.empty() && report == nullptr) return 1;
  const int status = run(options, record, stamps, report);
  return status;
}
