#pragma once
// Reads a data log as the window or orlo-bms writes it (UTF-16LE, LF) or as a spreadsheet saves
// it again (UTF-8 with or without a byte order mark, CR LF), one whole row at a time, in a fixed
// amount of memory whatever the file's size. The file is only ever opened for reading.
//
// Dates: the log keeps only the time of day. A row whose time of day is earlier than the row
// before starts the next day, and a NUMBER that goes back (to 0, a restarted program) starts a
// new run. Each row is handed out with its seconds since midnight of the first row's day; the
// caller adds the first row's date, given by the user or worked out from the file's
// modification date (the last row's date) with firstDayFromModification().
//
// A log still being written is read up to its last whole row; readAvailable() again reads what
// was added since. A bad row is skipped, counted and named by its line.

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "core/log_dates.h"
#include "core/log_line.h"
#include "util/big_allocator.h"
#include "util/result.h"
#include "util/unique_fd.h"

namespace orlo {

enum class LogEncoding { Utf16Le, Utf8 };

struct LogRecord {
  const LogRow& row;
  std::int64_t line;     // 1 is the header
  CivilSeconds seconds;  // since midnight of the first row's day
  int run;               // 0 for the first
};

class LogReader {
 public:
  using RowSink = std::function<void(const LogRecord&)>;
  // Called after each block with the bytes read and the file's size; false cancels.
  using Progress = std::function<bool(std::int64_t done, std::int64_t total)>;

  // Opens the file and checks its header line. On failure *unreadable tells a file that cannot
  // be read (true) from one that is no data log (false).
  static Result<LogReader> open(const std::string& path, bool* unreadable = nullptr);

  // Reads every whole row written so far. Fails when the file cannot be read or has become
  // shorter than what was read (a log is only ever appended to); "cancelled" on a cancel.
  // With `threads` 2, a large part still unread is cut at a line end in its middle and the
  // second half parsed on a thread of its own; the rows still reach `sink` in the file's order,
  // on the calling thread, but those of the second half without their text (row.text empty).
  Status readAvailable(const RowSink& sink, const Progress& progress = {}, int threads = 1);

  const std::string& path() const { return path_; }
  LogEncoding encoding() const { return encoding_; }
  std::int64_t rows() const { return rows_; }
  std::int64_t badRows() const { return badRows_; }
  // Whether bytes after the last line end wait for theirs (a torn or growing last row).
  bool tornRow() const { return lineLength_ > 0 || oddByte_ >= 0; }
  int runs() const { return rows_ == 0 ? 0 : run_ + 1; }
  // Times that went back by more than an hour within a run, each taken as the next day.
  std::int64_t backwardJumps() const { return backwardJumps_; }
  // "FILE:LINE: what" for the first problems met; problemCount() counts them all.
  const std::vector<std::string>& problems() const { return problems_; }
  std::int64_t problemCount() const { return problemCount_; }
  std::time_t modificationTime() const { return modified_; }
  // The first row's day when the last row's day is the file's modification date.
  CivilSeconds firstDayFromModification() const;

 private:
  struct Parsed {
    LogFigures figures;
    std::uint32_t line;  // from the start of the part parsed
  };

  LogReader() = default;
  Status readHeader(bool* unreadable);
  // Reads from offset_ to `limit`; progress is told `before` + the bytes read and `total`.
  Status readTo(std::int64_t limit, const RowSink& sink, const Progress& progress, std::int64_t before,
                std::int64_t total);
  Status readSplit(std::int64_t size, std::int64_t middle, const RowSink& sink, const Progress& progress);
  // The offset just after the first line end at or after `at`, or -1 when none is near.
  std::int64_t lineStartAfter(std::int64_t at);
  using ParsedRows = std::vector<Parsed, BigAllocator<Parsed>>;
  void takeOver(LogReader& rest, ParsedRows& rows, std::vector<std::pair<std::int64_t, std::string>>& notes,
                const RowSink& sink);
  void consume(const char* bytes, std::size_t count, const RowSink& sink);
  // Cuts `text` (one byte a character, any non-ASCII one >= 0x80) into lines; `plain` when it
  // holds neither NUL nor such a character.
  void scan(const char* text, std::size_t count, bool plain, const RowSink& sink);
  void endLine(std::string_view text, std::int64_t length, bool nul, bool other, const RowSink& sink);
  void handleRow(const LogRow& row, const RowSink& sink);
  void problem(std::int64_t line, const std::string& text);  // a bad row
  void note(std::int64_t line, const std::string& text);

  std::string path_;
  UniqueFd fd_;
  LogEncoding encoding_ = LogEncoding::Utf8;
  std::int64_t offset_ = 0;
  std::time_t modified_ = 0;
  std::vector<char> block_;
  std::vector<char> text_;  // block_ decoded, one byte a character
  std::string line_;        // the start of a line a block boundary cut (its first kLongestLine)
  std::int64_t lineNumber_ = 1;
  std::int64_t lineLength_ = 0;  // characters of the current line, kept or not
  bool lineHasNul_ = false;
  bool lineHasOther_ = false;  // a character outside ASCII
  int oddByte_ = -1;           // the first byte of a UTF-16 unit whose second has not come
  LogLineParser parser_;
  LogRow row_;
  std::int64_t rows_ = 0;
  std::int64_t badRows_ = 0;
  std::int64_t backwardJumps_ = 0;
  int run_ = 0;
  std::int64_t day_ = 0;
  int previousTime_ = 0;
  std::int32_t previousNumber_ = 0;
  std::vector<std::string> problems_;
  std::int64_t problemCount_ = 0;
  // Set on the reader of a second half: rows and problems are kept here for the first reader.
  ParsedRows* parsed_ = nullptr;
  std::vector<std::pair<std::int64_t, std::string>>* notes_ = nullptr;
};

}  // namespace orlo
