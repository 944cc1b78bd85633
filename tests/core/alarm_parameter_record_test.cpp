#include "core/alarm_parameter_record.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/hex.h"

namespace orlo {
namespace {

// Every byte 7 ... 77 of the Set request belongs to one sent field: a gap would go out as a
// stale 0 and an overlap would let one box overwrite another.
TEST(AlarmParameterRecord, SentFieldsCoverTheSetDataBytesExactlyOnce) {
  std::array<int, 78> owners{};
  for (const auto& row : alarmParameterRecord()) {
    if (!row.sent) continue;
    ASSERT_TRUE(row.width == 8 || row.width == 16) << row.row;
    for (int b = 0; b < row.width / 8; ++b) {
      const int at = row.offset + b;
      ASSERT_GE(at, 7) << row.row;
      ASSERT_LE(at, 77) << row.row;
      ++owners[static_cast<std::size_t>(at)];
    }
  }
  for (int at = 7; at <= 77; ++at) EXPECT_EQ(owners[static_cast<std::size_t>(at)], 1) << "byte " << at;
  EXPECT_FALSE(alarmParameterRecord()[37].sent);  // the ID, read back only
}

// ---- codec ---------------------------------------------------------------------------------

TEST(AlarmFieldCodec, DecodesEachFieldByItsWidthAndSignedness) {
  struct Case {
    int row;
    int offset;
    const char* bytes;
    const char* shown;
  } cases[] = {
      {22, 42, "EC FF", "-20"}, {42, 73, "FF FF", "65535"}, {31, 57, "00 80", "-32768"},
      {7, 17, "42 0E", "3650"}, {2, 9, "FF", "255"},        {38, 4, "C8", "200"},
      {40, 68, "64", "100"},    {41, 67, "0A", "10"},       {39, 71, "FF FF", "-1"},
      {37, 69, "64 00", "100"},
  };
  for (const auto& c : cases) {
    Bytes frame(82, 0);
    const Bytes value = test::hex(c.bytes);
    std::copy(value.begin(), value.end(), frame.begin() + c.offset);
    EXPECT_EQ(decodeAlarmField(alarmParameterRecord()[static_cast<std::size_t>(c.row - 1)],
                               FrameView(frame.data(), frame.size())),
              c.shown)
        << "row " << c.row;
  }
}

}  // namespace
}  // namespace orlo
