#include "headless/serial_port.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "util/unique_fd.h"

namespace orlo::headless {
namespace {

constexpr char kInUse[] = "in use by another program";

}  // namespace

Status SerialPort::open(const std::string& path) {
  close();
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  // EBUSY: another program has the terminal in exclusive mode.
  if (!fd) return fail(errno == EBUSY ? kInUse : std::strerror(errno));
  termios tio{};
  if (::tcgetattr(fd.get(), &tio) != 0)
    return fail(std::string("not a serial device (") + std::strerror(errno) + ")");
  // The line is this program's alone, as terminal programs keep it: the lock they ask for, and
  // the terminal's exclusive mode against those that do not ask. Two programs polling one line
  // would take each other's answers.
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
    return fail(errno == EWOULDBLOCK ? kInUse : std::string("cannot lock it (") + std::strerror(errno) + ")");
  ::ioctl(fd.get(), TIOCEXCL);
  ::cfmakeraw(&tio);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS | CSIZE);
  tio.c_cflag |= CS8 | CLOCAL | CREAD;
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  ::cfsetispeed(&tio, B38400);
  ::cfsetospeed(&tio, B38400);
  if (::tcsetattr(fd.get(), TCSANOW, &tio) != 0) {
    const std::string reason = std::string("cannot set 38400 8N1 (") + std::strerror(errno) + ")";
    ::ioctl(fd.get(), TIOCNXCL);
    return fail(reason);
  }
  ::tcflush(fd.get(), TCIOFLUSH);
  fd_ = fd.release();
  ++opens_;
  return {};
}

void SerialPort::close() {
  if (fd_ < 0) return;
  // The exclusive mode would outlive this descriptor on a terminal that stays (a pseudo-terminal).
  ::ioctl(fd_, TIOCNXCL);
  ::close(fd_);
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
