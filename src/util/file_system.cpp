#include "util/file_system.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace orlo {

PathKind pathKind(const std::string& path) {
  struct stat info {};
  if (path.empty()) return PathKind::Missing;
  if (::stat(path.c_str(), &info) != 0)
    return errno == ENOENT || errno == ENOTDIR ? PathKind::Missing : PathKind::Other;
  if (S_ISREG(info.st_mode)) return PathKind::File;
  if (S_ISDIR(info.st_mode)) return PathKind::Folder;
  return PathKind::Other;
}

namespace {

// Writes the rest of `bytes` through `write(from, count, done)` until all is out or it fails.
template <typename Write>
bool writeLoop(const std::string& bytes, Write write) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(bytes.data() + done, bytes.size() - done, done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // A write that takes nothing sets no errno; a full device is the likely cause.
      if (n == 0) errno = ENOSPC;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool writeAll(int fd, const std::string& bytes) {
  return writeLoop(
      bytes, [fd](const char* from, std::size_t count, std::size_t) { return ::write(fd, from, count); });
}

bool writeAllAt(int fd, const std::string& bytes, off_t offset) {
  return writeLoop(bytes, [fd, offset](const char* from, std::size_t count, std::size_t done) {
    return ::pwrite(fd, from, count, offset + static_cast<off_t>(done));
  });
}

}  // namespace orlo
