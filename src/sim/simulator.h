#pragma once
// The board on a line: reads requests from the transport, lets the board model answer, and
// writes the answers through the line shaper. Single-threaded: the caller runs runOnce() in a
// loop (the program) or step by step (tests).

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "sim/board_model.h"
#include "sim/line_shaper.h"
#include "sim/sim_clock.h"
#include "sim/sim_stats.h"
#include "sim/transport.h"

namespace orlo::sim {

struct SimSettings {
  FaultSettings faults;
  FailureModes failures;     // given to the board at start; board().failures() changes them later
  double silentAfterS = -1;  // < 0: never
  double unplugAfterS = -1;
  double reopenAfterS = -1;  // after an unplug; < 0: only on replug()
  bool flood = false;        // live data at line rate, without waiting for polls
  int boardId = -1;          // the ID the board reports; < 0: the board's default
  bool atRest = false;       // the pack carries no current but a calibration's
};

class Simulator {
 public:
  Simulator(Transport& transport, const SimSettings& settings, const SimClock& clock);

  bool start(std::string& error);
  // Waits at most `timeoutMs` for the line, then does whatever is due.
  void runOnce(int timeoutMs);

  void toggleSilence() { silent_ = !silent_; }
  bool silent() const { return silent_; }
  void unplug();
  bool replug(std::string& error);
  bool unplugged() const { return transport_.fd() < 0; }

  BoardModel& board() { return board_; }
  const SimStats& stats() const { return stats_; }
  std::string devicePath() const { return transport_.devicePath(); }

  // Called for every request received, and with the device path each time a new one appears.
  void onRequest(std::function<void(const ReceivedRequest&)> callback) {
    requestCallback_ = std::move(callback);
  }
  void onDevice(std::function<void(const std::string&)> callback) { deviceCallback_ = std::move(callback); }
  void onError(std::function<void(const std::string&)> callback) { errorCallback_ = std::move(callback); }
  // Called when a write has put the last byte of a chunk on the line, with what the chunk
  // carried and the wall-clock time at which that write began.
  using SentCallback = std::function<void(const SentCounts&, std::chrono::system_clock::time_point)>;
  void onSent(SentCallback callback) { sentCallback_ = std::move(callback); }

  // Bytes a paced line takes at once, as a UART's transmit FIFO does.
  static constexpr double kPaceBurstBytes = 64;

  // Time one frame of `bytes` takes on a 38400 8N1 line, in ms (10 bits a byte).
  static std::int64_t lineTimeMs(std::size_t bytes) {
    return static_cast<std::int64_t>((bytes * 10000 + 38399) / 38400);
  }

 private:
  int waitMs(int timeoutMs, std::int64_t now) const;
  void readInput(std::int64_t now);
  void answer(const Bytes& request, std::int64_t now);
  void runSchedule(std::int64_t now);
  void feedFlood(std::int64_t now);
  void writeDue(std::int64_t now);
  double lineCredit(std::int64_t now) const;
  std::int64_t lineReadyMs(std::int64_t now) const;

  Transport& transport_;
  SimSettings settings_;
  const SimClock& clock_;
  BoardModel board_;
  LineShaper shaper_;
  RequestScanner scanner_;
  SimStats stats_;
  bool silent_ = false;
  bool silenceDone_ = false;
  bool unplugDone_ = false;
  std::int64_t reopenAtMs_ = -1;
  std::int64_t nextFloodMs_ = 0;
  bool writeBlocked_ = false;
  // Pacing of a line with a baud rate: bytes it may take now, as of creditAtMs_.
  double credit_ = kPaceBurstBytes;
  std::int64_t creditAtMs_ = 0;
  std::function<void(const ReceivedRequest&)> requestCallback_;
  std::function<void(const std::string&)> deviceCallback_;
  std::function<void(const std::string&)> errorCallback_;
  SentCallback sentCallback_;
};

}  // namespace orlo::sim
