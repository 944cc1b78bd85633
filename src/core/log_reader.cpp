#include "core/log_reader.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <limits>
#include <system_error>
#include <thread>

#include "util/platform.h"

namespace orlo {
namespace {

constexpr std::size_t kBlockBytes = 1 << 20;
constexpr std::size_t kSplitBytes = 4 * kBlockBytes;  // worth a second thread
constexpr std::size_t kLongestLine = 1024;            // a row is about 150 characters
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

// The first line with any quotes a spreadsheet put around its fields taken off.
std::string withoutQuotes(const std::string& first) {
  std::string buffer;
  std::vector<std::string_view> fields;
  if (first.find('"') == std::string::npos || !splitCsvLine(first, &buffer, &fields).empty()) return first;
  std::string joined(fields[0]);
  for (std::size_t i = 1; i < fields.size(); ++i) (joined += ',') += fields[i];
  return joined;
}

}  // namespace

Result<LogReader> LogReader::open(const std::string& path, bool* unreadable) {
  if (unreadable) *unreadable = true;
  LogReader reader;
  reader.path_ = path;
  reader.fd_.reset(openForReading(path));
  if (!reader.fd_) return fail(systemError("open", path));
  FileFacts facts;
  if (!factsOfFile(reader.fd_.get(), &facts)) return fail(systemError("look at", path));
  if (facts.kind != PathKind::File) return fail("cannot read " + path + ": not a regular file");
  adviseSequential(reader.fd_.get());
  reader.modified_ = facts.modified;
  reader.block_.resize(kBlockBytes);
  reader.line_.reserve(kLongestLine);
  if (Status header = reader.readHeader(unreadable); !header) return fail(header.error());
  return reader;
}

Status LogReader::readHeader(bool* unreadable) {
  const long got = readAt(fd_.get(), block_.data(), kHeaderBytes, 0);
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
  first = withoutQuotes(first);
  if (at + step > size) {
    if (first == logHeaderText()) return fail(path_ + ":1: the header line has no line end yet; no rows");
    return fail(notALog(path_, first));
  }
  if (first != logHeaderText()) return fail(notALog(path_, first));
  offset_ = static_cast<std::int64_t>(at + step);
  lineNumber_ = 2;
  return {};
}

Status LogReader::readAvailable(const RowSink& sink, const Progress& progress, int threads) {
  FileFacts facts;
  if (!factsOfFile(fd_.get(), &facts)) return fail(systemError("look at", path_));
  modified_ = facts.modified;
  if (facts.size < offset_)
    return fail(path_ + ": the file shrank from " + std::to_string(offset_) + " to " +
                std::to_string(facts.size) + " bytes while it was read; a data log only grows");
  const std::int64_t unread = facts.size - offset_;
  // Under 4 GiB: the second half's line numbers fit its 32 bits.
  const bool large = unread >= static_cast<std::int64_t>(kSplitBytes) && unread < (std::int64_t{1} << 32);
  if (threads > 1 && large && lineLength_ == 0 && oddByte_ < 0) {
    const std::int64_t middle = lineStartAfter(offset_ + unread / 4 * 2);  // on a UTF-16 unit's start
    if (middle > 0 && middle < facts.size) return readSplit(facts.size, middle, sink, progress);
  }
  return readTo(-1, sink, progress, 0, facts.size);
}

Status LogReader::readTo(std::int64_t limit, const RowSink& sink, const Progress& progress,
                         std::int64_t before, std::int64_t total) {
  while (limit < 0 || offset_ < limit) {
    const std::size_t want =
        limit < 0 ? block_.size() : std::min<std::size_t>(block_.size(), limit - offset_);
    const long got = readAt(fd_.get(), block_.data(), want, offset_);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return fail(systemError("read", path_));
    if (got == 0) break;
    consume(block_.data(), static_cast<std::size_t>(got), sink);
    offset_ += got;
    if (progress && !progress(before + offset_, std::max<std::int64_t>(total, before + offset_)))
      return fail("cancelled");
  }
  return {};
}

std::int64_t LogReader::lineStartAfter(std::int64_t at) {
  std::vector<char> near(kLongestLine * 4);
  const long got = readAt(fd_.get(), near.data(), near.size(), at);
  const std::size_t step = encoding_ == LogEncoding::Utf16Le ? 2 : 1;
  for (std::size_t i = 0; got > 0 && i + step <= static_cast<std::size_t>(got); i += step)
    if (near[i] == '\n' && (step == 1 || near[i + 1] == 0)) return at + static_cast<std::int64_t>(i + step);
  return -1;
}

// The part from `middle` on is read by a second reader on a thread of its own, which parses its
// rows and keeps them; this one reads up to `middle`, then gives those rows their dates and
// runs, which depend on the rows before, and hands them on.
Status LogReader::readSplit(std::int64_t size, std::int64_t middle, const RowSink& sink,
                            const Progress& progress) {
  LogReader rest;
  rest.fd_.reset(duplicateDescriptor(fd_.get()));
  if (!rest.fd_) return readTo(-1, sink, progress, 0, size);
  rest.path_ = path_;
  rest.encoding_ = encoding_;
  rest.offset_ = middle;
  rest.lineNumber_ = 1;
  rest.block_.resize(kBlockBytes);
  ParsedRows rows;
  std::vector<std::pair<std::int64_t, std::string>> notes;
  rest.parsed_ = &rows;
  rest.notes_ = &notes;
  rows.reserve(static_cast<std::size_t>((size - middle) / 100));
  std::atomic<std::int64_t> restDone{0};
  std::atomic<bool> stop{false};
  Status restRead;
  std::thread worker;
  try {
    worker = std::thread([&] {
      restRead = rest.readTo(
          -1, [](const LogRecord&) {},
          [&](std::int64_t done, std::int64_t) {
            restDone.store(done - middle);
            return !stop.load();
          },
          0, size);
    });
  } catch (const std::system_error&) {
    return readTo(-1, sink, progress, 0, size);  // no thread to be had: one reads it all
  }
  const Status read = readTo(
      middle, sink,
      [&](std::int64_t done, std::int64_t total) {
        return !progress || progress(done + restDone.load(), total);
      },
      0, size);
  if (!read) stop.store(true);
  worker.join();
  if (!read) return read;
  if (!restRead) return restRead;
  takeOver(rest, rows, notes, sink);
  if (progress && !progress(offset_, std::max<std::int64_t>(size, offset_))) return fail("cancelled");
  return {};
}

void LogReader::takeOver(LogReader& rest, ParsedRows& rows,
                         std::vector<std::pair<std::int64_t, std::string>>& notes, const RowSink& sink) {
  const std::int64_t shift = lineNumber_ - 1;  // the second half's line 1 is this one's next
  std::size_t kept = 0;
  const auto notesBefore = [&](std::int64_t line) {
    for (; kept < notes.size() && notes[kept].first + shift < line; ++kept)
      note(notes[kept].first + shift, notes[kept].second);
  };
  LogRow row;
  for (const Parsed& parsed : rows) {
    notesBefore(parsed.line + shift);
    static_cast<LogFigures&>(row) = parsed.figures;
    lineNumber_ = parsed.line + shift + 1;
    handleRow(row, sink);
  }
  notesBefore(std::numeric_limits<std::int64_t>::max());
  problemCount_ += rest.problemCount_ - static_cast<std::int64_t>(notes.size());
  badRows_ += rest.badRows_;
  lineNumber_ = rest.lineNumber_ + shift;
  offset_ = rest.offset_;
  line_ = std::move(rest.line_);
  lineLength_ = rest.lineLength_;
  lineHasNul_ = rest.lineHasNul_;
  lineHasOther_ = rest.lineHasOther_;
  oddByte_ = rest.oddByte_;
}

void LogReader::consume(const char* bytes, std::size_t count, const RowSink& sink) {
  const auto* b = reinterpret_cast<const unsigned char*>(bytes);
  if (encoding_ == LogEncoding::Utf8) {
    bool plain = true;
    for (std::size_t i = 0; i < count; ++i) plain &= b[i] != 0 && b[i] < 0x80;
    scan(bytes, count, plain, sink);
    return;
  }
  // Each UTF-16 unit as one byte: itself when ASCII, 0x80 for any other character, so that
  // the lines are found and cut in bytes; NUL stays NUL.
  text_.resize(count / 2 + 1);
  char* out = text_.data();
  std::size_t i = 0, n = 0;
  unsigned other = 0;
  if (oddByte_ >= 0 && count > 0) {
    const unsigned unit = static_cast<unsigned>(oddByte_) | (b[0] << 8);
    other |= unit == 0 || unit >= 0x80;
    out[n++] = static_cast<char>(unit < 0x80 ? unit : 0x80);
    oddByte_ = -1;
    i = 1;
  }
  const auto unit = [&](std::size_t at) {
    const unsigned high = b[at + 1] | (b[at] & 0x80u);
    other |= high | static_cast<unsigned>(b[at] == 0 ? 0x100 : 0);
    out[n++] = static_cast<char>(high != 0 ? 0x80 : b[at]);
  };
  // Four units at a time while they are all ASCII other than NUL: no high byte, no low byte
  // over 0x7F, and each low byte + 0x7F reaching 0x80 (so none is 0).
  constexpr std::uint64_t kHighBits = 0xFF80FF80FF80FF80u, kOnes = 0x007F007F007F007Fu;
  constexpr std::uint64_t kCarries = 0x0080008000800080u;
  for (; i + 8 <= count; i += 8) {
    std::uint64_t w = 0;
    std::memcpy(&w, b + i, 8);
    if ((w & kHighBits) == 0 && ((w + kOnes) & kCarries) == kCarries) {
      out[n] = static_cast<char>(w);
      out[n + 1] = static_cast<char>(w >> 16);
      out[n + 2] = static_cast<char>(w >> 32);
      out[n + 3] = static_cast<char>(w >> 48);
      n += 4;
    } else {
      for (std::size_t k = 0; k < 8; k += 2) unit(i + k);
    }
  }
  for (; i + 1 < count; i += 2) unit(i);
  if (i < count) oddByte_ = b[i];
  scan(out, n, other == 0, sink);
}

void LogReader::scan(const char* text, std::size_t count, bool plain, const RowSink& sink) {
  const char* at = text;
  const char* const end = text + count;
  while (at < end) {
    const auto* newline = static_cast<const char*>(std::memchr(at, '\n', static_cast<std::size_t>(end - at)));
    const char* stop = newline ? newline : end;
    const auto length = static_cast<std::size_t>(stop - at);
    if (newline && lineLength_ == 0 && length <= kLongestLine) {
      // A whole line in this block: read in place.
      const bool nul = !plain && std::memchr(at, 0, length) != nullptr;
      const bool other = !plain && std::any_of(at, stop, [](char c) { return c & 0x80; });
      endLine(std::string_view(at, length), static_cast<std::int64_t>(length), nul, other, sink);
    } else {
      for (const char* c = at; c < stop; ++c) {
        lineHasNul_ |= *c == 0;
        lineHasOther_ |= (*c & 0x80) != 0;
      }
      const std::size_t room = kLongestLine - std::min(kLongestLine, line_.size());
      line_.append(at, std::min(room, length));
      lineLength_ += static_cast<std::int64_t>(length);
      if (newline) {
        endLine(line_, lineLength_, lineHasNul_, lineHasOther_, sink);
        line_.clear();
        lineLength_ = 0;
        lineHasNul_ = lineHasOther_ = false;
      }
    }
    at = stop + 1;
  }
}

void LogReader::endLine(std::string_view text, std::int64_t length, bool nul, bool other,
                        const RowSink& sink) {
  const std::int64_t line = lineNumber_++;
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  if (nul) {
    problem(line, "NUL bytes in the row");
  } else if (length > static_cast<std::int64_t>(kLongestLine)) {
    problem(line, "a line of " + std::to_string(length) + " characters; a row is far shorter");
  } else if (other) {
    problem(line, "characters that no row holds");
  } else if (!text.empty()) {
    if (const std::string error = parser_.parse(text, &row_); !error.empty())
      problem(line, error);
    else if (parsed_)
      parsed_->push_back({row_, static_cast<std::uint32_t>(line)});
    else
      handleRow(row_, sink);
  }
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
                                  " to " + std::string(formatCivil(row.timeOfDay), 11) +
                                  "; taken as the next day");
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
  if (++problemCount_ > static_cast<std::int64_t>(kProblemsKept)) return;
  if (notes_)
    notes_->emplace_back(line, text);
  else
    problems_.push_back(path_ + ":" + std::to_string(line) + ": " + text);
}

CivilSeconds LogReader::firstDayFromModification() const {
  return localDayOf(modified_) - day_ * kSecondsPerDay;
}

}  // namespace orlo
