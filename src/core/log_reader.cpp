#include "core/log_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "util/platform.h"

namespace orlo {
namespace {

constexpr std::size_t kBlockBytes = 1 << 20;
constexpr std::size_t kLongestLine = 1024;  // a row is about 150 characters
constexpr std::size_t kHeaderBytes = 64 * 1024;
constexpr std::size_t kProblemsKept = 20;
constexpr int kLongestPlainStepBack = 3600;

std::string systemError(const std::string& what, const std::string& path) {
  return "cannot " + what + " " + path + ": " + std::strerror(errno);
}

std::size_t fieldCount(const std::string& line) {
  return static_cast<std::size_t>(std::count(line.begin(), line.end(), ',')) + 1;
}

// What the first line says the file is, when it is no data log.
std::string notALog(const std::string& path, const std::string& first) {
  const std::string where = path + ":1: ";
  if (first == "time,kind,event") return where + "this is an events file, not a data log";
  const std::size_t comma = first.find(',');
  if (fieldCount(first) == 3 && comma != std::string::npos && comma > 0 &&
      (first[comma + 1] == '-' || std::isdigit(static_cast<unsigned char>(first[comma + 1]))))
    return where + "this looks like an alarm parameter file (label,value,unit), not a data log";
  return where + "not a data log: the first line is not the header " + logHeaderText().substr(0, 16) +
         "...Mode";
}

}  // namespace

Result<LogReader> LogReader::open(const std::string& path, bool* unreadable) {
  if (unreadable) *unreadable = true;
  LogReader reader;
  reader.path_ = path;
  reader.fd_.reset(openForReading(path));
  if (!reader.fd_) return fail(systemError("open", path));
  struct stat info {};
  if (::fstat(reader.fd_.get(), &info) != 0) return fail(systemError("look at", path));
  if (!S_ISREG(info.st_mode)) return fail("cannot read " + path + ": not a regular file");
  ::posix_fadvise(reader.fd_.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  reader.modified_ = info.st_mtime;
  reader.block_.resize(kBlockBytes);
  reader.line_.reserve(kLongestLine);
  if (Status header = reader.readHeader(unreadable); !header) return fail(header.error());
  return reader;
}

Status LogReader::readHeader(bool* unreadable) {
  const ssize_t got = ::pread(fd_.get(), block_.data(), kHeaderBytes, 0);
  if (got < 0) return fail(systemError("read", path_));
  if (unreadable) *unreadable = false;
  const auto* b = reinterpret_cast<const unsigned char*>(block_.data());
  const std::size_t size = static_cast<std::size_t>(got);
  if (size == 0) return fail(path_ + ": the file is empty; a data log starts with its header line");
  std::size_t at = 0;
  if (size >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
    encoding_ = LogEncoding::Utf16Le;
    at = 2;
  } else if (size >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
    at = 3;
  } else if (size >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
    return fail(path_ + ":1: UTF-16 big-endian text; a data log is UTF-16LE or UTF-8");
  } else if (size >= 2 && b[0] != 0 && b[1] == 0) {
    encoding_ = LogEncoding::Utf16Le;
  }
  const std::size_t step = encoding_ == LogEncoding::Utf16Le ? 2 : 1;
  std::string first;
  for (; at + step <= size; at += step) {
    const unsigned unit = step == 2 ? b[at] | (b[at + 1] << 8) : b[at];
    if (unit == '\n') break;
    if (first.size() < kLongestLine) first += unit < 0x80 && unit != 0 ? static_cast<char>(unit) : '?';
  }
  if (!first.empty() && first.back() == '\r') first.pop_back();
  if (at + step > size) {
    if (first == logHeaderText()) return fail(path_ + ":1: the header line has no line end yet; no rows");
    return fail(notALog(path_, first));
  }
  if (first != logHeaderText()) return fail(notALog(path_, first));
  offset_ = static_cast<off_t>(at + step);
  lineNumber_ = 2;
  return {};
}

Status LogReader::readAvailable(const RowSink& sink, const Progress& progress) {
  struct stat info {};
  if (::fstat(fd_.get(), &info) != 0) return fail(systemError("look at", path_));
  modified_ = info.st_mtime;
  if (info.st_size < offset_)
    return fail(path_ + ": the file shrank from " + std::to_string(offset_) + " to " +
                std::to_string(info.st_size) + " bytes while it was read; a data log only grows");
  for (;;) {
    const ssize_t got = ::pread(fd_.get(), block_.data(), block_.size(), offset_);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return fail(systemError("read", path_));
    if (got == 0) break;
    consume(block_.data(), static_cast<std::size_t>(got), sink);
    offset_ += got;
    if (progress && !progress(offset_, std::max<std::int64_t>(info.st_size, offset_)))
      return fail("cancelled");
  }
  return {};
}

void LogReader::consume(const char* bytes, std::size_t count, const RowSink& sink) {
  const auto* b = reinterpret_cast<const unsigned char*>(bytes);
  std::size_t i = 0;
  if (encoding_ == LogEncoding::Utf8) {
    for (; i < count; ++i) addUnit(b[i], sink);
    return;
  }
  if (oddByte_ >= 0 && count > 0) {
    addUnit(static_cast<unsigned>(oddByte_) | (b[0] << 8), sink);
    oddByte_ = -1;
    i = 1;
  }
  for (; i + 1 < count; i += 2) addUnit(b[i] | (b[i + 1] << 8), sink);
  if (i < count) oddByte_ = b[i];
}

void LogReader::addUnit(unsigned unit, const RowSink& sink) {
  if (unit == '\n') {
    endLine(sink);
    return;
  }
  ++lineLength_;
  if (unit == 0) {
    lineHasNul_ = true;
  } else if (unit >= 0x80) {
    lineHasOther_ = true;
  } else if (line_.size() < kLongestLine) {
    line_ += static_cast<char>(unit);
  }
}

void LogReader::endLine(const RowSink& sink) {
  const std::int64_t line = lineNumber_++;
  if (!line_.empty() && line_.back() == '\r') line_.pop_back();
  if (lineHasNul_) {
    problem(line, "NUL bytes in the row");
  } else if (lineLength_ > static_cast<std::int64_t>(kLongestLine)) {
    problem(line, "a line of " + std::to_string(lineLength_) + " characters; a row is far shorter");
  } else if (lineHasOther_) {
    problem(line, "characters that no row holds");
  } else if (!line_.empty()) {
    LogRow row;
    if (const std::string error = parser_.parse(line_, &row); !error.empty())
      problem(line, error);
    else
      handleRow(row, sink);
  }
  line_.clear();
  lineLength_ = 0;
  lineHasNul_ = lineHasOther_ = false;
}

void LogReader::handleRow(const LogRow& row, const RowSink& sink) {
  if (rows_ > 0) {
    const bool newRun = row.number < previousNumber_ || row.number == 0;
    if (row.timeOfDay < previousTime_) {
      ++day_;
      const int forward = row.timeOfDay + static_cast<int>(kSecondsPerDay) - previousTime_;
      if (!newRun && forward > kLongestPlainStepBack) {
        ++backwardJumps_;
        note(lineNumber_ - 1, "the time goes back from " + std::string(formatCivil(previousTime_), 11) +
                                  " to " + std::string(row.text[0]) + "; taken as the next day");
      }
    }
    if (newRun) ++run_;
  }
  previousTime_ = row.timeOfDay;
  previousNumber_ = row.number;
  ++rows_;
  sink(LogRecord{row, lineNumber_ - 1, day_ * kSecondsPerDay + row.timeOfDay, run_});
}

void LogReader::problem(std::int64_t line, const std::string& text) {
  ++badRows_;
  note(line, text);
}

void LogReader::note(std::int64_t line, const std::string& text) {
  if (++problemCount_ <= static_cast<std::int64_t>(kProblemsKept))
    problems_.push_back(path_ + ":" + std::to_string(line) + ": " + text);
}

CivilSeconds LogReader::firstDayFromModification() const {
  return localDayOf(modified_) - day_ * kSecondsPerDay;
}

}  // namespace orlo
