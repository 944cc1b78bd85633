// How long a careful write of the 44 protection values takes: read the board, Set, wait for the
// acknowledge, read back and compare, at 38400 baud.
//   Simulated: the in-process board in simulated time, each byte taking its line time; the
//     argument is the frame tick (100: the window's, 1: frames taken as soon as complete).
//     The reported time is simulated time, not CPU time.
//   Pty: the orlo-bms-sim program on a pseudo-terminal, in wall time, frames taken as soon as
//     complete (a pseudo-terminal does not pace bytes at the baud rate).

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>

#include "core/parameter_session.h"
#include "core/snapshot_store.h"
#include "link/receiver.h"
#include "sim/board_model.h"
#include "support/session_frames.h"
#include "support/sim_serial_control.h"

extern char** environ;

namespace {

using namespace orlo;
using test::SessionFrames;

std::vector<std::string> newValues(AlarmValues values) {
  values[6] -= 50;  // Cell OV
  values[9] += 50;  // Cell UV
  return parameterTexts(values);
}

AlarmValues defaults() {
  const sim::BoardModel board;
  AlarmValues values{};
  for (std::size_t i = 0; i < values.size(); ++i)
    values[i] = board.alarmRecord().value(static_cast<int>(i) + 1);
  return values;
}

void writeInSimulatedTime(benchmark::State& state) {
  for (auto _ : state) {
    sim::BoardModel board;
    test::SimSerialControl line(board);
    ParameterSession session(line);
    SessionFrames frames(session);
    test::SimEventLoop loop(line, frames, state.range(0));
    loop.onTick = [&](std::int64_t now) { session.tick(now); };
    std::optional<ParameterResult> result;
    session.write(newValues(defaults()), 0, [&](const ParameterResult& r) { result = r; });
    loop.runUntil([&] { return result.has_value(); }, 30000);
    if (!result || !result->verified()) state.SkipWithError("the write was not verified");
    state.SetIterationTime(static_cast<double>(loop.nowMs()) / 1000.0);
    state.counters["last_answer_byte_ms"] = line.lastAnswerMs();
  }
}
BENCHMARK(writeInSimulatedTime)
    ->Arg(100)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// The host end of the pseudo-terminal, raw at 38400 8N1.
class FdSerialControl : public SerialControl {
 public:
  explicit FdSerialControl(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios tio{};
    if (fd_ < 0 || tcgetattr(fd_, &tio) != 0) return;
    cfmakeraw(&tio);
    cfsetispeed(&tio, B38400);
    cfsetospeed(&tio, B38400);
    tcsetattr(fd_, TCSANOW, &tio);
  }
  ~FdSerialControl() override { close(); }
  bool isOpen() const override { return fd_ >= 0; }
  OpenResult open(int) override { return {}; }
  void close() override {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  bool write(const Bytes& block) override {
    return fd_ >= 0 && ::write(fd_, block.data(), block.size()) == static_cast<ssize_t>(block.size());
  }
  void discardTransmit() override {}
  void setListener(SerialListener*) override {}
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
};

// Starts orlo-bms-sim and returns its pid and the device it prints first.
pid_t startSimulator(std::string* device) {
  int out[2];
  if (pipe(out) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  char* argv[] = {const_cast<char*>(ORLO_SIM_BINARY), nullptr};
  pid_t pid = -1;
  const bool started = posix_spawn(&pid, ORLO_SIM_BINARY, &actions, nullptr, argv, environ) == 0;
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  std::string line;
  char c = 0;
  while (started && line.size() < 200 && ::read(out[0], &c, 1) == 1 && c != '\n') line += c;
  ::close(out[0]);
  const std::string prefix = "orlo-bms-sim: device ";
  if (line.rfind(prefix, 0) == 0) *device = line.substr(prefix.size());
  return started ? pid : -1;
}

void writeOverPty(benchmark::State& state) {
  std::string device;
  const pid_t sim = startSimulator(&device);
  if (sim < 0 || device.empty()) {
    state.SkipWithError("orlo-bms-sim did not start");
    return;
  }
  for (auto _ : state) {
    FdSerialControl line(device);
    ParameterSession session(line);
    SessionFrames frames(session);
    Receiver receiver;
    std::optional<ParameterResult> result;
    const auto start = std::chrono::steady_clock::now();
    const auto nowMs = [&] {
      return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
          .count();
    };
    // Writes the board's own values back: the simulator runs on, so its SOC and cycles move.
    session.read(0, [&](const ParameterResult& r) { result = r; });
    const auto pumpUntil = [&](std::int64_t limitMs) {
      while (!result && nowMs() < limitMs) {
        pollfd p{line.fd(), POLLIN, 0};
        ::poll(&p, 1, 10);
        std::uint8_t buffer[256];
        const ssize_t n = ::read(line.fd(), buffer, sizeof buffer);
        if (n > 0) receiver.onBytes(buffer, static_cast<std::size_t>(n));
        while (receiver.frameTick(frames)) {
        }
        session.tick(nowMs());
      }
    };
    pumpUntil(10000);
    const AlarmValues board = result ? result->board : AlarmValues{};
    result.reset();
    const auto writeStart = std::chrono::steady_clock::now();
    session.write(newValues(board), nowMs(), [&](const ParameterResult& r) { result = r; });
    pumpUntil(20000);
    if (!result || !result->verified())
      state.SkipWithError(result ? describe(*result).c_str() : "no result within 20 s");
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - writeStart).count());
  }
  ::kill(sim, SIGTERM);
  ::waitpid(sim, nullptr, 0);
}
BENCHMARK(writeOverPty)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace
