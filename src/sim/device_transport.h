#pragma once
// A real serial device (for example one end of a USB-serial loopback pair), set to 38400 8N1
// raw without flow control. unplug() closes it; open() opens the same path again.

#include <string>

#include "sim/transport.h"

namespace orlo::sim {

class DeviceTransport : public Transport {
 public:
  explicit DeviceTransport(std::string path) : path_(std::move(path)) {}
  ~DeviceTransport() override;
  DeviceTransport(const DeviceTransport&) = delete;
  DeviceTransport& operator=(const DeviceTransport&) = delete;

  bool open(std::string& error) override;
  void unplug() override;
  int fd() const override { return fd_; }
  std::string devicePath() const override { return path_; }
  int lineBytesPerSecond() const override { return 3840; }  // 38400 baud, 10 bits a byte

 private:
  std::string path_;
  int fd_ = -1;
};

}  // namespace orlo::sim
