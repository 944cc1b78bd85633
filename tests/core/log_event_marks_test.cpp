// Event marks come from the day files of the log's days only, in time order, inside the range,
// and a line that is no event is skipped.

#include "core/log_event_marks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace orlo {
namespace {

TEST(LogEventMarksTest, TheDaysFilesGiveTheEventsInRangeInTimeOrder) {
  const std::string folder = ::testing::TempDir() + "log_event_marks_test";
  std::filesystem::create_directories(folder);
  std::ofstream(folder + "/events-2026-12-07.csv") << "time,kind,event\r\n"
                                                   << "2026-12-07T08:00:00+01:00,alarm,too early\r\n"
                                                   << "2026-12-07T23:00:00+01:00,alarm,\"Cell OV on\"\r\n"
                                                   << "garbage\r\n";
  std::ofstream(folder + "/events-2026-12-08.csv") << "time,kind,event\r\n"
                                                   << "2026-12-08T01:30:00+01:00,mode,CHG_MODE\r\n"
                                                   << "2026-12-08T00:10:00+01:00,mos,charge MOSFET off\r\n";
  std::ofstream(folder + "/events-2026-12-09.csv") << "2026-12-09T00:00:01+01:00,alarm,after the range\r\n";

  const std::vector<EventMark> marks =
      readEventMarks(folder, *parseDateTime("2026-12-07T12:00:00"), *parseDateTime("2026-12-09T00:00:00"));
  ASSERT_EQ(marks.size(), 3u);
  EXPECT_EQ(formatCivil(marks[0].at), "2026-12-07T23:00:00");
  EXPECT_EQ(marks[0].text, "Cell OV on");
  EXPECT_EQ(marks[1].kind, "mos");
  EXPECT_EQ(marks[2].text, "CHG_MODE");
  EXPECT_EQ(readEventMarks(folder, *parseDate("2026-12-07"), *parseDate("2026-12-09"), 2).size(), 2u);
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace orlo
