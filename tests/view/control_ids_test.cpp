// Each window's typed ids against its layout table: the enumerators and the table's named rows
// are the same (name, id) pairs, so neither can change without the other.

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <type_traits>
#include <utility>

#include "support/fake_form.h"
#include "view/alarm_parameter_ids.h"
#include "view/balance_test_ids.h"
#include "view/bms_parameter_ids.h"
#include "view/current_calibration_ids.h"
#include "view/form_of.h"
#include "view/layout_table.h"
#include "view/main_window_ids.h"

namespace orlo {
namespace {

// A window's typed form takes its own ids only: another window's id, or a bare number, does
// not compile.
using BmsText = std::string (FormOf<BmsId>::*)(BmsId) const;
static_assert(std::is_invocable_v<BmsText, const FormOf<BmsId>&, BmsId>);
static_assert(!std::is_invocable_v<BmsText, const FormOf<BmsId>&, MainId>);
static_assert(!std::is_invocable_v<BmsText, const FormOf<BmsId>&, int>);
static_assert(!std::is_convertible_v<AlarmId, int> && !std::is_convertible_v<int, AlarmId>);

using Pairs = std::set<std::pair<std::string, int>>;

template <class Id>
void expectIdsMatchLayout() {
  const std::string window = ControlIds<Id>::kLayout;
  SCOPED_TRACE(window);
  LayoutTable table;
  const Result<LayoutTable> loaded = loadLayoutFile(test::layoutPath(window));
  ASSERT_TRUE(loaded.ok()) << loaded.error();
  table = *loaded;
  Pairs rows;
  for (const auto& c : table.controls)
    if (c.id != -1) rows.emplace(c.name, c.id);
  Pairs enumerators;
  for (const auto& n : ControlIds<Id>::kNames) enumerators.emplace(n.name, n.id);
  EXPECT_EQ(enumerators.size(), std::size(ControlIds<Id>::kNames)) << "an enumerator listed twice";
  for (const auto& [name, id] : enumerators)
    EXPECT_TRUE(rows.count({name, id})) << name << " = " << id << " has no row of that name and id";
  for (const auto& [name, id] : rows)
    EXPECT_TRUE(enumerators.count({name, id})) << "row " << name << " | " << id << " has no enumerator";
}

TEST(ControlIds, EveryWindowsEnumeratorsAreItsLayoutRows) {
  expectIdsMatchLayout<MainId>();
  expectIdsMatchLayout<BmsId>();
  expectIdsMatchLayout<BalanceId>();
  expectIdsMatchLayout<AlarmId>();
  expectIdsMatchLayout<CalibrationId>();
}

TEST(ControlIds, NumberedRunsStayInTheirWindow) {
  EXPECT_EQ(BalanceId::Lamp1 + 14, BalanceId::Lamp15);
  EXPECT_EQ(BalanceId::CellButton5 - BalanceId::CellButton1, 4);
  EXPECT_EQ(CalibrationId::CalibrationPoint1 + 3, CalibrationId::CalibrationPoint4);
  EXPECT_EQ(BmsId::CellV1 + 3, BmsId::CellV4);
}

// 1024 is "Path" on the main window and "Set" on the alarm page: the test form refuses the
// main window's id on the alarm page although the number exists there.
TEST(ControlIds, TheTestFormRefusesAnotherWindowsIdOfTheSameNumber) {
  test::FakeForm alarm("alarm_parameter");
  ASSERT_NE(alarm.table().control(idNumber(MainId::Path)), nullptr);
  EXPECT_NONFATAL_FAILURE(alarm.text(MainId::Path), "of window 'main' used on window 'alarm_parameter'");
  EXPECT_EQ(alarm.text(AlarmId::Set), "Set");
}

}  // namespace
}  // namespace orlo
