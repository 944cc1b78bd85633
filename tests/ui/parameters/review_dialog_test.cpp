// The review before a write, offscreen: the table lists exactly the fields that would change
// and every refused one, large moves of the guarded limits are highlighted, and Confirm stays
// disabled while anything is refused or nothing would change.

#include "ui/parameters/review_dialog.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTableWidget>
#include <set>
#include <string>

#include "core/snapshot_store.h"
#include "ui/qt_test_app.h"

namespace orlo::ui {
namespace {

struct Shown {
  std::string label;
  std::string onBoard;
  std::string proposed;
  bool highlighted;
};

AlarmValues boardValues() {
  AlarmValues values{};
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = static_cast<std::int64_t>(i) + 1;
  values[6] = 3650;  // Cell OV
  values[9] = 2500;  // Cell UV
  return values;
}

std::vector<Shown> rows(const ReviewDialog& dialog) {
  std::vector<Shown> out;
  const QTableWidget* table = dialog.table();
  for (int r = 0; r < table->rowCount(); ++r) {
    const auto cell = [&](int c) { return table->item(r, c)->text().toStdString(); };
    out.push_back({cell(ReviewDialog::kGroup) + "/" + cell(ReviewDialog::kLabel),
                   cell(ReviewDialog::kOnBoard), cell(ReviewDialog::kNew),
                   table->item(r, ReviewDialog::kOnBoard)->background().style() != Qt::NoBrush});
  }
  return out;
}

bool operator==(const Shown& a, const Shown& b) {
  return a.label == b.label && a.onBoard == b.onBoard && a.proposed == b.proposed &&
         a.highlighted == b.highlighted;
}
std::ostream& operator<<(std::ostream& os, const Shown& s) {
  return os << s.label << " " << s.onBoard << "->" << s.proposed << (s.highlighted ? " (highlighted)" : "");
}

std::string rowName(std::size_t index) {
  const auto& row = alarmParameterRecord()[index];
  return std::string(row.group) + "/" + row.label;
}

TEST(ReviewDialog, listsExactlyTheChangedFieldsAndHighlightsALargeMoveOfAGuardedLimit) {
  test::qtApp();
  const AlarmValues board = boardValues();
  std::vector<std::string> texts = parameterTexts(board);
  texts[6] = "3000";  // Cell OV down by 18 %
  texts[9] = "2600";  // Cell UV up by 4 %
  texts[1] = "250";   // a delay: never called out
  texts[37] = "99";   // the ID is never sent, so never a change
  const ReviewDialog dialog(reviewParameters(board, texts), board, ReviewDialog::Purpose::Write,
                            QStringLiteral("test"), nullptr);
  const std::vector<Shown> expected = {
      {rowName(1), "2", "250", false},
      {rowName(9), "2500", "2600", false},
      {rowName(6), "3650", "3000", true},
  };
  auto shown = rows(dialog);
  std::sort(shown.begin(), shown.end(), [](const Shown& a, const Shown& b) { return a.onBoard < b.onBoard; });
  EXPECT_EQ(shown, expected);
  EXPECT_TRUE(dialog.confirmButton()->isEnabled());
}

TEST(ReviewDialog, confirmIsDisabledWhileAFieldIsRefusedOrNothingWouldChange) {
  test::qtApp();
  const AlarmValues board = boardValues();
  std::vector<std::string> refused = parameterTexts(board);
  refused[6] = "70000";
  refused[9] = "2400";
  const ReviewDialog withRefusal(reviewParameters(board, refused), board, ReviewDialog::Purpose::Write,
                                 QStringLiteral("test"), nullptr);
  const auto shown = rows(withRefusal);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0], (Shown{rowName(6), "3650", "70000", true}));
  EXPECT_NE(withRefusal.table()->item(0, ReviewDialog::kNote)->text().indexOf("0 to 65535"), -1);
  EXPECT_FALSE(withRefusal.confirmButton()->isEnabled());

  const ReviewDialog unchanged(reviewParameters(board, parameterTexts(board)), board,
                               ReviewDialog::Purpose::Write, QStringLiteral("test"), nullptr);
  EXPECT_EQ(unchanged.table()->rowCount(), 0);
  EXPECT_FALSE(unchanged.confirmButton()->isEnabled());
}

}  // namespace
}  // namespace orlo::ui
