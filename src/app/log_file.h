#pragma once
// The file side of the telemetry log. Every operation opens and closes the file, so between
// rows other programs may read it. While this program touches the file it holds an advisory
// write lock on it; another copy of the tool logging to the same file is refused rather than
// interleaving its rows with ours.

#include <string>

namespace orlo {

struct LogFileResult {
  bool ok = false;
  bool busy = false;   // another holder has the file locked
  std::string reason;  // the system's words for a failure
};

// Creates `path` (it must not exist yet) holding exactly `bytes`. A file that could not be
// written in full is removed again, so a later attempt starts from nothing.
LogFileResult createLogFile(const std::string& path, const std::string& bytes);

// Whether the existing regular file `path` can be opened for writing right now.
LogFileResult probeLogFile(const std::string& path);

// Appends `bytes` to the existing regular file `path`: all of them or, after a failure part
// way, none (the file is cut back to its old length).
LogFileResult appendToLogFile(const std::string& path, const std::string& bytes);

}  // namespace orlo
