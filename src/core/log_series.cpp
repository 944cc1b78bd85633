#include "core/log_series.h"

#include <algorithm>
#include <cmath>

namespace orlo {
namespace {

void widen(ColumnRange& c, float value, int run) {
  c.low = std::min(c.low, value);
  c.high = std::max(c.high, value);
  if (c.firstRun < 0) c.firstRun = run;
  c.lastRun = run;
}

void merge(ColumnRange& c, const ColumnRange& block) {
  c.low = std::min(c.low, block.low);
  c.high = std::max(c.high, block.high);
  if (c.firstRun < 0) c.firstRun = block.firstRun;
  c.lastRun = block.lastRun;
}

}  // namespace

void LogSeries::reserve(std::size_t rows) {
  seconds_.reserve(rows);
  run_.reserve(rows);
  cells_.reserve(rows);
  current_.reserve(rows);
  soc_.reserve(rows);
  temps_.reserve(rows);
  cycle_.reserve(rows);
  alarms_.reserve(rows);
  mode_.reserve(rows);
  mos_.reserve(rows);
}

void LogSeries::add(const LogRecord& record) {
  const LogRow& r = record.row;
  seconds_.push_back(static_cast<std::int32_t>(record.seconds));
  run_.push_back(static_cast<std::uint16_t>(std::min(record.run, 65535)));
  cells_.push_back({static_cast<std::uint16_t>(r.cellMv[0]), static_cast<std::uint16_t>(r.cellMv[1]),
                    static_cast<std::uint16_t>(r.cellMv[2]), static_cast<std::uint16_t>(r.cellMv[3])});
  current_.push_back(static_cast<float>(r.current));
  soc_.push_back(static_cast<std::uint8_t>(r.soc));
  temps_.push_back({static_cast<float>(r.mosTemp), static_cast<float>(r.packTemp)});
  cycle_.push_back(static_cast<std::uint16_t>(r.cycle));
  alarms_.push_back(r.alarmFlags);
  mode_.push_back(static_cast<std::uint8_t>(r.mode));
  mos_.push_back(static_cast<std::uint8_t>(r.mosStatus));
  addToBlocks(seconds_.size() - 1);
}

void LogSeries::addToBlocks(std::size_t i) {
  const bool fresh = blockStart_.empty() || i - blockStart_.back() == kBlockRows || run_[i] != run_[i - 1];
  if (fresh) {
    blockStart_.push_back(static_cast<std::uint32_t>(i));
    blockAlarms_.push_back(0);
    for (auto& blocks : blocks_) blocks.emplace_back();
  }
  blockAlarms_.back() |= alarms_[i];
  const auto& cells = cells_[i];
  const int run = run_[i];
  if (cells[0] != 0 || cells[1] != 0 || cells[2] != 0 || cells[3] != 0) {
    const auto [low, high] = std::minmax({cells[0], cells[1], cells[2], cells[3]});
    for (std::size_t c = 0; c < 4; ++c) widen(blocks_[c].back(), cells[c], run);
    widen(blocks_[static_cast<std::size_t>(LogChannel::Spread)].back(), static_cast<float>(high - low), run);
    widen(blocks_[static_cast<std::size_t>(LogChannel::Total)].back(), value(LogChannel::Total, i), run);
  }
  for (const LogChannel c :
       {LogChannel::Current, LogChannel::Soc, LogChannel::MosTemp, LogChannel::PackTemp}) {
    const float v = value(c, i);
    if (!std::isnan(v)) widen(blocks_[static_cast<std::size_t>(c)].back(), v, run);
  }
}

float LogSeries::value(LogChannel channel, std::size_t i) const {
  const auto& cells = cells_[i];
  const bool linkDown = cells[0] == 0 && cells[1] == 0 && cells[2] == 0 && cells[3] == 0;
  switch (channel) {
    case LogChannel::Cell1:
    case LogChannel::Cell2:
    case LogChannel::Cell3:
    case LogChannel::Cell4:
      return linkDown ? NAN : cells[static_cast<std::size_t>(channel)];
    case LogChannel::Spread:
      return linkDown ? NAN
                      : *std::max_element(cells.begin(), cells.end()) -
                            *std::min_element(cells.begin(), cells.end());
    case LogChannel::Total:
      return linkDown ? NAN : (cells[0] + cells[1] + cells[2] + cells[3]) / 1000.0f;
    case LogChannel::Current:
      return current_[i];
    case LogChannel::Soc:
      return soc_[i];
    case LogChannel::MosTemp:
      return temps_[i][0];
    case LogChannel::PackTemp:
      return temps_[i][1];
  }
  return NAN;
}

LogRow LogSeries::row(std::size_t i) const {
  LogRow r;
  r.timeOfDay = static_cast<int>(seconds_[i] % kSecondsPerDay);
  for (std::size_t k = 0; k < 4; ++k) r.cellMv[k] = cells_[i][k];
  r.totalMv = r.cellMv[0] + r.cellMv[1] + r.cellMv[2] + r.cellMv[3];
  r.current = current_[i];
  r.soc = soc_[i];
  r.mosTemp = temps_[i][0];
  r.packTemp = temps_[i][1];
  r.cycle = cycle_[i];
  r.alarmFlags = alarms_[i];
  r.mode = mode_[i];
  r.mosStatus = mos_[i];
  return r;
}

std::size_t LogSeries::lowerBound(CivilSeconds seconds) const {
  const auto clamped = static_cast<std::int32_t>(std::clamp<CivilSeconds>(
      seconds, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
  return static_cast<std::size_t>(std::lower_bound(seconds_.begin(), seconds_.end(), clamped) -
                                  seconds_.begin());
}

std::size_t LogSeries::nearest(CivilSeconds seconds) const {
  if (empty()) return 0;
  const std::size_t after = lowerBound(seconds);
  if (after == 0) return 0;
  if (after == size()) return size() - 1;
  return seconds - seconds_[after - 1] <= seconds_[after] - seconds ? after - 1 : after;
}

std::uint32_t LogSeries::alarmsBetween(double from, double to) const {
  std::size_t i = lowerBound(static_cast<CivilSeconds>(std::ceil(from)));
  const std::size_t end = lowerBound(static_cast<CivilSeconds>(std::ceil(to)));
  std::size_t b = static_cast<std::size_t>(std::lower_bound(blockStart_.begin(), blockStart_.end(), i) -
                                           blockStart_.begin());
  std::uint32_t flags = 0;
  while (i < end) {
    const std::size_t blockEnd = b + 1 < blockStart_.size() ? blockStart_[b + 1] : size();
    if (b < blockStart_.size() && blockStart_[b] == i && blockEnd <= end) {
      flags |= blockAlarms_[b++];
      i = blockEnd;
    } else {
      flags |= alarms_[i++];
      if (b < blockStart_.size() && blockStart_[b] < i) ++b;
    }
  }
  return flags;
}

void LogSeries::reduce(LogChannel channel, double from, double to, int columns,
                       std::vector<ColumnRange>* out) const {
  out->assign(static_cast<std::size_t>(std::max(columns, 0)), ColumnRange{});
  if (columns <= 0 || to <= from || empty()) return;
  std::size_t i = lowerBound(static_cast<CivilSeconds>(std::ceil(from)));
  const std::size_t end = lowerBound(static_cast<CivilSeconds>(std::ceil(to)));
  switch (channel) {
    case LogChannel::Current:
      return reduceRows(
          i, end, from, to, channel, [&](std::size_t r) { return current_[r]; }, out);
    case LogChannel::Soc:
      return reduceRows(
          i, end, from, to, channel, [&](std::size_t r) { return static_cast<float>(soc_[r]); }, out);
    case LogChannel::MosTemp:
      return reduceRows(
          i, end, from, to, channel, [&](std::size_t r) { return temps_[r][0]; }, out);
    case LogChannel::PackTemp:
      return reduceRows(
          i, end, from, to, channel, [&](std::size_t r) { return temps_[r][1]; }, out);
    default:
      return reduceRows(
          i, end, from, to, channel, [&](std::size_t r) { return value(channel, r); }, out);
  }
}

template <typename Value>
void LogSeries::reduceRows(std::size_t i, std::size_t end, double from, double to, LogChannel channel,
                           const Value& valueAt, std::vector<ColumnRange>* out) const {
  const int columns = static_cast<int>(out->size());
  const double perColumn = (to - from) / columns;
  const auto columnOf = [&](std::size_t r) {
    return std::clamp(static_cast<int>((seconds_[r] - from) / perColumn), 0, columns - 1);
  };
  const auto& blocks = blocks_[static_cast<std::size_t>(channel)];
  // Blocks whole rows apart from the columns' edges: when a column spans a block or more, a
  // block counted in the column of its first row moves a value by one column at most.
  const bool byBlocks = (end - i) / static_cast<std::size_t>(columns) >= kBlockRows;
  const std::size_t blockCount = blockStart_.size();
  std::size_t b = static_cast<std::size_t>(std::lower_bound(blockStart_.begin(), blockStart_.end(), i) -
                                           blockStart_.begin());
  if (byBlocks) {
    while (i < end) {
      while (b < blockCount && blockStart_[b] < i) ++b;
      const std::size_t blockEnd = b + 1 < blockCount ? blockStart_[b + 1] : size();
      if (b < blockCount && blockStart_[b] == i && blockEnd <= end) {
        if (!blocks[b].empty()) merge((*out)[static_cast<std::size_t>(columnOf(i))], blocks[b]);
        i = blockEnd;
        ++b;
        continue;
      }
      const float v = valueAt(i);
      if (!std::isnan(v)) widen((*out)[static_cast<std::size_t>(columnOf(i))], v, run_[i]);
      ++i;
    }
    return;
  }
  // Row by row, the column found once per column rather than once per row.
  while (i < end) {
    const int column = columnOf(i);
    const double edge = column + 1 < columns ? from + (column + 1) * perColumn : INFINITY;
    ColumnRange& range = (*out)[static_cast<std::size_t>(column)];
    for (; i < end && (seconds_[i] < edge || columnOf(i) == column); ++i) {
      const float v = valueAt(i);
      if (!std::isnan(v)) widen(range, v, run_[i]);
    }
  }
}

}  // namespace orlo
