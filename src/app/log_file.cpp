#include "app/log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "pages/file_system.h"

namespace orlo {
namespace {

LogFileResult failure(int error, bool busy = false) {
  LogFileResult result;
  result.busy = busy;
  result.reason = std::strerror(error);
  return result;
}

LogFileResult success() {
  LogFileResult result;
  result.ok = true;
  return result;
}

// Owns one descriptor; closing it also drops the lock.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Open-file-description locks conflict between descriptors even inside one process, and are
// released with the descriptor; non-blocking, as the window thread must never wait.
bool lockForWriting(int fd) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

bool isLockConflict(int error) {
  return error == EAGAIN || error == EACCES;
}

// Opens an existing regular file and locks it. O_NONBLOCK keeps a pipe or a device that was
// swapped in under the name from stalling the window thread.
LogFileResult openLocked(const std::string& path, int flags, int* fd) {
  *fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (*fd < 0) return failure(errno);
  struct stat info {};
  if (::fstat(*fd, &info) != 0) return failure(errno);
  if (!S_ISREG(info.st_mode)) return failure(EINVAL);
  if (!lockForWriting(*fd)) return failure(errno, isLockConflict(errno));
  return success();
}

}  // namespace

LogFileResult createLogFile(const std::string& path, const std::string& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0644);
  if (fd < 0) return failure(errno);
  Descriptor file(fd);
  lockForWriting(fd);
  if (!writeAll(fd, bytes)) {
    const int error = errno;
    ::unlink(path.c_str());
    return failure(error);
  }
  return success();
}

LogFileResult probeLogFile(const std::string& path) {
  int fd = -1;
  LogFileResult result = openLocked(path, O_WRONLY, &fd);
  Descriptor file(fd);
  return result;
}

LogFileResult appendToLogFile(const std::string& path, const std::string& bytes) {
  int fd = -1;
  LogFileResult result = openLocked(path, O_RDWR | O_APPEND, &fd);
  Descriptor file(fd);
  if (!result.ok) return result;
  struct stat before {};
  if (::fstat(fd, &before) != 0) return failure(errno);
  if (writeAll(fd, bytes)) return success();
  const int error = errno;
  // A row cut in half would leave the next one starting mid-line (or, in UTF-16, on an odd byte).
  // The cause worth telling the user is the write's, not a cut-back that failed as well.
  [[maybe_unused]] const int cut = ::ftruncate(fd, before.st_size);
  return failure(error);
}

}  // namespace orlo
