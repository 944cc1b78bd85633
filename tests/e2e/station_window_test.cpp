// Production > Station... in the real window against orlo-bms-sim over a pseudo-terminal,
// offscreen and by keyboard alone: a label and Enter run the board, a meter reading typed at the
// prompt takes the calibration point, and the PDF report (read back with pdftotext) says PASS
// and the board ID. With ORLO_SCREENSHOT_DIR set the finished window is kept as
// station_window.png.

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProcess>

#include "e2e/e2e_fixture.h"
#include "ui/station/station_window.h"

namespace orlo::test {
namespace {

// The JSON reports in `folder`, for a failure's message.
std::string reportsIn(const QString& folder) {
  std::string out;
  for (const QString& name : QDir(folder).entryList({"*.json"})) {
    QFile file(QDir(folder).filePath(name));
    if (file.open(QIODevice::ReadOnly)) out += file.readAll().toStdString();
  }
  return out;
}

TEST_F(EndToEnd, theStationWindowRunsABoardByKeyboardAndItsPdfSaysPass) {
  startBoth({"--rest", "--id", "42"});
  ASSERT_TRUE(openCom1()) << lastMessage();
  ASSERT_TRUE(waitForCommOk());
  QFile recipe(workDir.filePath("recipe.toml"));
  ASSERT_TRUE(recipe.open(QIODevice::WriteOnly));
  recipe.write(
      "name = \"window\"\nrecord_dir = \"records\"\n[rest]\ncell_mv = [3000, 3600]\n"
      "[balance]\ncells = [1, 2]\n[calibration]\ndischarge_ma = [5000]\n");
  recipe.close();

  // The menu entry opens the window; every control it offers has a name for a screen reader.
  QAction* entry = nullptr;
  for (QAction* menu : app->window()->menuBar()->actions())
    if (menu->menu() && menu->text() == "P&roduction") entry = menu->menu()->actions().value(0);
  ASSERT_NE(entry, nullptr);
  entry->trigger();
  auto* station = app->window()->findChild<ui::StationWindow*>();
  ASSERT_NE(station, nullptr);
  for (QWidget* w : station->findChildren<QWidget*>()) {
    if (w->focusPolicy() != Qt::NoFocus && w->isVisibleTo(station)) {
      EXPECT_FALSE(w->accessibleName().isEmpty()) << w->metaObject()->className();
    }
  }

  station->recipeEdit()->setText(recipe.fileName());
  QTest::keyClicks(station->labelEdit(), "W-1");
  QTest::keyClick(station->labelEdit(), Qt::Key_Return);
  ASSERT_TRUE(QTest::qWaitFor([&] { return station->readingEdit()->isEnabled(); }, 20000))
      << station->resultLabel()->text().toStdString() << reportsIn(workDir.filePath("records"));
  EXPECT_TRUE(station->readingEdit()->hasFocus()) << "the prompt takes the focus";
  QTest::keyClicks(station->readingEdit(), "5000");
  QTest::keyClick(station->readingEdit(), Qt::Key_Return);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !station->running(); }, 20000));
  EXPECT_EQ(station->resultLabel()->text().toStdString(), "PASS");
  EXPECT_TRUE(station->labelEdit()->hasFocus()) << "the next board's label has the focus";
  // docs/make_screenshots.sh keeps the finished board's window for the user guide.
  if (const char* pictures = std::getenv("ORLO_SCREENSHOT_DIR")) {
    EXPECT_TRUE(station->grab().save(QString::fromLocal8Bit(pictures) + "/station_window.png", "PNG"));
  }

  const QStringList pdfs = QDir(workDir.filePath("records")).entryList({"*.pdf"});
  ASSERT_EQ(pdfs.size(), 1);
  QProcess pdftotext;
  pdftotext.start("pdftotext", {QDir(workDir.filePath("records")).filePath(pdfs[0]), "-"});
  ASSERT_TRUE(pdftotext.waitForFinished(10000));
  const QString textOfPdf = QString::fromUtf8(pdftotext.readAllStandardOutput());
  EXPECT_TRUE(textOfPdf.contains("Station report: PASS")) << textOfPdf.toStdString();
  EXPECT_TRUE(textOfPdf.contains("Board ID 42")) << textOfPdf.toStdString();
  EXPECT_TRUE(textOfPdf.contains("calibration: pass")) << textOfPdf.toStdString();
  EXPECT_TRUE(textOfPdf.contains("error_evaluation_discharge")) << textOfPdf.toStdString();
  // The board was left with manual balance off.
  const auto manual = receivedRequests("AA55180000000D");
  ASSERT_FALSE(manual.empty());
  EXPECT_EQ(manual.back(), "AA55180000000D000000000000000D0055AA");
}

// The board unplugged and the next one plugged in on the same port: the main window opens it
// again by itself and, once the board answers, the label scanned meanwhile starts it without
// Enter. Plugged in again with no new label, the window asks for one instead.
TEST_F(EndToEnd, theNextBoardStartsByItselfWhenItsPortComesBack) {
  startBoth({"--rest", "--id", "42"});
  ASSERT_TRUE(openCom1()) << lastMessage();
  ASSERT_TRUE(waitForCommOk());
  QFile recipe(workDir.filePath("recipe.toml"));
  ASSERT_TRUE(recipe.open(QIODevice::WriteOnly));
  recipe.write("name = \"replug\"\nrecord_dir = \"records\"\n[rest]\ncell_mv = [3000, 3600]\n");
  recipe.close();
  ui::StationWindow station(app->behaviour(), app->window());
  station.show();
  station.recipeEdit()->setText(recipe.fileName());
  QTest::keyClicks(station.labelEdit(), "R-1");
  QTest::keyClick(station.labelEdit(), Qt::Key_Return);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !station.running(); }, 20000));
  ASSERT_EQ(station.resultLabel()->text().toStdString(), "PASS");

  QTest::keyClicks(station.labelEdit(), "R-2");  // replaces the selected R-1
  const auto replug = [&](const QStringList& options) {
    sim.stop();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !app->serial().isOpen(); }, 5000));
    ASSERT_TRUE(sim.start(options));
  };
  replug({"--rest", "--id", "43"});
  ASSERT_TRUE(QTest::qWaitFor([&] { return station.running(); }, 15000)) << "the next board did not start";
  ASSERT_TRUE(QTest::qWaitFor([&] { return !station.running(); }, 20000));
  EXPECT_EQ(station.resultLabel()->text().toStdString(), "PASS");
  QFile rows(workDir.filePath("records/station.csv"));
  ASSERT_TRUE(rows.open(QIODevice::ReadOnly));
  const QList<QByteArray> lines = rows.readAll().trimmed().split('\n');
  ASSERT_EQ(lines.size(), 3) << reportsIn(workDir.filePath("records"));
  EXPECT_TRUE(lines[1].contains(",42,R-1,PASS")) << lines[1].toStdString();
  EXPECT_TRUE(lines[2].contains(",43,R-2,PASS")) << lines[2].toStdString();

  replug({"--rest", "--id", "44"});
  ASSERT_TRUE(QTest::qWaitFor([&] { return station.resultLabel()->text() == "Label?"; }, 15000));
  EXPECT_FALSE(station.running());
  EXPECT_TRUE(station.labelEdit()->hasFocus());
}

}  // namespace
}  // namespace orlo::test
