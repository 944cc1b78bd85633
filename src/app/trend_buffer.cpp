#include "app/trend_buffer.h"
#include "util/platform.h"
#include "util/text_format.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace orlo {

namespace {

const std::array<TrendSeriesInfo, kTrendSeriesCount> kSeries = {{
    {TrendSeries::Cell1, "Cell 1", "mV", 0},
    {TrendSeries::Cell2, "Cell 2", "mV", 0},
    {TrendSeries::Cell3, "Cell 3", "mV", 0},
    {TrendSeries::Cell4, "Cell 4", "mV", 0},
    {TrendSeries::Current, "Current", "A", 3},
    {TrendSeries::Soc, "SOC", "%", 0},
    {TrendSeries::Temp1, "Temperature 1", "°C", 0},
    {TrendSeries::Temp2, "Temperature 2", "°C", 0},
    {TrendSeries::Total, "Total voltage", "mV", 0},
    {TrendSeries::Spread, "Cell spread", "mV", 0},
}};

void put(TrendSample& s, TrendSeries series, float v) {
  s.values[static_cast<std::size_t>(series)] = v;
}

}  // namespace

const std::array<TrendSeriesInfo, kTrendSeriesCount>& trendSeriesTable() {
  return kSeries;
}

const TrendSeriesInfo& trendSeriesInfo(TrendSeries series) {
  return kSeries[static_cast<std::size_t>(series)];
}

TrendSample trendSample(std::int64_t timeMs, const LiveData& live) {
  TrendSample s;
  s.timeMs = timeMs;
  for (std::size_t i = 0; i < kCellCount; ++i)
    put(s, static_cast<TrendSeries>(static_cast<std::size_t>(TrendSeries::Cell1) + i), live.cellMv[i]);
  put(s, TrendSeries::Current, live.currentA());
  put(s, TrendSeries::Soc, static_cast<float>(live.socPercent));
  put(s, TrendSeries::Temp1, live.temperatureC[0]);
  put(s, TrendSeries::Temp2, live.temperatureC[1]);
  put(s, TrendSeries::Total, static_cast<float>(live.totalMv));
  put(s, TrendSeries::Spread, static_cast<float>(int{live.maxCellMv} - int{live.minCellMv}));
  return s;
}

TrendBuffer::TrendBuffer(std::size_t capacity) : slots_(capacity == 0 ? 1 : capacity) {}

void TrendBuffer::add(TrendSample sample) {
  if (size_ > 0 && sample.timeMs < newest().timeMs) sample.timeMs = newest().timeMs;
  if (size_ < slots_.size()) {
    slots_[(head_ + size_) % slots_.size()] = sample;
    ++size_;
  } else {
    slots_[head_] = sample;
    head_ = (head_ + 1) % slots_.size();
  }
  ++version_;
}

void TrendBuffer::clear() {
  head_ = 0;
  size_ = 0;
  ++version_;
}

bool TrendBuffer::gapBefore(std::size_t i) const {
  if (i == 0 || i >= size_) return false;
  return at(i).timeMs - at(i - 1).timeMs > kGapMs;
}

std::size_t TrendBuffer::lowerBound(std::int64_t timeMs) const {
  std::size_t lo = 0, hi = size_;
  while (lo < hi) {
    std::size_t mid = lo + (hi - lo) / 2;
    if (at(mid).timeMs < timeMs)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

TrendRange TrendBuffer::visible(std::int64_t endMs, std::int64_t spanMs) const {
  TrendRange r;
  r.first = lowerBound(endMs - spanMs);
  r.last = endMs == INT64_MAX ? size_ : lowerBound(endMs + 1);
  if (r.last < r.first) r.last = r.first;
  return r;
}

std::size_t TrendBuffer::nearest(const TrendRange& range, std::int64_t timeMs) const {
  if (range.empty()) return range.last;
  std::size_t i = lowerBound(timeMs);
  if (i < range.first) return range.first;
  if (i >= range.last) return range.last - 1;
  if (i > range.first && timeMs - at(i - 1).timeMs <= at(i).timeMs - timeMs) return i - 1;
  return i;
}

void TrendBuffer::writeCsv(std::ostream& out, const TrendRange& range) const {
  std::string line = "Time (ISO 8601)";
  for (const auto& info : kSeries) line += std::string(",") + info.name + " (" + info.unit + ")";
  out << line << '\n';
  for (std::size_t i = range.first; i < range.last && i < size_; ++i) {
    const TrendSample& s = at(i);
    line = isoLocalTime(s.timeMs);
    for (const auto& info : kSeries) line += "," + formatDecimal(s.value(info.series), info.decimals);
    out << line << '\n';
  }
}

std::string isoLocalTime(std::int64_t timeMs) {
  std::int64_t secs = timeMs >= 0 ? timeMs / 1000 : (timeMs - 999) / 1000;
  int millis = static_cast<int>(timeMs - secs * 1000);
  const std::tm tm = localTime(static_cast<std::time_t>(secs));
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, millis);
  return buf + isoZoneText(utcOffsetSeconds(tm));
}

std::string formatDecimal(double value, int decimals) {
  if (!std::isfinite(value)) return "";
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
  if (res.ec != std::errc()) return "";
  std::string s(buf, res.ptr);
  if (s == "-0" || (s.size() > 1 && s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos))
    s.erase(0, 1);  // a curve at zero exports as 0, not -0
  return s;
}

}  // namespace orlo
