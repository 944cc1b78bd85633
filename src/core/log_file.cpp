#include "core/log_file.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include "util/platform.h"
#include "util/unique_fd.h"

namespace orlo {
namespace {

Error failure(int error, bool busy = false) {
  if (busy) return fail("another program is writing to it", ErrorKind::Busy);
  return fail(std::strerror(error), error == ENOENT ? ErrorKind::Missing : ErrorKind::Other);
}

}  // namespace

Status createLogFile(const std::string& path, const std::string& bytes) {
  UniqueFd file(createNewFile(path));
  if (!file) return failure(errno);
  lockForWriting(file.get());
  if (!writeAll(file.get(), bytes)) {
    const int error = errno;
    removeFile(path);
    return failure(error);
  }
  return {};
}

Status LogFile::hold(const std::string& path) {
  release();
  FileIdentity identity;
  std::int64_t size = 0;
  UniqueFd file(openRegularForWriting(path, false, &identity, &size));
  if (!file) return failure(errno);
  if (!lockForWriting(file.get())) return failure(errno, isLockConflict(errno));
  lockFd_ = std::move(file);
  identity_ = identity;
  return {};
}

void LogFile::release() {
  lockFd_.reset();
}

Status LogFile::append(const std::string& path, const std::string& bytes, const std::string& headerIfEmpty) {
  FileIdentity identity;
  std::int64_t sizeBefore = 0;
  UniqueFd file(openRegularForWriting(path, true, &identity, &sizeBefore));
  if (!file) return failure(errno);
  const bool held = lockFd_.valid() && identity == identity_;
  if (!held && !lockForWriting(file.get())) return failure(errno, isLockConflict(errno));
  if (!writeAll(file.get(), sizeBefore == 0 ? headerIfEmpty + bytes : bytes)) {
    const int error = errno;
    // A row cut in half would leave the next one starting mid-line (or, in UTF-16, on an odd byte).
    // The cause worth telling the user is the write's, not a cut-back that failed as well.
    [[maybe_unused]] const bool cut = truncateTo(file.get(), sizeBefore);
    return failure(error);
  }
  if (!held) {
    // The file under the path is now the log: keep its lock, let the old one go.
    lockFd_ = std::move(file);
    identity_ = identity;
  }
  return {};
}

}  // namespace orlo
