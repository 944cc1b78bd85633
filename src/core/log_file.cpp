#include "core/log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "util/file_system.h"

namespace orlo {
namespace {

LogFileResult failure(int error, bool busy = false) {
  LogFileResult result;
  result.busy = busy;
  result.missing = error == ENOENT;
  result.reason = std::strerror(error);
  return result;
}

LogFileResult success() {
  LogFileResult result;
  result.ok = true;
  return result;
}

// Owns one descriptor; closing it also drops a lock taken through it.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

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

// Opens an existing regular file. O_NONBLOCK keeps a pipe or a device that was swapped in
// under the name from stalling the window thread.
LogFileResult openRegular(const std::string& path, int flags, int* fd, struct stat* info) {
  *fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (*fd < 0) return failure(errno);
  if (::fstat(*fd, info) != 0) return failure(errno);
  if (!S_ISREG(info->st_mode)) return failure(EINVAL);
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

LogFileResult LogFile::hold(const std::string& path) {
  release();
  int fd = -1;
  struct stat info {};
  LogFileResult result = openRegular(path, O_WRONLY, &fd, &info);
  Descriptor file(fd);
  if (!result.ok) return result;
  if (!lockForWriting(fd)) return failure(errno, isLockConflict(errno));
  lockFd_ = file.release();
  device_ = info.st_dev;
  inode_ = info.st_ino;
  return success();
}

void LogFile::release() {
  if (lockFd_ >= 0) ::close(lockFd_);
  lockFd_ = -1;
}

LogFileResult LogFile::append(const std::string& path, const std::string& bytes) {
  int fd = -1;
  struct stat before {};
  LogFileResult result = openRegular(path, O_RDWR | O_APPEND, &fd, &before);
  Descriptor file(fd);
  if (!result.ok) return result;
  const bool held = lockFd_ >= 0 && before.st_dev == device_ && before.st_ino == inode_;
  if (!held && !lockForWriting(fd)) return failure(errno, isLockConflict(errno));
  if (!writeAll(fd, bytes)) {
    const int error = errno;
    // A row cut in half would leave the next one starting mid-line (or, in UTF-16, on an odd byte).
    // The cause worth telling the user is the write's, not a cut-back that failed as well.
    [[maybe_unused]] const int cut = ::ftruncate(fd, before.st_size);
    return failure(error);
  }
  if (!held) {
    // The file under the path is now the log: keep its lock, let the old one go.
    release();
    lockFd_ = file.release();
    device_ = before.st_dev;
    inode_ = before.st_ino;
  }
  return success();
}

}  // namespace orlo
