#pragma once
// The history behind the Trends window: one sample per Live data frame, kept in a bounded ring
// (24 hours at one frame a second), with the series it plots, where the link went quiet, and
// the export of a time span as CSV.

#include <array>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "link/answers.h"

namespace orlo {

enum class TrendSeries : int { Cell1, Cell2, Cell3, Cell4, Current, Soc, Temp1, Temp2, Total, Spread };
constexpr std::size_t kTrendSeriesCount = 10;

struct TrendSeriesInfo {
  TrendSeries series;
  const char* name;  // legend and check box text
  const char* unit;
  int decimals;  // digits after the point in exported values
};

// One row per series, in the order of TrendSeries.
const std::array<TrendSeriesInfo, kTrendSeriesCount>& trendSeriesTable();
const TrendSeriesInfo& trendSeriesInfo(TrendSeries series);

struct TrendSample {
  std::int64_t timeMs = 0;  // wall clock, milliseconds since the Unix epoch
  std::array<float, kTrendSeriesCount> values{};
  float value(TrendSeries s) const { return values[static_cast<std::size_t>(s)]; }
};

// One sample of a live data frame: the current as the header shows it (charging negative), the
// spread the BMS's own maximum minus minimum cell voltage.
TrendSample trendSample(std::int64_t timeMs, const LiveData& live);

// Index range [first, last) into the buffer, oldest first.
struct TrendRange {
  std::size_t first = 0;
  std::size_t last = 0;
  bool empty() const { return first >= last; }
  std::size_t size() const { return empty() ? 0 : last - first; }
};

class TrendBuffer {
 public:
  static constexpr std::size_t kDefaultCapacity = 24 * 60 * 60;
  // Two link status checks (2 s apart) without a frame: the link counts as down.
  static constexpr std::int64_t kGapMs = 4000;

  explicit TrendBuffer(std::size_t capacity = kDefaultCapacity);

  // Appends a sample, overwriting the oldest when full. A clock that steps backwards must not
  // unsort the buffer, so a sample older than the newest is stamped with the newest time.
  void add(TrendSample sample);
  void clear();

  std::size_t size() const { return size_; }
  std::size_t capacity() const { return slots_.size(); }
  // Bumped by every add and clear: a view redraws only when this moved.
  std::uint64_t version() const { return version_; }

  // i = 0 is the oldest sample held.
  const TrendSample& at(std::size_t i) const { return slots_[(head_ + i) % slots_.size()]; }
  const TrendSample& newest() const { return at(size_ - 1); }

  // True when more than kGapMs passed between sample i-1 and sample i: no line joins them.
  bool gapBefore(std::size_t i) const;

  // The samples whose time lies in [endMs - spanMs, endMs].
  TrendRange visible(std::int64_t endMs, std::int64_t spanMs) const;
  // The sample closest in time to timeMs inside the range, or range.last when it is empty.
  std::size_t nearest(const TrendRange& range, std::int64_t timeMs) const;

  // UTF-8 CSV of the range: a header naming every series with its unit, then one line per
  // sample with an ISO 8601 local timestamp; '.' as the decimal point whatever the locale.
  void writeCsv(std::ostream& out, const TrendRange& range) const;

 private:
  std::size_t lowerBound(std::int64_t timeMs) const;

  std::vector<TrendSample> slots_;
  std::size_t head_ = 0;
  std::size_t size_ = 0;
  std::uint64_t version_ = 0;
};

// "2026-12-07T09:46:49.123+01:00" in local time.
std::string isoLocalTime(std::int64_t timeMs);
// The value with the given digits after a '.', never a locale's comma.
std::string formatDecimal(double value, int decimals);

}  // namespace orlo
