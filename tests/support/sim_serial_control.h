#pragma once
// The simulated board on an in-process line, in simulated time: a SerialControl whose writes
// reach an orlo::sim::BoardModel and whose answers reach the listener when the test moves the
// clock past the moment their last byte would have arrived at 38400 baud (10 bits a byte, one
// direction at a time each way). No thread, no wall clock: a two-second time-out takes no time.
//
// SimEventLoop plays the window's event loop around it: received bytes into a Receiver, one
// frame to the handlers per 100 ms frame tick, and a tick callback for timers such as a
// parameter session's.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/frame_handlers.h"
#include "link/receiver.h"
#include "link/serial_control.h"
#include "sim/board_model.h"

namespace orlo::test {

class SimSerialControl : public SerialControl {
 public:
  static constexpr int kBaud = 38400;

  explicit SimSerialControl(sim::BoardModel& board, bool startOpen = true);

  bool isOpen() const override { return open_; }
  OpenResult open(int portNumber) override;
  void close() override;
  bool write(const Bytes& block) override;
  void discardTransmit() override {}
  void setListener(SerialListener* listener) override { listener_ = listener; }
  std::string devicePath(int portNumber) const override { return "/dev/sim" + std::to_string(portNumber); }

  // Moves the clock on (never back) and delivers every answer that has arrived by then.
  void advanceTo(std::int64_t nowMs);
  std::int64_t nowMs() const { return nowUs_ / 1000; }
  // Line time of `bytes` bytes, in microseconds.
  static std::int64_t lineUs(std::size_t bytes);

  // The port goes away: the listener hears onPortLost, answers still on the way are lost.
  void pullPort(const std::string& reason = "device removed");

  // --- scripted line behaviour, set by the test ---
  // Sees every block as it is written, before the board does.
  std::function<void(const Bytes& block)> onWrite;
  // Replaces the board's answers to one request (drop, shorten, change bytes); the default
  // passes them on as they are.
  std::function<std::vector<Bytes>(const Bytes& request, std::vector<Bytes> answers)> alterAnswers;
  // Extra time between the end of a request and the board's first answer byte.
  std::int64_t answerDelayMs = 0;

  // Every block written while open, and when its last byte left (ms).
  std::vector<Bytes> written;
  std::vector<std::int64_t> writtenAtMs;
  // When the last answer byte so far reached the host (ms, fractions kept).
  double lastAnswerMs() const { return static_cast<double>(lastAnswerUs_) / 1000.0; }

  // The whole millisecond by which the next answer on its way has arrived, if one is.
  std::optional<std::int64_t> nextArrivalMs() const;

 private:
  struct OnTheWay {
    std::int64_t dueUs;
    Bytes bytes;
  };

  sim::BoardModel& board_;
  SerialListener* listener_ = nullptr;
  bool open_;
  std::int64_t nowUs_ = 0;
  std::int64_t sendFreeUs_ = 0;     // the host's transmit side is busy until then
  std::int64_t receiveFreeUs_ = 0;  // the board's transmit side is busy until then
  std::int64_t lastAnswerUs_ = 0;
  std::vector<OnTheWay> onTheWay_;
};

// The window's receive path and timers around a SimSerialControl.
class SimEventLoop : public SerialListener {
 public:
  static constexpr std::int64_t kWindowFrameTickMs = 100;

  // `frameTickMs`: the window hands one frame on every 100 ms; a program that takes every
  // frame as soon as it is complete is near enough at 1 ms.
  SimEventLoop(SimSerialControl& line, FrameHandlers& handlers,
               std::int64_t frameTickMs = kWindowFrameTickMs);
  ~SimEventLoop() override;

  // Runs frame ticks until `stop` is true after a tick, or until `limitMs` of simulated time
  // have passed. Returns whether `stop` became true.
  bool runUntil(const std::function<bool()>& stop, std::int64_t limitMs);
  void runFor(std::int64_t ms);
  std::int64_t nowMs() const { return line_.nowMs(); }

  // Called on every tick after the frame tick, with the time.
  std::function<void(std::int64_t nowMs)> onTick;
  // Forwarded from the line.
  std::function<void(const std::string& reason)> onLost;

  const Receiver& receiver() const { return receiver_; }

  void onBytesReceived(const std::uint8_t* data, std::size_t size) override { receiver_.onBytes(data, size); }
  void onCommEvent() override {}
  void onPortLost(const std::string& reason) override;

 private:
  void step();

  SimSerialControl& line_;
  FrameHandlers& handlers_;
  std::int64_t frameTickMs_;
  Receiver receiver_;
};

}  // namespace orlo::test
