#include "sim/device_transport.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace orlo::sim {

DeviceTransport::~DeviceTransport() {
  unplug();
}

bool DeviceTransport::open(std::string& error) {
  unplug();
  fd_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) {
    error = "cannot open " + path_ + ": " + std::strerror(errno);
    return false;
  }
  termios tio{};
  if (::tcgetattr(fd_, &tio) != 0) {
    error = path_ + " is not a serial device: " + std::strerror(errno);
    unplug();
    return false;
  }
  ::cfmakeraw(&tio);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS | CSIZE);
  tio.c_cflag |= CS8 | CLOCAL | CREAD;
  ::cfsetispeed(&tio, B38400);
  ::cfsetospeed(&tio, B38400);
  if (::tcsetattr(fd_, TCSANOW, &tio) != 0) {
    error = "cannot set 38400 8N1 on " + path_ + ": " + std::strerror(errno);
    unplug();
    return false;
  }
  ::tcflush(fd_, TCIOFLUSH);
  return true;
}

void DeviceTransport::unplug() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace orlo::sim
