#include "util/file_system.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "util/unique_fd.h"

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

namespace {

bool failWith(const std::string& what, const std::string& path, std::string* error) {
  if (error != nullptr) *error = what + " " + path + ": " + std::strerror(errno);
  return false;
}

}  // namespace

bool appendLocked(const std::string& path, const std::string& headerIfNew, const std::string& line,
                  std::string* error) {
  const UniqueFd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
  if (!fd) return failWith("cannot open", path, error);
  int locked = -1;
  while ((locked = ::flock(fd.get(), LOCK_EX)) != 0 && errno == EINTR) {
  }
  if (locked != 0) return failWith("cannot lock", path, error);
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return failWith("cannot look at", path, error);
  const std::string text = info.st_size == 0 ? headerIfNew + line : line;
  if (!writeAll(fd.get(), text) || ::fsync(fd.get()) != 0) return failWith("cannot append to", path, error);
  return true;  // closing the descriptor releases the lock
}

bool readSmallFile(const std::string& path, std::size_t maxBytes, std::string* content, std::string* error) {
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return failWith("cannot open", path, error);
  content->clear();
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return failWith("cannot read", path, error);
    if (n == 0) return true;
    content->append(buffer, static_cast<std::size_t>(n));
    if (content->size() > maxBytes) {
      if (error != nullptr) *error = path + " is larger than " + std::to_string(maxBytes) + " bytes";
      return false;
    }
  }
}

}  // namespace orlo
