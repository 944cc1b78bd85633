#pragma once
// A pack's data log for the monitor: the window's UTF-16LE CSV (same header, same row), one
// file per pack (DIR/NAME.csv), a row per interval while the pack's link is up. A file that
// exists is continued; one that disappears is started again with its header.

#include <cstdint>
#include <ctime>
#include <string>

#include "core/log_file.h"
#include "core/log_values.h"
#include "link/answers.h"

namespace orlo::headless {

class PackDataLog {
 public:
  PackDataLog(const std::string& dir, const std::string& pack);

  const std::string& path() const { return path_; }
  // Writes one row; a failure is reported once until a row succeeds again.
  void write(const std::tm& time, const LiveData& live);

 private:
  bool ensureFile();
  void fail(const std::string& why);

  std::string path_;
  LogFile file_;
  std::int32_t number_ = 0;
  bool failureReported_ = false;
};

}  // namespace orlo::headless
