#pragma once
// The host's side of the simulator's line, for tests: opens the device raw and non-blocking,
// writes requests and collects what comes back.

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "sim/sim_frame.h"

namespace orlo::sim::test {

class HostEnd {
 public:
  explicit HostEnd(const std::string& device) {
    fd_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ >= 0) {
      termios tio{};
      ::tcgetattr(fd_, &tio);
      ::cfmakeraw(&tio);
      ::tcsetattr(fd_, TCSANOW, &tio);
    }
  }
  explicit HostEnd(int fd) : fd_(fd) {}
  ~HostEnd() {
    if (fd_ >= 0) ::close(fd_);
  }
  HostEnd(const HostEnd&) = delete;
  HostEnd& operator=(const HostEnd&) = delete;

  bool isOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  bool send(const Bytes& bytes) {
    return ::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }

  // Appends whatever is waiting; returns the number of read() calls that brought bytes.
  int collect() {
    int reads = 0;
    std::uint8_t buffer[4096];
    for (;;) {
      const ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n <= 0) break;
      ++reads;
      received.insert(received.end(), buffer, buffer + n);
    }
    return reads;
  }

  // True when the line has hung up (the other side closed it).
  bool hungUp(int timeoutMs) const {
    pollfd pfd{fd_, POLLIN, 0};
    return ::poll(&pfd, 1, timeoutMs) > 0 && (pfd.revents & (POLLHUP | POLLERR)) != 0;
  }

  Bytes received;

 private:
  int fd_ = -1;
};

// Every checksum-valid frame in a byte stream, in order.
inline std::vector<Bytes> validFrames(const Bytes& stream) {
  RequestScanner scanner;
  std::vector<Bytes> frames;
  scanner.feed(stream.data(), stream.size(), frames);
  return frames;
}

// Runs `step` until `done` holds or `timeoutMs` have passed; true if `done` held.
inline bool pumpUntil(const std::function<void()>& step, const std::function<bool()>& done, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < end) {
    step();
    if (done()) return true;
  }
  return done();
}

}  // namespace orlo::sim::test
