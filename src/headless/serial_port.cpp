#include "headless/serial_port.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace orlo::headless {

std::string SerialPort::open(const std::string& path) {
  close();
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::strerror(errno);
  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) {
    const std::string reason = std::string("not a serial device (") + std::strerror(errno) + ")";
    ::close(fd);
    return reason;
  }
  ::cfmakeraw(&tio);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS | CSIZE);
  tio.c_cflag |= CS8 | CLOCAL | CREAD;
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  ::cfsetispeed(&tio, B38400);
  ::cfsetospeed(&tio, B38400);
  if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
    const std::string reason = std::string("cannot set 38400 8N1 (") + std::strerror(errno) + ")";
    ::close(fd);
    return reason;
  }
  ::tcflush(fd, TCIOFLUSH);
  fd_ = fd;
  ++opens_;
  return {};
}

void SerialPort::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

long SerialPort::read(std::uint8_t* buffer, std::size_t size, std::string& reason) {
  const ssize_t n = ::read(fd_, buffer, size);
  if (n > 0) return static_cast<long>(n);
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
  // A readable descriptor with nothing to read is a hung-up line.
  reason = n == 0 ? "the device hung up" : std::strerror(errno);
  return -1;
}

bool SerialPort::write(const std::uint8_t* data, std::size_t size) {
  const ssize_t n = ::write(fd_, data, size);
  return n == static_cast<ssize_t>(size);
}

}  // namespace orlo::headless
