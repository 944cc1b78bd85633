#include "pages/alarm_parameter_record.h"

#include <gtest/gtest.h>

#include <set>

#include "app/layout_table.h"
#include "pages/alarm_parameter_ids.h"
#include "support/fake_form.h"
#include "support/hex.h"

namespace orlo {
namespace {

const AlarmParameterRow& rowFor(int boxId) {
  for (const auto& row : alarmParameterRecord())
    if (row.boxId == boxId) return row;
  ADD_FAILURE() << "no record row for box " << boxId;
  return alarmParameterRecord().front();
}

// ---- record and layout agree ---------------------------------------------------------------

TEST(AlarmParameterRecord, EveryRowHasItsBoxInTheLayoutWithTheRowsLabelUnitAndGroup) {
  LayoutTable layout;
  std::string error;
  ASSERT_TRUE(loadLayoutFile(test::layoutPath("alarm_parameter"), &layout, &error)) << error;
  for (const auto& row : alarmParameterRecord()) {
    SCOPED_TRACE("row " + std::to_string(row.row));
    const LayoutControl* box = layout.control(row.boxId);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->kind, "edit");
    EXPECT_EQ(box->label, row.label);
    EXPECT_EQ(box->unit, row.unit);
    const LayoutGroup* group = layout.group(box->group);
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->caption, row.group);
    const bool digitsOnly = row.boxId != alarm_ids::kBmsId;
    EXPECT_EQ(box->hasFlag("digits"), digitsOnly);
    EXPECT_EQ(box->hasFlag("center"), digitsOnly);
  }
}

TEST(AlarmParameterRecord, EveryEditBoxOfTheLayoutBelongsToExactlyOneRow) {
  LayoutTable layout;
  std::string error;
  ASSERT_TRUE(loadLayoutFile(test::layoutPath("alarm_parameter"), &layout, &error)) << error;
  std::multiset<int> recordBoxes;
  for (const auto& row : alarmParameterRecord()) recordBoxes.insert(row.boxId);
  int edits = 0;
  for (const auto& control : layout.controls) {
    if (control.kind != "edit") continue;
    ++edits;
    EXPECT_EQ(recordBoxes.count(control.id), 1u) << "box " << control.id;
  }
  EXPECT_EQ(edits, static_cast<int>(kAlarmParameterCount));
}

TEST(AlarmParameterRecord, RowsRunOneToFortyFourAndFileLabelsEndInAComma) {
  int expected = 1;
  for (const auto& row : alarmParameterRecord()) {
    EXPECT_EQ(row.row, expected++);
    const std::string label = row.fileLabel;
    ASSERT_FALSE(label.empty());
    EXPECT_EQ(label.back(), ',') << label;
    EXPECT_EQ(label.find(','), label.size() - 1) << label;
  }
}

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
  EXPECT_FALSE(rowFor(alarm_ids::kBmsId).sent);
}

// ---- numbers -------------------------------------------------------------------------------

TEST(ParseWholeNumber, AcceptsOnlyOneWholeNumberWithBlanksAround) {
  struct Case {
    const char* text;
    std::optional<std::int64_t> value;
  } cases[] = {
      {"12", 12},  {"  12\t", 12}, {"-20", -20}, {"+5", 5},    {"007", 7},       {"-0", 0},
      {"", {}},    {"   ", {}},    {"--", {}},   {"-", {}},    {"12a", {}},      {"1 2", {}},
      {"3.5", {}}, {"0x10", {}},   {"- 5", {}},  {"１２", {}}, {"65535", 65535}, {"-32768", -32768},
  };
  for (const auto& c : cases) EXPECT_EQ(parseWholeNumber(c.text), c.value) << '"' << c.text << '"';
}

TEST(ParseWholeNumber, HugeNumbersStayFarOutsideEveryRange) {
  const auto big = parseWholeNumber("123456789012345678901234567890");
  ASSERT_TRUE(big.has_value());
  EXPECT_GT(*big, 65535);
  const auto small = parseWholeNumber("-99999999999999999999");
  ASSERT_TRUE(small.has_value());
  EXPECT_LT(*small, -32768);
  EXPECT_EQ(parseWholeNumber("0000000000000000000100"), 100);
}

TEST(AcceptedRange, FollowsWidthAndSignednessAndTheSocsPercent) {
  struct Case {
    int box;
    std::int64_t min, max;
  } cases[] = {
      {alarm_ids::kChgOcDelay, 0, 255},
      {alarm_ids::kCellOvValue, 0, 65535},
      {alarm_ids::kBusOvValue, -32768, 32767},
      {alarm_ids::kDsgUtValue, -32768, 32767},
      {alarm_ids::kSoc, 0, 100},
      {alarm_ids::kSocWarning, 0, 255},
  };
  for (const auto& c : cases) {
    const AcceptedRange r = acceptedRange(rowFor(c.box));
    EXPECT_EQ(r.min, c.min) << c.box;
    EXPECT_EQ(r.max, c.max) << c.box;
  }
}

// ---- codec ---------------------------------------------------------------------------------

TEST(AlarmFieldCodec, DecodesEachFieldByItsWidthAndSignedness) {
  struct Case {
    int box;
    int offset;
    const char* bytes;
    const char* shown;
  } cases[] = {
      {alarm_ids::kDsgUtValue, 42, "EC FF", "-20"},
      {alarm_ids::kMosfetOtValue, 73, "FF FF", "65535"},
      {alarm_ids::kBusOvValue, 57, "00 80", "-32768"},
      {alarm_ids::kCellOvValue, 17, "42 0E", "3650"},
      {alarm_ids::kChgOcDelay, 9, "FF", "255"},
      {alarm_ids::kBmsId, 4, "C8", "200"},
      {alarm_ids::kSoc, 68, "64", "100"},
      {alarm_ids::kSocWarning, 67, "0A", "10"},
      {alarm_ids::kCycles, 71, "FF FF", "-1"},
      {alarm_ids::kNominalCapacity, 69, "64 00", "100"},
  };
  for (const auto& c : cases) {
    Bytes frame(82, 0);
    const Bytes value = test::hex(c.bytes);
    std::copy(value.begin(), value.end(), frame.begin() + c.offset);
    EXPECT_EQ(decodeAlarmField(rowFor(c.box), FrameView(frame.data(), frame.size())), c.shown) << c.box;
  }
}

TEST(AlarmFieldCodec, EncodesLowByteFirstInTwosComplement) {
  AlarmSetData data{};
  encodeAlarmField(rowFor(alarm_ids::kDsgUtValue), -20, &data);
  encodeAlarmField(rowFor(alarm_ids::kCellOvValue), 3650, &data);
  encodeAlarmField(rowFor(alarm_ids::kChgOcDelay), 250, &data);
  encodeAlarmField(rowFor(alarm_ids::kBmsId), 99, &data);  // read back only: must not land anywhere
  EXPECT_EQ(data[42 - 7], 0xEC);
  EXPECT_EQ(data[43 - 7], 0xFF);
  EXPECT_EQ(data[17 - 7], 0x42);
  EXPECT_EQ(data[18 - 7], 0x0E);
  EXPECT_EQ(data[9 - 7], 250);
  int nonZero = 0;
  for (auto b : data) nonZero += b != 0;
  EXPECT_EQ(nonZero, 5);
}

}  // namespace
}  // namespace orlo
