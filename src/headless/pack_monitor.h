#pragma once
// One pack on its serial device: polled once a second on its own schedule, its answers through
// the receive path, its link checked, its state, events and availability handed to the output.
// Nothing here blocks, so a slow or silent pack never holds up another one.

#include <chrono>
#include <memory>
#include <string>

#include "core/pack_events.h"
#include "headless/live_data_tap.h"
#include "headless/messages.h"
#include "headless/monitor_settings.h"
#include "headless/pack_listener.h"
#include "headless/pack_output.h"
#include "headless/serial_port.h"
#include "link/receiver.h"

namespace orlo::headless {

using SteadyTime = std::chrono::steady_clock::time_point;

class PackMonitor {
 public:
  static constexpr std::chrono::milliseconds kPollPeriod{1000};
  static constexpr std::chrono::milliseconds kLinkTimeout{2000};
  static constexpr std::chrono::milliseconds kReopenPeriod{2000};

  // `index`: the pack's place in the output's list of packs.
  PackMonitor(PackEntry pack, std::size_t index, PackOutput& output, SteadyTime firstPoll);

  const std::string& name() const { return pack_.name; }
  int fd() const { return port_.fd(); }
  unsigned opens() const { return port_.opens(); }
  bool linkUp() const { return linkUp_; }
  const LiveData* lastLiveData() const { return haveLive_ ? &live_ : nullptr; }

  // Bytes are waiting (or the line hung up): read, and publish every frame now complete.
  void onReadable(SteadyTime now);
  // Polls, reopens and the link check that are due.
  void onTimer(SteadyTime now);
  // The earliest time onTimer has something to do.
  SteadyTime nextDeadline() const;

  void close() { port_.close(); }

  // Told of every live data frame and link change; nullptr: nobody.
  void setListener(PackListener* listener) { listener_ = listener; }
  const ReceiveStats& receiveStats() const { return receiver_.stats(); }

 private:
  void tryOpen(SteadyTime now);
  void lose(const std::string& reason, SteadyTime now);
  void onLive(const LiveData& live);
  void setLink(bool up);
  void emit(const std::vector<PackEvent>& events);

  // What the once-a-second tick reads first and together; the receive path's state after it.
  SerialPort port_;
  SteadyTime nextPoll_;
  SteadyTime nextOpen_;
  SteadyTime linkDeadline_;
  SteadyTime readTime_;
  Bytes pollRequest_;
  bool haveLive_ = false;
  bool linkUp_ = false;
  bool lossReported_ = false;
  std::size_t index_;
  PackOutput& output_;
  PackEntry pack_;
  Receiver receiver_;
  LiveDataTap tap_;
  PackEventDetector detector_;
  LiveData live_;
  // Kept so that their buffers are reused: a state costs no allocation.
  std::string stateText_;
  StateContext context_;
  PackListener* listener_ = nullptr;
};

}  // namespace orlo::headless
