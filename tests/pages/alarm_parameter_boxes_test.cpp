#include <gtest/gtest.h>

#include <set>

#include "core/alarm_parameter_record.h"
#include "pages/alarm_parameter_page.h"
#include "support/fake_form.h"
#include "view/alarm_parameter_ids.h"
#include "view/layout_table.h"

namespace orlo {
namespace {

// ---- record and layout agree ---------------------------------------------------------------

TEST(AlarmParameterRecord, EveryRowHasItsBoxInTheLayoutWithTheRowsLabelUnitAndGroup) {
  LayoutTable layout;
  const Result<LayoutTable> loaded = loadLayoutFile(test::layoutPath("alarm_parameter"));
  ASSERT_TRUE(loaded.ok()) << loaded.error();
  layout = *loaded;
  for (const auto& row : alarmParameterRecord()) {
    SCOPED_TRACE("row " + std::to_string(row.row));
    const LayoutControl* box = layout.control(alarmBoxId(row));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->kind, "edit");
    EXPECT_EQ(box->label, row.label);
    EXPECT_EQ(box->unit, row.unit);
    const LayoutGroup* group = layout.group(box->group);
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->caption, row.group);
    const bool digitsOnly = alarmBoxId(row) != AlarmId::BoardId;
    EXPECT_EQ(box->hasFlag("digits"), digitsOnly);
    EXPECT_EQ(box->hasFlag("center"), digitsOnly);
  }
}

TEST(AlarmParameterRecord, EveryEditBoxOfTheLayoutBelongsToExactlyOneRow) {
  LayoutTable layout;
  const Result<LayoutTable> loaded = loadLayoutFile(test::layoutPath("alarm_parameter"));
  ASSERT_TRUE(loaded.ok()) << loaded.error();
  layout = *loaded;
  std::multiset<int> recordBoxes;
  for (const auto& row : alarmParameterRecord()) recordBoxes.insert(idNumber(alarmBoxId(row)));
  int edits = 0;
  for (const auto& control : layout.controls) {
    if (control.kind != "edit") continue;
    ++edits;
    EXPECT_EQ(recordBoxes.count(control.id), 1u) << "box " << control.id;
  }
  EXPECT_EQ(edits, static_cast<int>(kAlarmParameterCount));
}

}  // namespace
}  // namespace orlo
