// The calendar under the log's dates: a wrong leap year or month length puts every row of a
// long log on the wrong day.

#include "core/log_dates.h"

#include <gtest/gtest.h>

namespace orlo {
namespace {

TEST(LogDatesTest, DatesRoundTripAndImpossibleOnesAreRefused) {
  struct Case {
    const char* text;
    bool valid;
  };
  const Case cases[] = {
      {"1970-01-01", true},  {"2024-02-29", true},  {"2000-02-29", true}, {"2100-02-29", false},
      {"2026-02-29", false}, {"2026-04-31", false}, {"2026-12-31", true}, {"2026-13-01", false},
      {"2026-00-10", false}, {"1969-12-31", true},  {"2026-1-01", false}, {"2026/01/01", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::optional<CivilSeconds> day = parseDate(c.text);
    ASSERT_EQ(day.has_value(), c.valid);
    if (day) {
      EXPECT_EQ(formatCivil(*day), std::string(c.text) + "T00:00:00");
    }
  }
  EXPECT_EQ(parseDate("1970-01-02"), kSecondsPerDay);
  EXPECT_EQ(parseDate("1969-12-31"), -kSecondsPerDay);
  // The day after 2024-02-28 23:59:59 is the 29th, after 2026-02-28 the 1st of March.
  EXPECT_EQ(formatCivil(*parseDateTime("2024-02-28T23:59:59") + 1), "2024-02-29T00:00:00");
  EXPECT_EQ(formatCivil(*parseDateTime("2026-02-28 23:59:59") + 1), "2026-03-01T00:00:00");
  EXPECT_EQ(formatCivil(*parseDateTime("2026-12-31T23:59:59") + 1), "2027-01-01T00:00:00");
  for (const char* bad :
       {"2026-12-08T24:00:00", "2026-12-08T12:60:00", "2026-12-08T12:00", "2026-12-08X12:00:00"})
    EXPECT_FALSE(parseDateTime(bad)) << bad;
}

}  // namespace
}  // namespace orlo
