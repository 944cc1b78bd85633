#pragma once
// A whole data log held for drawing: one column per value, 35 bytes a row (2.6 million rows of
// a 30-day log in about 90 MB), and the per-pixel minimum/maximum reduction the charts draw
// from. A min/max of every block of kBlockRows rows per channel (2.5 bytes a row more) lets a reduction over
// millions of rows read blocks instead of rows, so zoom and pan cost about the same at any scale.

#include <array>
#include <cstdint>
#include <limits>
#include <vector>

#include "core/log_reader.h"
#include "util/big_allocator.h"

namespace orlo {

enum class LogChannel { Cell1, Cell2, Cell3, Cell4, Spread, Total, Current, Soc, MosTemp, PackTemp };
constexpr std::size_t kLogChannelCount = 10;

// One pixel column: the lowest and highest value of the rows in it, and the runs of its first
// and last rows (a run change between two columns is drawn as a gap).
struct ColumnRange {
  float low = std::numeric_limits<float>::infinity();
  float high = -std::numeric_limits<float>::infinity();
  int firstRun = -1;
  int lastRun = -1;
  bool empty() const { return firstRun < 0; }
};

class LogSeries {
 public:
  static constexpr std::size_t kBlockRows = 64;
  static constexpr std::size_t kBytesPerRow =
      4 + 2 + 8 + 4 + 1 + 8 + 2 + 4 + 1 + 1;  // and 2.6 for the blocks

  void add(const LogRecord& record);
  void reserve(std::size_t rows);
  std::size_t size() const { return seconds_.size(); }
  bool empty() const { return seconds_.empty(); }

  CivilSeconds seconds(std::size_t i) const { return seconds_[i]; }
  int run(std::size_t i) const { return run_[i]; }
  float value(LogChannel channel, std::size_t i) const;
  std::uint32_t alarms(std::size_t i) const { return alarms_[i]; }
  int mode(std::size_t i) const { return mode_[i]; }
  int mosStatus(std::size_t i) const { return mos_[i]; }
  int cycle(std::size_t i) const { return cycle_[i]; }
  // The row as the reader gave it, as far as it is kept (for a summary of a range).
  LogRow row(std::size_t i) const;

  // The first row at or after `seconds`.
  std::size_t lowerBound(CivilSeconds seconds) const;
  // The row nearest `seconds`; size() when empty.
  std::size_t nearest(CivilSeconds seconds) const;

  // The alarm flags set in any row with seconds in [from, to): a one-row alarm shows at any zoom.
  std::uint32_t alarmsBetween(double from, double to) const;

  // The channel's rows with seconds in [from, to), reduced to `columns` equal columns.
  void reduce(LogChannel channel, double from, double to, int columns, std::vector<ColumnRange>* out) const;

 private:
  void addToBlocks(std::size_t i);
  template <typename Value>
  void reduceRows(std::size_t i, std::size_t end, double from, double to, LogChannel channel,
                  const Value& valueAt, std::vector<ColumnRange>* out) const;

  template <typename T>
  using Column = std::vector<T, BigAllocator<T>>;
  Column<std::int32_t> seconds_;
  Column<std::uint16_t> run_;
  Column<std::array<std::uint16_t, 4>> cells_;
  Column<float> current_;
  Column<std::uint8_t> soc_;
  Column<std::array<float, 2>> temps_;
  Column<std::uint16_t> cycle_;
  Column<std::uint32_t> alarms_;
  Column<std::uint8_t> mode_;
  Column<std::uint8_t> mos_;
  // Blocks of at most kBlockRows rows, never across a run's start, so that a run change stays
  // between two columns; blockStart_ holds each block's first row.
  std::vector<std::uint32_t> blockStart_;
  std::array<std::vector<ColumnRange>, kLogChannelCount> blocks_;
  std::vector<std::uint32_t> blockAlarms_;  // the flags of each block's rows together
};

}  // namespace orlo
