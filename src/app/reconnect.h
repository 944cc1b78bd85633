#pragma once
// Opening a lost port again by itself: after the port went away (never after the user's
// Stop), the same COMn is tried at every link status check, two seconds apart, until it opens,
// the user presses Start Up or picks another port, or the choice is switched off. Nothing is
// said while the device is missing or busy; the text under the port box says what it waits for.

#include <optional>
#include <string>

#include "link/serial_control.h"

namespace orlo {

class Reconnect {
 public:
  bool enabled() const { return enabled_; }
  // Switching it off ends a wait.
  void setEnabled(bool enabled);

  // The port COM<portNumber>, device `device`, went away; starts waiting when enabled.
  void portLost(int portNumber, const std::string& device, const std::string& reason);
  void stop() { portNumber_ = 0; }
  bool waiting() const { return portNumber_ != 0; }
  int portNumber() const { return portNumber_; }
  // "waiting for /dev/ttyUSB0 …"
  std::string waitingText() const;
  // Why the port was lost, as the port box showed it before the wait.
  const std::string& lostReason() const { return reason_; }

  // One attempt while waiting: the open's result when it succeeded (the wait is over), else
  // nothing and the wait goes on.
  std::optional<OpenResult> tryOpen(SerialControl& serial);

 private:
  // Off until the shell says otherwise: the window behaviour on its own keeps a lost port
  // closed; the application switches it on from the remembered choice (on by default).
  bool enabled_ = false;
  int portNumber_ = 0;
  std::string device_;
  std::string reason_;
};

}  // namespace orlo
