#include "view/layout_table.h"

#include <gtest/gtest.h>

#include "support/fake_form.h"

namespace orlo {
namespace {

// ---- parsing -------------------------------------------------------------------------------

TEST(LayoutTable, ParsesWindowGroupsAndControlsWithBlankFieldsAndFlags) {
  LayoutTable t;
  std::string error;
  ASSERT_TRUE(parseLayout("# comment\n"
                          "window | main | 800 | 600 | Caption - with dash\n"
                          "group | g1 | - | 0 | 1 | 2 | 3 | Serial Parameter\n"
                          "ctrl | 1002 | combo-edit | g1 | 0 | 0 | Serial Ports: | | | wide\n"
                          "ctrl | 1054 | edit | g1 | 1 | 0 | Time Interval: | | S | digits, center\n"
                          "ctrl | -1 | label | - | 2 | 0 | | Cell1 | |\n",
                          &t, &error))
      << error;
  EXPECT_EQ(t.window.caption, "Caption - with dash");
  EXPECT_EQ(t.window.width, 800);
  ASSERT_NE(t.group("g1"), nullptr);
  EXPECT_EQ(t.group("g1")->colSpan, 3);
  ASSERT_NE(t.control(1054), nullptr);
  EXPECT_EQ(t.control(1054)->unit, "S");
  EXPECT_TRUE(t.control(1054)->hasFlag("digits"));
  EXPECT_TRUE(t.control(1054)->hasFlag("center"));
  EXPECT_EQ(t.controls.back().text, "Cell1");
  EXPECT_EQ(t.control(-1), nullptr);
}

TEST(LayoutTable, RejectsDuplicateIdsUnknownKindsAndUnknownGroupsWithTheLine) {
  const std::string head = "window | w | 1 | 1 | c\n";
  struct Case {
    const char* body;
    const char* needle;
  } cases[] = {
      {"ctrl | 5 | edit | - | 0 | 0 | a | | |\nctrl | 5 | edit | - | 1 | 0 | b | | |\n", "line 3"},
      {"ctrl | 5 | slider | - | 0 | 0 | a | | |\n", "unknown kind"},
      {"ctrl | 5 | edit | nowhere | 0 | 0 | a | | |\n", "unknown group"},
      {"ctrl | x5 | edit | - | 0 | 0 | a | | |\n", "bad control id"},
      {"group | g | missing | 0 | 0 | 1 | 1 | c\n", "parent"},
  };
  for (const auto& c : cases) {
    LayoutTable t;
    std::string error;
    EXPECT_FALSE(parseLayout(head + c.body, &t, &error)) << c.body;
    EXPECT_NE(error.find(c.needle), std::string::npos) << error;
  }
  LayoutTable t;
  std::string error;
  EXPECT_FALSE(parseLayout("ctrl | 5 | edit | - | 0 | 0 | a | | |\n", &t, &error));
}

TEST(LayoutTable, SplitItemsKeepsEmptyItems) {
  EXPECT_EQ(splitItems("COM1;COM2"), (std::vector<std::string>{"COM1", "COM2"}));
  EXPECT_EQ(splitItems("a;;b;"), (std::vector<std::string>{"a", "", "b", ""}));
  EXPECT_TRUE(splitItems("").empty());
}

// ---- the shipped tables --------------------------------------------------------------------

TEST(ShippedLayouts, EveryWindowHasATableThatParses) {
  for (const char* window :
       {"main", "bms_parameter", "balance_test", "alarm_parameter", "current_calibration", "about"}) {
    LayoutTable t;
    std::string error;
    EXPECT_TRUE(loadLayoutFile(test::layoutPath(window), &t, &error)) << error;
    EXPECT_EQ(t.window.name, window);
  }
}

}  // namespace
}  // namespace orlo
