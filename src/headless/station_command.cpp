#include "headless/station_command.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "core/snapshot_store.h"
#include "core/station_board.h"
#include "core/station_recipe.h"
#include "core/station_record.h"
#include "core/write_record.h"
#include "headless/device_serial_control.h"
#include "headless/file_workers.h"
#include "link/receiver.h"
#include "util/clock.h"
#include "util/platform.h"

namespace orlo::headless {
namespace {

constexpr int kLoopWaitMs = 20;
constexpr std::size_t kMaxFileThreads = 8;

volatile std::sig_atomic_t gStopSignal = 0;

void onStopSignal(int signal) {
  gStopSignal = signal;
}

// The operator on this terminal: prompts on standard error, readings from standard input.
class TerminalOperator : public StationOperator {
 public:
  void askReading(const std::string& prompt) override {
    std::fprintf(stderr, "%s: ", prompt.c_str());
    std::fflush(stderr);
    waiting_ = true;
  }
  void stepChanged(const StepReport& step) override {
    if (step.result == StepResult::Fail)
      std::fprintf(stderr, "orlo-bms: %s: %s failed: %s\n", device_.c_str(), stepName(step.step),
                   step.message.c_str());
  }
  void setDevice(const std::string& device) { device_ = device; }
  bool waiting() const { return waiting_; }
  void answered() { waiting_ = false; }

 private:
  std::string device_;
  bool waiting_ = false;
};

// One board on its device: the line, its receive path and the engine.
class BoardRun : public SerialListener {
 public:
  BoardRun(const std::string& device, const Recipe& recipe, StationSetup setup, const StationRecord& record,
           const Clock& clock)
      : serial_(device), board_(serial_, recipe, std::move(setup), person_, record, clock) {
    person_.setDevice(device);
  }

  bool open() {
    const OpenResult opened = serial_.open(1);
    if (!opened.ok)
      std::fprintf(stderr, "orlo-bms: cannot open %s: %s\n", serial_.devicePath(1).c_str(),
                   opened.reason.c_str());
    if (opened.ok) serial_.setListener(this);
    return opened.ok;
  }

  void onBytesReceived(const std::uint8_t* data, std::size_t size) override {
    receiver_.onBytes(data, size);
    while (receiver_.frameTick(board_)) {
    }
  }
  void onCommEvent() override {}
  void onPortLost(const std::string& reason) override { board_.onPortLost(reason); }

  DeviceSerialControl& serial() { return serial_; }
  StationBoard& board() { return board_; }
  TerminalOperator& person() { return person_; }

