#include "view/layout_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "support/fake_form.h"

namespace orlo {
namespace {

// ---- parsing -------------------------------------------------------------------------------

TEST(LayoutTable, ParsesWindowGroupsAndControlsWithBlankFieldsAndFlags) {
  const Result<LayoutTable> parsed = parseLayout(
      "# comment\n"
      "window | main | 800 | 600 | Caption - with dash\n"
      "group | g1 | - | 0 | 1 | 2 | 3 | Serial Parameter |\n"
      "ctrl | 1002 | Id1002 | combo-edit | g1 | 0 | 0 | Serial Ports: | | | wide\n"
      "ctrl | 1054 | Id1054 | edit | g1 | 1 | 0 | Time Interval: | | S | digits, center\n"
      "ctrl | -1 | - | label | - | 2 | 0 | | Cell1 | |\n");
  ASSERT_TRUE(parsed.ok()) << parsed.error();
  const LayoutTable& t = *parsed;
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
      {"ctrl | 5 | Id5 | edit | - | 0 | 0 | a | | |\nctrl | 5 | Other | edit | - | 1 | 0 | b | | |\n",
       "line 3"},
      {"ctrl | 5 | Id5 | slider | - | 0 | 0 | a | | |\n", "unknown kind"},
      {"ctrl | 5 | Id5 | edit | nowhere | 0 | 0 | a | | |\n", "unknown group"},
      {"ctrl | x5 | Idx5 | edit | - | 0 | 0 | a | | |\n", "bad control id"},
      {"group | g | missing | 0 | 0 | 1 | 1 | c |\n", "parent"},
  };
  for (const auto& c : cases) {
    const Result<LayoutTable> t = parseLayout(head + c.body);
    EXPECT_FALSE(t.ok()) << c.body;
    EXPECT_NE(t.error().find(c.needle), std::string::npos) << t.error();
  }
  EXPECT_FALSE(parseLayout("ctrl | 5 | Id5 | edit | - | 0 | 0 | a | | |\n").ok());
}

// A table the loader does not understand is refused whole, naming the line and the fault,
// where it used to drop the row's kind or flag and build a window that differs from the file.
TEST(LayoutTable, RefusesUnknownKindsFlagsNamesAndColumnCounts) {
  const std::string head =
      "window | w | 1 | 1 | c\n"
      "group | g | - | 0 | 0 | 1 | 1 | G |\n";
  struct Case {
    const char* row;
    const char* message;
  } cases[] = {
      {"ctrl | 5 | Box | slider | g | 0 | 0 | a | | |", "line 3: unknown kind 'slider'"},
      {"ctrl | 5 | Box | edit | g | 0 | 0 | a | | | centre", "line 3: control 5: unknown flag 'centre'"},
      {"ctrl | 5 | Box | edit | g | 0 | 0 | a | | | name=", "line 3: control 5: unknown flag 'name='"},
      {"group | h | g | 0 | 0 | 1 | 1 | H | framed", "line 3: group 'h': unknown flag 'framed'"},
      {"ctrl | 5 | Box | edit | g | 0 | 0 | a | |",
       "line 3: 'ctrl' has 9 columns, wants 10 (ctrl | id | name | kind | group | row | col | label | text | "
       "unit | "
       "flags)"},
      {"ctrl | 5 | Box | edit | g | 0 | 0 | a | | | | extra", "line 3: 'ctrl' has 11 columns, wants 10"},
      {"group | h | g | 0 | 0 | 1 | 1 | H", "line 3: 'group' has 7 columns, wants 8"},
      {"window | w | 1 | 1 | c | d", "line 3: 'window' has 5 columns, wants 4"},
      {"control | 5 | Box | edit | g | 0 | 0 | a | | |", "line 3: unknown record 'control'"},
      {"ctrl | 5 | box | edit | g | 0 | 0 | a | | |", "line 3: control 5: bad name 'box'"},
      {"ctrl | -1 | Text | label | g | 0 | 0 | | a | |", "line 3: control -1: bad name 'Text'"},
      {"ctrl | 5 | Box | edit | g | 0 | 0 | a | | |\nctrl | 6 | Box | edit | g | 1 | 0 | b | | |",
       "line 4: control name 'Box' used twice"},
  };
  for (const auto& c : cases) {
    const Result<LayoutTable> t = parseLayout(head + c.row + "\n");
    EXPECT_FALSE(t.ok()) << c.row;
    EXPECT_EQ(t.error().compare(0, std::strlen(c.message), c.message), 0)
        << c.row << "\n  said: " << t.error();
  }

  // Every flag the shipped tables use is known, and a file's refusal starts with its path.
  const Result<LayoutTable> flags =
      parseLayout(head +
                  "ctrl | 5 | Box | edit | g | 0 | 0 | a | | | digits, signed, center, above, span=2, "
                  "wide, disabled, checked, group-first, icon=128, name=Port status\n");
  EXPECT_TRUE(flags.ok()) << flags.error();
  const std::string path = ::testing::TempDir() + "/bad.layout";
  std::ofstream(path) << head << "ctrl | 5 | Box | dial | g | 0 | 0 | a | | |\n";
  const Result<LayoutTable> bad = loadLayoutFile(path);
  EXPECT_FALSE(bad.ok());
  EXPECT_EQ(bad.error(), path + ": line 3: unknown kind 'dial'");
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
    const Result<LayoutTable> t = loadLayoutFile(test::layoutPath(window));
    ASSERT_TRUE(t.ok()) << t.error();
    EXPECT_EQ(t->window.name, window);
  }
}

}  // namespace
}  // namespace orlo
