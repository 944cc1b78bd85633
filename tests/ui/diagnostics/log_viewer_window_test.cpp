// The recorded log window offscreen: it reads a log on its thread, shows all of it, zooms from
// the keyboard, sums up the range shown and exports it as PNG, SVG and CSV.

#include "ui/diagnostics/log_viewer_window.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>

#include "core/loaded_log.h"
#include "ui/diagnostics/log_viewer_plot.h"
#include "ui/form/dialogs.h"
#include "ui/qt_test_app.h"

namespace orlo::ui {
namespace {

void waitForLoad(LogViewerWindow& window) {
  QElapsedTimer clock;
  clock.start();
  while (window.loading() && clock.elapsed() < 10000) QTest::qWait(20);
}

TEST(LogViewerWindowTest, ReadsALogZoomsSumsUpAndExportsTheRangeShown) {
  QApplication& app = test::qtApp();
  (void)app;
  QTemporaryDir dir;
  const std::string path = dir.filePath("data.csv").toStdString();
  {
    std::string text = logHeaderText() + "\n";
    for (int s = 0; s < 7200; ++s) {  // two hours from 10:00:00, cell 1 = 3000 + minute
      char line[200];
      std::snprintf(line, sizeof line,
                    "%02d:%02d:%02d,%d,%d,3300,3300,3300,0,0,25.0,25.0,50,1,1.000000,0,0,0,0,0,3,2",
                    10 + s / 3600, s / 60 % 60, s % 60, s, 3000 + s / 60);
      text += std::string(line) + "\n";
    }
    std::string utf16;
    for (char c : text) utf16 += std::string{c, '\0'};
    std::ofstream(path, std::ios::binary) << utf16;
  }
  LogViewerWindow window;
  window.show();
  window.openLogs({QString::fromStdString(path)});
  waitForLoad(window);
  ASSERT_TRUE(window.log(0));
  ASSERT_EQ(window.log(0)->series.size(), 7200u);
  LogViewerPlot* plot = window.plot();
  const double firstAt = static_cast<double>(window.log(0)->at(0));
  EXPECT_DOUBLE_EQ(plot->viewFrom(), firstAt);
  EXPECT_DOUBLE_EQ(plot->viewTo() - plot->viewFrom(), 7200);

  plot->setFocus();
  QTest::keyClick(plot, Qt::Key_Plus);
  QTest::keyClick(plot, Qt::Key_Plus);
  EXPECT_NEAR(plot->viewTo() - plot->viewFrom(), 7200 * 0.64, 1);
  QTest::keyClick(plot, Qt::Key_Home);
  plot->setView(firstAt + 600, firstAt + 1200);  // 10:10:00 ... 10:20:00
  QTest::qWait(300);                             // the summary follows the view after a pause
  EXPECT_NE(window.summaryText().indexOf(QStringLiteral("cell 1: min 3010  max 3020")), -1)
      << window.summaryText().toStdString();

  const QString png = dir.filePath("shown.png"), svg = dir.filePath("shown.svg"),
                csv = dir.filePath("shown.csv");
  EXPECT_EQ(window.exportPng(png), QString());
  EXPECT_EQ(window.exportSvg(svg), QString());
  EXPECT_EQ(window.exportCsv(csv), QString());
  EXPECT_GT(QFile(png).size(), 1000);
  EXPECT_GT(QFile(svg).size(), 1000);
  QFile rows(csv);
  ASSERT_TRUE(rows.open(QIODevice::ReadOnly));
  const QList<QByteArray> lines = rows.readAll().split('\n');
  ASSERT_EQ(lines.size(), 1 + 601 + 1);  // header, 10:10:00 ... 10:20:00, the empty piece after the last LF
  EXPECT_TRUE(lines[0].startsWith("time (local ISO 8601),run,cell1 (mV)"));
  EXPECT_TRUE(lines[1].contains("T10:10:00,1,3010,3300,3300,3300,12.910,1.000000,50,"));
  EXPECT_EQ(window.exportCsv(dir.filePath("no-such-folder/x.csv")).contains("cannot write"), true);

  // Followed: rows appended show up, the view at the end moves with them; a shrunk file stops it.
  plot->resetView();
  std::string more;
  for (char c : std::string("12:00:00,7200,3120,3300,3300,3300,0,0,25.0,25.0,50,1,1.000000,0,0,0,0,0,3,2\n"))
    more += std::string{c, '\0'};
  std::ofstream(path, std::ios::binary | std::ios::app) << more;
  window.followNow();
  EXPECT_EQ(window.log(0)->series.size(), 7201u);
  EXPECT_EQ(window.log(0)->summary.cells[0].maxMv, 3120);
  EXPECT_DOUBLE_EQ(plot->viewTo(), firstAt + 7201);
  std::string shown;
  setDialogHook({[&](const std::string& text, const std::string&) { shown = text; }, {}});
  std::ofstream(path, std::ios::binary | std::ios::trunc) << more;
  window.followNow();
  EXPECT_NE(shown.find("shrank"), std::string::npos) << shown;
  setDialogHook({});
}

TEST(LogViewerWindowTest, AFileThatIsNoLogIsRefusedWithItsNameAndAReadCanBeCancelled) {
  QApplication& app = test::qtApp();
  (void)app;
  QTemporaryDir dir;
  const QString events = dir.filePath("events-2026-12-08.csv");
  std::ofstream(events.toStdString()) << "time,kind,event\r\n";
  std::string shown;
  setDialogHook({[&](const std::string& text, const std::string&) { shown = text; }, {}});
  LogViewerWindow window;
  QString error;
  QObject::connect(&window, &LogViewerWindow::loadFinished, [&](const QString& e) { error = e; });
  window.openLogs({events});
  waitForLoad(window);
  EXPECT_FALSE(window.log(0));
  EXPECT_TRUE(error.contains(events) && error.contains("events file")) << error.toStdString();
  EXPECT_EQ(shown, error.toStdString());

  window.openLogs({events});
  window.cancelLoading();
  EXPECT_FALSE(window.loading());
  EXPECT_FALSE(window.log(0));
  setDialogHook({});
}

}  // namespace
}  // namespace orlo::ui
