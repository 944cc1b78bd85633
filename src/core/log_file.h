#pragma once
// The file side of the telemetry log. Every row opens and closes the file, so between rows
// other programs may read it. While logging is on, this program holds an advisory write lock on
// the file through a descriptor of its own; another copy of the tool that wants to log to the
// same file is refused when it switches on, rather than interleaving its rows with ours.

#include <string>

#include "util/platform.h"
#include "util/result.h"
#include "util/unique_fd.h"

namespace orlo {

// Failures are ErrorKind::Busy when another holder has the file locked ("another program is
// writing to it"), ErrorKind::Missing when nothing is there under the path, else the system's
// words.

// Creates `path` (it must not exist yet) holding exactly `bytes`. A file that could not be
// written in full is removed again, so a later attempt starts from nothing.
Status createLogFile(const std::string& path, const std::string& bytes);

class LogFile {
 public:
  LogFile() = default;
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // Opens the existing regular file `path` for writing and takes its lock, which is then held
  // until release(). Fails when it cannot be opened, or with Busy when another holder has it.
  Status hold(const std::string& path);
  void release();
  bool holding() const { return lockFd_.valid(); }

  // Appends `bytes` to the existing regular file `path`: all of them or, after a failure part
  // way, none (the file is cut back to its old length). When `path` is no longer the file held
  // (replaced, or a new path), the lock moves to the file found there, if nobody else has it.
  // An empty file (made by someone else, or cut short to nothing) gets `headerIfEmpty` first,
  // so that what is written is always a whole log.
  Status append(const std::string& path, const std::string& bytes, const std::string& headerIfEmpty = "");

 private:
  UniqueFd lockFd_;
  FileIdentity identity_;
};

}  // namespace orlo
