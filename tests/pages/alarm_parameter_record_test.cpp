#include "pages/alarm_parameter_record.h"

#include <gtest/gtest.h>

#include <set>

#include "support/fake_form.h"
#include "support/hex.h"
#include "view/alarm_parameter_ids.h"
#include "view/layout_table.h"

namespace orlo {
namespace {

const AlarmParameterRow& rowFor(AlarmId boxId) {
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
    const bool digitsOnly = row.boxId != AlarmId::BoardId;
    EXPECT_EQ(box->hasFlag("digits"), digitsOnly);
    EXPECT_EQ(box->hasFlag("center"), digitsOnly);
  }
}

TEST(AlarmParameterRecord, EveryEditBoxOfTheLayoutBelongsToExactlyOneRow) {
  LayoutTable layout;
  std::string error;
  ASSERT_TRUE(loadLayoutFile(test::layoutPath("alarm_parameter"), &layout, &error)) << error;
  std::multiset<int> recordBoxes;
  for (const auto& row : alarmParameterRecord()) recordBoxes.insert(idNumber(row.boxId));
  int edits = 0;
  for (const auto& control : layout.controls) {
    if (control.kind != "edit") continue;
    ++edits;
    EXPECT_EQ(recordBoxes.count(control.id), 1u) << "box " << control.id;
  }
  EXPECT_EQ(edits, static_cast<int>(kAlarmParameterCount));
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
  EXPECT_FALSE(rowFor(AlarmId::BoardId).sent);
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

// ---- codec ---------------------------------------------------------------------------------

TEST(AlarmFieldCodec, DecodesEachFieldByItsWidthAndSignedness) {
  struct Case {
    AlarmId box;
    int offset;
    const char* bytes;
    const char* shown;
  } cases[] = {
      {AlarmId::DsgUtValue, 42, "EC FF", "-20"},
      {AlarmId::MosfetOtValue, 73, "FF FF", "65535"},
      {AlarmId::BusOvValue, 57, "00 80", "-32768"},
      {AlarmId::CellOvValue, 17, "42 0E", "3650"},
      {AlarmId::ChgOcDelay, 9, "FF", "255"},
      {AlarmId::BoardId, 4, "C8", "200"},
      {AlarmId::Soc, 68, "64", "100"},
      {AlarmId::SocWarning, 67, "0A", "10"},
      {AlarmId::Cycles, 71, "FF FF", "-1"},
      {AlarmId::NominalCapacity, 69, "64 00", "100"},
  };
  for (const auto& c : cases) {
    Bytes frame(82, 0);
    const Bytes value = test::hex(c.bytes);
    std::copy(value.begin(), value.end(), frame.begin() + c.offset);
    EXPECT_EQ(decodeAlarmField(rowFor(c.box), FrameView(frame.data(), frame.size())), c.shown) << c.box;
  }
}

}  // namespace
}  // namespace orlo
