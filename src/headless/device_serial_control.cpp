#include "headless/device_serial_control.h"

#include <termios.h>

#include <cerrno>

namespace orlo::headless {

OpenResult DeviceSerialControl::open(int) {
  OpenResult result;
  result.devicePath = device_;
  const Status opened = port_.open(device_);
  result.ok = opened.ok();
  result.permissionDenied = !result.ok && errno == EACCES;
  result.reason = opened.error();
  return result;
}

bool DeviceSerialControl::write(const Bytes& block) {
  return port_.isOpen() && port_.write(block.data(), block.size());
}

void DeviceSerialControl::discardTransmit() {
  if (port_.isOpen()) ::tcflush(port_.fd(), TCOFLUSH);
}

void DeviceSerialControl::onReadable() {
  std::uint8_t buffer[1024];
  std::string reason;
  while (port_.isOpen()) {
    const long n = port_.read(buffer, sizeof buffer, reason);
    if (n < 0) {
      port_.close();
      if (listener_) listener_->onPortLost(reason);
      return;
    }
    if (n == 0) return;
    if (listener_) listener_->onBytesReceived(buffer, static_cast<std::size_t>(n));
    if (static_cast<std::size_t>(n) < sizeof buffer) return;
  }
}

}  // namespace orlo::headless
