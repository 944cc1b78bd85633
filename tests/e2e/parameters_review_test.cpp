// "Write with Review" against orlo-bms-sim over a pseudo-terminal, through the whole tool: the
// review lists the two edited fields, Confirm keeps the board's old values as a snapshot, the
// board receives exactly the one Set request built from what it held with the two edits, and
// the result says every value read back as written. Prints how long the write took.
//
// With ORLO_SCREENSHOT_DIR set, the review and the result are saved there as
// parameters_review.png and parameters_result.png (the user guide's pictures).

#include <QElapsedTimer>
#include <QPushButton>
#include <QTableWidget>
#include <algorithm>
#include <cstdlib>
#include <iostream>

#include "core/parameter_file_check.h"
#include "core/snapshot_store.h"
#include "e2e/e2e_fixture.h"
#include "sim/board_model.h"
#include "support/board_defaults.h"
#include "support/hex.h"
#include "support/scratch_files.h"
#include "ui/parameters/parameters_menu.h"

namespace orlo::test {
namespace {

constexpr std::size_t kCellOv = 6;      // record index; frame bytes 17 and 18
constexpr std::size_t kChgOcDelay = 1;  // record index; frame byte 9

class ParametersEndToEnd : public EndToEnd {
 protected:
  void SetUp() override {
    EndToEnd::SetUp();
    screenshotDir_ = std::getenv("ORLO_SCREENSHOT_DIR");
    if (screenshotDir_) ui::applyApplicationFont();
    startBoth();
    if (HasFatalFailure()) return;
    app->addReceiveObserver(&reads);
    app->mainForm().setCurrentIndex(MainId::Tabs, 2);
    ASSERT_TRUE(openCom1()) << lastMessage();
    ASSERT_TRUE(waitForCommOk());
  }
  void saveScreenshot(QWidget* widget, const char* name) {
    if (!screenshotDir_) return;
    const QString path = QString::fromLocal8Bit(screenshotDir_) + "/" + name;
    EXPECT_TRUE(widget->grab().save(path, "PNG")) << path.toStdString();
  }

  LastFrame reads{[](const std::uint8_t* f, std::size_t n) { return n >= 82 && f[2] == 0x47; }};
  const char* screenshotDir_ = nullptr;
};

TEST_F(ParametersEndToEnd, aReviewedWriteSendsOneSetKeepsTheOldValuesAndVerifies) {
  const AlarmValues factory = boardValues();
  std::vector<std::string> texts = parameterTexts(factory);
  texts[kCellOv] = "3200";  // more than a tenth down: highlighted
  texts[kChgOcDelay] = "7";
  app->behaviour().alarmPage().showValues(texts);

  auto& menu = app->parametersMenu();
  menu.writeBoxesWithReview();
  ASSERT_TRUE(QTest::qWaitFor([&] { return menu.reviewDialog() && menu.reviewDialog()->isVisible(); }, 5000))
      << lastMessage();
  ui::ReviewDialog* dialog = menu.reviewDialog();
  ASSERT_EQ(reads.dispatched, 1);
  const Bytes before(reads.bytes.begin() + 7, reads.bytes.begin() + 78);
  std::vector<std::string> listed;
  for (int r = 0; r < dialog->table()->rowCount(); ++r)
    listed.push_back(dialog->table()->item(r, ui::ReviewDialog::kGroup)->text().toStdString() + "/" +
                     dialog->table()->item(r, ui::ReviewDialog::kNew)->text().toStdString());
  EXPECT_EQ(listed, (std::vector<std::string>{"CHG OC Protect(Range)/7", "Cell OV Protect(Range)/3200"}));
  saveScreenshot(dialog, "parameters_review.png");

  QElapsedTimer elapsed;
  elapsed.start();
  dialog->confirmButton()->click();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        return dialog->resultText().contains(QStringLiteral("Verified: 43 values written and read back"));
      },
      10000))
      << dialog->resultText().toStdString();
  std::cout << "reviewed write (read, snapshot, Set, read back) through the window: " << elapsed.elapsed()
            << " ms\n";
  saveScreenshot(dialog, "parameters_result.png");

  Bytes expected = before;
  expected[17 - 7] = 3200 & 0xFF;
  expected[18 - 7] = 3200 >> 8;
  expected[9 - 7] = 7;
  EXPECT_EQ(receivedRequests("AA5547"), std::vector<std::string>{compactHex(setRequestCarrying(expected))});

  const auto snapshots = SnapshotStore(workDir.filePath("data/snapshots").toStdString()).list();
  ASSERT_EQ(snapshots.size(), 1u);
  EXPECT_EQ(readParameterFile(snapshots[0].path).values, parameterTexts(factory));
  const std::string record = readFile(workDir.filePath("data/writes.csv").toStdString());
  EXPECT_NE(record.find("3650→3200"), std::string::npos) << record;
  EXPECT_NE(record.find(",Verified\r\n"), std::string::npos) << record;
  EXPECT_TRUE(dialog->resultText().contains(QString::fromStdString(snapshots[0].path)))
      << dialog->resultText().toStdString();
  EXPECT_TRUE(messages.empty()) << messages.front();
}

}  // namespace
}  // namespace orlo::test
