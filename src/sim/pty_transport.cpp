#include "sim/pty_transport.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace orlo::sim {

PtyTransport::PtyTransport(std::string linkPath) : link_(std::move(linkPath)) {}

PtyTransport::~PtyTransport() {
  unplug();
  if (!link_.empty()) ::unlink(link_.c_str());
}

bool PtyTransport::open(std::string& error) {
  unplug();
  char name[256] = {};
  if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
    error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
    master_ = slave_ = -1;
    return false;
  }
  termios tio{};
  ::tcgetattr(slave_, &tio);
  ::cfmakeraw(&tio);
  ::cfsetispeed(&tio, B38400);
  ::cfsetospeed(&tio, B38400);
  ::tcsetattr(slave_, TCSANOW, &tio);
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  ::fcntl(master_, F_SETFD, FD_CLOEXEC);
  ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
  device_ = name;
  return pointLink(error);
}

// A new symlink under a temporary name, renamed over the old one: a host that opens the
// link path never finds it missing or half-made.
bool PtyTransport::pointLink(std::string& error) {
  if (link_.empty()) return true;
  const std::string temp = link_ + ".new." + std::to_string(::getpid());
  ::unlink(temp.c_str());
  if (::symlink(device_.c_str(), temp.c_str()) != 0 || ::rename(temp.c_str(), link_.c_str()) != 0) {
    error = "cannot make the link " + link_ + ": " + std::strerror(errno);
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

void PtyTransport::unplug() {
  if (slave_ >= 0) ::close(slave_);
  if (master_ >= 0) ::close(master_);
  master_ = slave_ = -1;
}

}  // namespace orlo::sim
