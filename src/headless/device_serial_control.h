#pragma once
// The parameter session's SerialControl on one serial device named on the command line, for a
// single-threaded poll loop: the loop watches fd() and calls onReadable(), which hands every
// waiting byte to the listener at once, or tells it the device went away.

#include <string>

#include "headless/serial_port.h"
#include "link/serial_control.h"

namespace orlo::headless {

class DeviceSerialControl : public SerialControl {
 public:
  explicit DeviceSerialControl(std::string device) : device_(std::move(device)) {}

  bool isOpen() const override { return port_.isOpen(); }
  // The number is ignored: there is only the one device.
  OpenResult open(int portNumber) override;
  void close() override { port_.close(); }
  bool write(const Bytes& block) override;
  void discardTransmit() override;
  void setListener(SerialListener* listener) override { listener_ = listener; }
  std::string devicePath(int) const override { return device_; }

  int fd() const { return port_.fd(); }
  void onReadable();

 private:
  std::string device_;
  SerialPort port_;
  SerialListener* listener_ = nullptr;
};

}  // namespace orlo::headless
