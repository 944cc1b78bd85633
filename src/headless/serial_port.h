#pragma once
// A serial device opened raw at 38400 8N1 without flow control, non-blocking, for the
// monitor's poll loop. Plain termios: one file descriptor per pack and no thread.

#include <cstddef>
#include <cstdint>
#include <string>

#include "util/result.h"

namespace orlo::headless {

class SerialPort {
 public:
  SerialPort() = default;
  ~SerialPort() { close(); }
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Opens the device for this program alone (refused "in use by another program" while
  // another holds it); else the system's reason.
  Status open(const std::string& path);
  void close();
  bool isOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  // Counts the successful opens: a reopened device may get the number the lost one had.
  unsigned opens() const { return opens_; }

  // Reads what is waiting into `buffer`. Returns the count (0 when nothing is waiting), or -1
  // when the device is gone; `reason` then says why.
  long read(std::uint8_t* buffer, std::size_t size, std::string& reason);
  // Writes the request whole or not at all: a line that cannot take 12 bytes now is not
  // waited for, the next poll comes in a second anyway.
  bool write(const std::uint8_t* data, std::size_t size);

 private:
  int fd_ = -1;
  unsigned opens_ = 0;
};

}  // namespace orlo::headless
