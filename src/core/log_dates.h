#pragma once
// Local wall-clock date-times as the data log needs them: whole seconds counted from
// 1970-01-01 00:00:00 on the calendar, with no time zone. The log writes the local time of
// day as the clock showed it, so dates are worked out on the calendar alone and a row's
// date-time is printed exactly as the clock showed it.

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace orlo {

using CivilSeconds = std::int64_t;
constexpr CivilSeconds kSecondsPerDay = 86400;

// Days from 1970-01-01 to the given calendar day (negative before it).
std::int64_t daysFromCivil(int year, int month, int day);

// "2026-12-08T14:05:09".
std::string formatCivil(CivilSeconds seconds);

// "YYYY-MM-DD": the day's first second; nothing for any other text or an impossible date.
std::optional<CivilSeconds> parseDate(std::string_view text);

// "YYYY-MM-DDTHH:MM:SS" (or a blank instead of the T), or a bare date (its first second).
std::optional<CivilSeconds> parseDateTime(std::string_view text);

// "HH:MM:SS" with two digits each: seconds since midnight; nothing otherwise.
std::optional<int> parseTimeOfDay(std::string_view text);

// The local calendar day of a moment (a file's modification time): its first second.
CivilSeconds localDayOf(std::time_t moment);

}  // namespace orlo
