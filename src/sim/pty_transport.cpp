#include "sim/pty_transport.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

namespace orlo::sim {

PtyTransport::PtyTransport(std::string linkPath) : link_(std::move(linkPath)) {}

namespace {

// The target of the symlink at `path`; empty when it is not a symlink or cannot be read.
std::string linkTarget(const std::string& path) {
  char target[PATH_MAX] = {};
  const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
  return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

}  // namespace

bool PtyTransport::linkPathFree(const std::string& path, std::string& error) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return true;
    error = "cannot use " + path + " as the link: " + std::strerror(errno);
    return false;
  }
  if (!S_ISLNK(st.st_mode)) {
    error = "refusing to replace " + path + " with the link: it exists and is not a symlink";
    return false;
  }
  struct stat target {};
  if (::stat(path.c_str(), &target) != 0) {
    if (errno == ENOENT) return true;
    error = "refusing to replace the link " + path + ": " + std::strerror(errno);
    return false;
  }
  error = "refusing to replace the link " + path + ": it points to " + linkTarget(path) +
          ", which exists (another simulator's line?)";
  return false;
}

PtyTransport::~PtyTransport() {
  unplug();
  // Someone may have taken the path over since; their link stays.
  if (!link_.empty() && !linked_.empty() && linkTarget(link_) == linked_) ::unlink(link_.c_str());
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
  if (pointLink(error)) return true;
  unplug();
  return false;
}

// A new symlink under a temporary name, renamed over the old one: a host that opens the
// link path never finds it missing or half-made.
bool PtyTransport::pointLink(std::string& error) {
  if (link_.empty()) return true;
  const bool ours = !linked_.empty() && linkTarget(link_) == linked_;
  if (!ours && !linkPathFree(link_, error)) return false;
  const std::string temp = link_ + ".new." + std::to_string(::getpid());
  ::unlink(temp.c_str());
  if (::symlink(device_.c_str(), temp.c_str()) != 0 || ::rename(temp.c_str(), link_.c_str()) != 0) {
    error = "cannot make the link " + link_ + ": " + std::strerror(errno);
    ::unlink(temp.c_str());
    return false;
  }
  linked_ = device_;
  return true;
}

void PtyTransport::unplug() {
  const bool plugged = master_ >= 0;
  if (slave_ >= 0) ::close(slave_);
  if (master_ >= 0) ::close(master_);
  master_ = slave_ = -1;
  // An unplugged device leaves no name behind, as a real one does: the number of the closed
  // pseudo-terminal goes to the next one made on this machine, which a host retrying the link
  // path would otherwise open as if this board were back.
  if (plugged && !link_.empty() && !linked_.empty() && linkTarget(link_) == linked_) ::unlink(link_.c_str());
}

}  // namespace orlo::sim
