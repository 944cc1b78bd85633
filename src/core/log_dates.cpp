#include "core/log_dates.h"

#include <cstdio>

#include "util/platform.h"

namespace orlo {
namespace {

// The days-from-civil and civil-from-days algorithms on the proleptic Gregorian calendar.
struct Civil {
  int year;
  int month;
  int day;
};

Civil civilFromDays(std::int64_t days) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t doe = days - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  const int year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
  return {year, month, day};
}

// Digits at text[at, at + count) as a number; -1 when any is not a digit.
int digits(std::string_view text, std::size_t at, std::size_t count) {
  int value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

}  // namespace

std::int64_t daysFromCivil(int year, int month, int day) {
  const std::int64_t y = year - (month <= 2 ? 1 : 0);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

std::string formatCivil(CivilSeconds seconds) {
  std::int64_t days = seconds / kSecondsPerDay;
  std::int64_t rest = seconds % kSecondsPerDay;
  if (rest < 0) {
    rest += kSecondsPerDay;
    --days;
  }
  const Civil c = civilFromDays(days);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", c.year, c.month, c.day,
                static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60));
  return text;
}

std::optional<CivilSeconds> parseDate(std::string_view text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  const int year = digits(text, 0, 4);
  const int month = digits(text, 5, 2);
  const int day = digits(text, 8, 2);
  if (year < 1 || month < 1 || month > 12 || day < 1) return std::nullopt;
  const std::int64_t days = daysFromCivil(year, month, day);
  if (civilFromDays(days).day != day) return std::nullopt;  // 2026-02-30 and the like
  return days * kSecondsPerDay;
}

std::optional<CivilSeconds> parseDateTime(std::string_view text) {
  if (text.size() == 10) return parseDate(text);
  if (text.size() != 19 || (text[10] != 'T' && text[10] != ' ')) return std::nullopt;
  const std::optional<CivilSeconds> day = parseDate(text.substr(0, 10));
  const std::optional<int> time = parseTimeOfDay(text.substr(11));
  if (!day || !time) return std::nullopt;
  return *day + *time;
}

std::optional<int> parseTimeOfDay(std::string_view text) {
  if (text.size() != 8 || text[2] != ':' || text[5] != ':') return std::nullopt;
  const int h = digits(text, 0, 2);
  const int m = digits(text, 3, 2);
  const int s = digits(text, 6, 2);
  if (h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 59) return std::nullopt;
  return h * 3600 + m * 60 + s;
}

CivilSeconds localDayOf(std::time_t moment) {
  const std::tm local = localTime(moment);
  return daysFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) * kSecondsPerDay;
}

}  // namespace orlo
