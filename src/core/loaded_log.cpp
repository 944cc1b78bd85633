#include "core/loaded_log.h"

#include <sys/stat.h>

namespace orlo {
namespace {

// A row of a UTF-16LE log is about 200 bytes, of a UTF-8 one about 100: room for the rows the
// file can hold, so that the columns are not copied while they grow.
std::size_t expectedRows(const std::string& path, LogEncoding encoding) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return 0;
  return static_cast<std::size_t>(info.st_size) / (encoding == LogEncoding::Utf16Le ? 180 : 90) + 16;
}

}  // namespace

Result<LoadedLog> loadLog(const std::string& path, std::optional<CivilSeconds> firstDay,
                          std::atomic<std::int64_t>* done, std::atomic<std::int64_t>* total,
                          const std::atomic<bool>* cancel) {
  Result<LogReader> reader = LogReader::open(path);
  if (!reader) return fail(reader.error());
  LoadedLog log;
  log.path = path;
  log.series.reserve(expectedRows(path, reader->encoding()));
  LogSummarizer summarizer;
  const Status read = reader->readAvailable(
      [&](const LogRecord& record) {
        log.series.add(record);
        summarizer.add(record);
      },
      [&](std::int64_t bytes, std::int64_t size) {
        if (done) done->store(bytes);
        if (total) total->store(size);
        return !(cancel && cancel->load());
      });
  if (!read) return fail(read.error());
  log.summary = summarizer.summary();
  log.dateGiven = firstDay.has_value();
  log.firstDay = firstDay ? *firstDay : reader->firstDayFromModification();
  log.badRows = reader->badRows();
  log.tornRow = reader->tornRow();
  log.problems = reader->problems();
  return log;
}

}  // namespace orlo
