#pragma once
// Numbers as the windows and the log show them: fixed-point with a given number of decimals,
// the way printf's "%f" / "%.1f" prints them, so "-0.000000" and rounding stay as users know
// them. Whole numbers need nothing beyond std::to_string.

#include <string>
#include <vector>

namespace orlo {

// printf("%.<decimals>f", value) as the "C" locale prints it (a "." for the decimal point, whatever
// the process locale), never cut short however large the value.
std::string formatFixed(double value, int decimals);

// A time zone's distance from UTC as ISO 8601 writes it after a time: "+01:00", "-05:30".
std::string isoZoneText(long offsetSeconds);

// The parts that are not empty, with `separator` between them.
std::string joinNonEmpty(const std::vector<std::string>& parts, const char* separator);

}  // namespace orlo