 private:
  DeviceSerialControl serial_;
  TerminalOperator person_;
  Receiver receiver_;
  StationBoard board_;
};

// A line typed on standard input, or "" with *ended at its end.
std::string readLine(bool* ended) {
  std::string line;
  char c = 0;
  while (::read(STDIN_FILENO, &c, 1) == 1) {
    if (c == '\n') return line;
    line += c;
  }
  *ended = true;
  return line;
}

// Ends once every board is finished and no file work it gave is still out.
void runAll(std::vector<std::unique_ptr<BoardRun>>& runs, FileWorkers& files) {
  const std::int64_t start = monotonicMs();
  for (auto& run : runs) run->board().start(start);
  for (;;) {
    std::vector<pollfd> fds;
    bool pending = files.pending() > 0;
    for (auto& run : runs) {
      pending = pending || !run->board().finished();
      fds.push_back({run->serial().fd(), POLLIN, 0});
    }
    if (!pending) return;
    fds.push_back({files.wakeFd(), POLLIN, 0});
    const bool asking = runs.size() == 1 && runs[0]->person().waiting();
    if (asking) fds.push_back({STDIN_FILENO, POLLIN, 0});
    ::poll(fds.data(), fds.size(), kLoopWaitMs);
    if (fds[runs.size()].revents & POLLIN) files.takeDone();
    const std::int64_t now = monotonicMs();
    for (std::size_t i = 0; i < runs.size(); ++i) {
      if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) runs[i]->serial().onReadable();
      runs[i]->board().tick(now);
      if (gStopSignal != 0) runs[i]->board().stop("stopped by signal " + std::to_string(gStopSignal));
    }
    if (asking && (fds.back().revents & (POLLIN | POLLHUP))) {
      bool ended = false;
      const std::string line = readLine(&ended);
      runs[0]->person().answered();
      if (ended && line.empty())
        runs[0]->board().stop("no meter reading: standard input ended");
      else
        runs[0]->board().operatorReading(line, now);
    }
  }
}

int summary(const std::vector<std::unique_ptr<BoardRun>>& runs, bool deviceMissing) {
  int status = deviceMissing ? kStationNoDevice : kStationPassed;
  for (const auto& run : runs) {
    const BoardReport& r = run->board().report();
    const StepReport* failed = r.failedStep();
    std::string line = r.device + ": " + resultName(r.result) + " board " +
                       (r.boardId >= 0 ? std::to_string(r.boardId) : std::string("?"));
    if (failed != nullptr)
      line += std::string(", failed step ") + stepName(failed->step) + ": " + failed->message;
    if (!r.error.empty()) line += ", record not written: " + r.error;
    std::fprintf(r.result == BoardResult::Pass ? stdout : stderr, "%s%s\n",
                 r.result == BoardResult::Pass ? "" : "orlo-bms: ", line.c_str());
    if (r.noAnswer) status = kStationNoDevice;
    if (r.result != BoardResult::Pass && status == kStationPassed) status = kStationFailed;
  }
  return status;
}

}  // namespace

int runStation(const StationOptions& o) {
  const RecipeLoad loaded = loadRecipe(o.recipe);
  if (!loaded.recipe) {
    std::fprintf(stderr, "orlo-bms: %s\nNothing was sent.\n", loaded.error.c_str());
    return kStationBadInput;
  }
  const Recipe& recipe = *loaded.recipe;
  if (recipe.needsOperator() && o.devices.size() > 1) {
    std::fprintf(stderr, "orlo-bms: %s has calibration points, which need the operator: give one --device\n",
                 o.recipe.c_str());
    return kStationBadInput;
  }
  for (std::size_t i = 0; i < o.devices.size(); ++i) {
    if (std::find(o.devices.begin(), o.devices.begin() + static_cast<std::ptrdiff_t>(i), o.devices[i]) ==
        o.devices.begin() + static_cast<std::ptrdiff_t>(i))
      continue;
    std::fprintf(stderr, "orlo-bms: %s is given twice: one board, one --device\n", o.devices[i].c_str());
    return kStationBadInput;
  }
  if (o.labels.size() > o.devices.size()) {
    std::fprintf(stderr, "orlo-bms: more --label than --device\n");
    return kStationBadInput;
  }
  const std::string user = environmentValue("USER");
  const StationRecord record(recipe.recordDir);
  const SystemClock clock;
  FileWorkers files(std::min<std::size_t>(o.devices.size(), kMaxFileThreads));
  std::vector<std::unique_ptr<BoardRun>> runs;
  bool deviceMissing = false;
  for (std::size_t i = 0; i < o.devices.size(); ++i) {
    StationSetup setup{!o.station.empty()    ? o.station
                       : !hostName().empty() ? hostName()
                                             : "station",
                       !o.operatorName.empty() ? o.operatorName : user,
                       o.devices[i],
                       i < o.labels.size() ? o.labels[i] : std::string(),
                       SnapshotStore::defaultFolder(),
                       WriteRecord::defaultPath(),
                       {},
                       {},
                       &files};
    auto run = std::make_unique<BoardRun>(o.devices[i], recipe, std::move(setup), record, clock);
    if (run->open())
      runs.push_back(std::move(run));
    else
      deviceMissing = true;
  }
  std::signal(SIGINT, onStopSignal);
  std::signal(SIGTERM, onStopSignal);
  runAll(runs, files);
  return summary(runs, deviceMissing);
}

}  // namespace orlo::headless
