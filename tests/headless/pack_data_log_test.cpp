// The monitor's per-pack data log, read back with the reader the log window and `log summary`
// use: what one program writes the others must read, row numbers and all, also after another
// program held the file for a while.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <vector>

#include "core/log_reader.h"
#include "headless/pack_data_log.h"
#include "support/frame_image.h"
#include "support/scratch_files.h"
#include "util/platform.h"

namespace orlo::headless {
namespace {

LiveData packAt(std::uint16_t cell1Mv) {
  test::FrameImage f;
  f.u16(10, cell1Mv).u16(12, 3302).u16(14, 3303).u16(16, 3304);
  f.u32(22, 87).u16(42, 7);
  return decodeLiveData(f.view());
}

std::tm at(int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = 126;
  t.tm_mon = 11;
  t.tm_mday = 8;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  return t;
}

TEST(PackDataLog, rowsReadBackInOrderAndABusyFileIsReportedOnceWithoutLosingTheNumbering) {
  test::ScratchDir dir("pack-data-log");
  PackDataLog log(dir.path(), "house-1");
  ASSERT_EQ(log.path(), dir.file("house-1.csv"));

  // Another program made the file and holds it: nothing is written, the reason is told once,
  // and the rows that follow still count from 0, under a header of their own.
  const int other = ::open(log.path().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_GE(other, 0);
  ASSERT_TRUE(lockForWriting(other));
  testing::internal::CaptureStderr();
  log.write(at(23, 59, 58), packAt(3000));
  log.write(at(23, 59, 59), packAt(3001));
  const std::string told = testing::internal::GetCapturedStderr();
  EXPECT_NE(told.find("another program is writing to it"), std::string::npos) << told;
  EXPECT_EQ(told.find("another program", told.find("another program") + 1), std::string::npos) << told;
  ::close(other);

  // Across midnight, so that the reader's day rollover sees the writer's times.
  log.write(at(23, 59, 59), packAt(3301));
  log.write(at(0, 0, 0), packAt(3311));
  log.write(at(0, 0, 1), packAt(3321));

  Result<LogReader> reader = LogReader::open(log.path());
  ASSERT_TRUE(reader) << reader.error();
  EXPECT_EQ(reader->encoding(), LogEncoding::Utf16Le);
  struct Seen {
    std::int32_t number;
    std::int32_t cell1;
    CivilSeconds seconds;
  };
  std::vector<Seen> seen;
  ASSERT_TRUE(reader->readAvailable([&](const LogRecord& r) {
    seen.push_back({r.row.number, r.row.cellMv[0], r.seconds});
  }));
  EXPECT_EQ(reader->badRows(), 0);
  EXPECT_EQ(reader->runs(), 1);
  ASSERT_EQ(seen.size(), 3u);
  const std::vector<std::int32_t> cells{3301, 3311, 3321};
  for (std::size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i].number, static_cast<std::int32_t>(i));
    EXPECT_EQ(seen[i].cell1, cells[i]);
  }
  EXPECT_EQ(seen[1].seconds, 86400);
  EXPECT_EQ(seen[2].seconds, 86401);
}

}  // namespace
}  // namespace orlo::headless
