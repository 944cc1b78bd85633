#include "core/loaded_log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "util/platform.h"

namespace orlo {
namespace {

// A row of a UTF-16LE log is about 200 bytes, of a UTF-8 one about 100: room for the rows the
// file can hold, so that the columns are not copied while they grow.
std::size_t expectedRows(const std::string& path, LogEncoding encoding) {
  FileFacts facts;
  if (!factsOfPath(path, &facts)) return 0;
  return static_cast<std::size_t>(facts.size) / (encoding == LogEncoding::Utf16Le ? 180 : 90) + 16;
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
  log.reader = std::make_shared<LogReader>(std::move(reader).value());
  const Status read = log.reader->readAvailable(
      [&](const LogRecord& record) {
        log.series.add(record);
        log.summarizer.add(record);
      },
      [&](std::int64_t bytes, std::int64_t size) {
        if (done) done->store(bytes);
        if (total) total->store(size);
        return !(cancel && cancel->load());
      },
      2);
  if (!read) return fail(read.error());
  log.summary = log.summarizer.summary();
  log.dateGiven = firstDay.has_value();
  log.firstDay = firstDay ? *firstDay : log.reader->firstDayFromModification();
  log.badRows = log.reader->badRows();
  log.tornRow = log.reader->tornRow();
  log.problems = log.reader->problems();
  return log;
}

Result<std::size_t> followLog(LoadedLog& log) {
  const std::size_t before = log.series.size();
  const Status read = log.reader->readAvailable([&](const LogRecord& record) {
    log.series.add(record);
    log.summarizer.add(record);
  });
  if (!read) return fail(read.error());
  if (log.series.size() != before) log.summary = log.summarizer.summary();
  log.badRows = log.reader->badRows();
  log.tornRow = log.reader->tornRow();
  log.problems = log.reader->problems();
  return log.series.size() - before;
}

LogSummary summarizeRange(const LoadedLog& log, CivilSeconds from, CivilSeconds to) {
  const LogSeries& series = log.series;
  // Every row: the summary read from the file, the one with the file's own values.
  if (series.empty() || (log.at(0) >= from && log.at(series.size() - 1) <= to)) return log.summary;
  LogSummarizer summarizer;
  for (std::size_t i = series.lowerBound(from - log.firstDay); i < series.size() && log.at(i) <= to; ++i) {
    const LogRow row = series.row(i);
    summarizer.add(LogRecord{row, 0, series.seconds(i), series.run(i)});
  }
  return summarizer.summary();
}

Status writeRangeCsv(const LoadedLog& log, CivilSeconds from, CivilSeconds to, const std::string& path) {
  const std::string temporary = path + ".part";
  std::FILE* out = std::fopen(temporary.c_str(), "wb");
  if (!out) return fail("cannot write " + temporary + ": " + std::strerror(errno));
  std::fputs(
      "time (local ISO 8601),run,cell1 (mV),cell2 (mV),cell3 (mV),cell4 (mV),total (V),current (A),"
      "soc (%),mos_temp (degC),pack_temp (degC),cycle,alarm_flags,mode,mos_status\n",
      out);
  const LogSeries& s = log.series;
  for (std::size_t i = s.lowerBound(from - log.firstDay); i < s.size() && log.at(i) <= to; ++i) {
    const LogRow r = s.row(i);
    std::fprintf(out, "%s,%d,%d,%d,%d,%d,%.3f,%.6f,%d,%.1f,%.1f,%d,%u,%d,%d\n",
                 formatCivil(log.at(i)).c_str(), s.run(i) + 1, r.cellMv[0], r.cellMv[1], r.cellMv[2],
                 r.cellMv[3], r.totalMv / 1000.0, r.current, r.soc, r.mosTemp, r.packTemp, r.cycle,
                 r.alarmFlags, r.mode, r.mosStatus);
  }
  const bool written = std::ferror(out) == 0;
  if (std::fclose(out) != 0 || !written || std::rename(temporary.c_str(), path.c_str()) != 0) {
    const std::string why = std::strerror(errno);
    std::remove(temporary.c_str());
    return fail("cannot write " + path + ": " + why);
  }
  return {};
}

}  // namespace orlo
