#include "app/reconnect.h"

namespace orlo {

void Reconnect::setEnabled(bool enabled) {
  enabled_ = enabled;
  if (!enabled_) stop();
}

void Reconnect::portLost(int portNumber, const std::string& device, const std::string& reason) {
  reason_ = reason;
  device_ = device;
  portNumber_ = enabled_ ? portNumber : 0;
}

std::string Reconnect::waitingText() const {
  return "waiting for " + (device_.empty() ? "COM" + std::to_string(portNumber_) : device_) + " …";
}

// Any failure keeps the wait going: a USB adapter plugged back in can show up for a moment
// before its permissions are set, or held by another program that soon lets go.
std::optional<OpenResult> Reconnect::tryOpen(SerialControl& serial) {
  if (!waiting() || serial.isOpen()) return std::nullopt;
  OpenResult result = serial.open(portNumber_);
  if (!result.ok) return std::nullopt;
  stop();
  return result;
}

}  // namespace orlo
