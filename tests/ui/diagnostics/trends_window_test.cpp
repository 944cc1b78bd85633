// The Trends window offscreen: it holds and draws the samples, breaks curves at gaps, follows
// the chosen span, pauses, throttles its redraws and exports what it shows.

#include "ui/diagnostics/trends_window.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>

#include "ui/diagnostics/trend_chart.h"
#include "ui/form/dialogs.h"
#include "ui/qt_test_app.h"

namespace orlo::ui {
namespace {

class TrendsWindowTest : public ::testing::Test {
 protected:
  void TearDown() override { setDialogHook({}); }

  // One sample a second from t0, cell 1 counting up from 3300 mV.
  void addSeconds(int from, int count) {
    for (int i = from; i < from + count; ++i) {
      TrendSample s;
      s.timeMs = t0 + i * 1000;
      s.values[static_cast<std::size_t>(TrendSeries::Cell1)] = 3300.0f + static_cast<float>(i);
      buffer.add(s);
    }
  }
  TrendsWindow& shown() {
    window.show();
    window.refresh();
    return window;
  }

  QApplication& app = test::qtApp();  // before any widget
  const std::int64_t t0 = 1796636809000;
  std::int64_t now = t0;
  TrendBuffer buffer{1000};
  TrendsWindow window{buffer, [this] { return now; }};
};

TEST_F(TrendsWindowTest, BuildsAResizableWindowWithOneChartPerUnit) {
  EXPECT_EQ(window.windowTitle(), "Trends");
  EXPECT_EQ(window.charts().size(), 6u);
  EXPECT_LT(window.minimumWidth(), window.maximumWidth());
  EXPECT_EQ(window.chartFor(TrendSeries::Cell1), window.chartFor(TrendSeries::Cell4));
  EXPECT_NE(window.chartFor(TrendSeries::Cell1), window.chartFor(TrendSeries::Spread));
  EXPECT_EQ(window.spans().front(), 60000);
  EXPECT_EQ(window.spans().back(), 24 * 3600 * 1000);
}

TEST_F(TrendsWindowTest, HoldsTheSamplesOfTheVisibleSpan) {
  addSeconds(0, 30);
  now = t0 + 29000;
  shown();
  EXPECT_EQ(window.chartFor(TrendSeries::Cell1)->pointCount(TrendSeries::Cell1), 30);
  EXPECT_EQ(window.chartFor(TrendSeries::Cell1)->segmentCount(TrendSeries::Cell1), 1);
  EXPECT_EQ(window.visibleRange().size(), 30u);
}

TEST_F(TrendsWindowTest, AQuietLinkLeavesABreakInTheCurve) {
  addSeconds(0, 10);
  addSeconds(20, 10);  // ten seconds without a frame
  now = t0 + 29000;
  shown();
  EXPECT_EQ(window.chartFor(TrendSeries::Cell1)->segmentCount(TrendSeries::Cell1), 2);
  EXPECT_EQ(window.chartFor(TrendSeries::Cell1)->pointCount(TrendSeries::Cell1), 20);
}

TEST_F(TrendsWindowTest, SpanSelectsHowFarBackTheChartsReach) {
  addSeconds(0, 600);
  now = t0 + 599000;
  shown();
  EXPECT_EQ(window.visibleRange().size(), 61u);
  window.setSpanMs(5 * 60000);
  EXPECT_EQ(window.visibleRange().size(), 301u);
}

TEST_F(TrendsWindowTest, HiddenSeriesDrawNothingAndAnEmptyChartIsHidden) {
  addSeconds(0, 5);
  now = t0 + 5000;
  shown();
  window.setSeriesVisible(TrendSeries::Cell1, false);
  EXPECT_EQ(window.chartFor(TrendSeries::Cell1)->pointCount(TrendSeries::Cell1), 0);
  EXPECT_TRUE(window.chartFor(TrendSeries::Cell1)->isVisible());
  window.setSeriesVisible(TrendSeries::Spread, false);
  EXPECT_FALSE(window.chartFor(TrendSeries::Spread)->isVisible());
  window.setSeriesVisible(TrendSeries::Cell1, true);
  EXPECT_EQ(window.chartFor(TrendSeries::Cell1)->pointCount(TrendSeries::Cell1), 5);
  EXPECT_TRUE(window.seriesVisible(TrendSeries::Cell1));
}

TEST_F(TrendsWindowTest, RedrawsOnlyWhenSamplesOrTheClockMovedAndNotWhilePaused) {
  addSeconds(0, 5);
  now = t0 + 5000;
  shown();
  const int base = window.redrawCount();
  window.refresh();
  EXPECT_EQ(window.redrawCount(), base) << "nothing changed";
  addSeconds(5, 100);  // a burst between two timer ticks costs one redraw
  now += 1000;
  window.refresh();
  window.refresh();
  EXPECT_EQ(window.redrawCount(), base + 1);
  window.setPaused(true);
  const int paused = window.redrawCount();
  addSeconds(105, 5);
  now += 10000;
  window.refresh();
  EXPECT_EQ(window.redrawCount(), paused);
  window.setPaused(false);
  EXPECT_GT(window.redrawCount(), paused);
}

TEST_F(TrendsWindowTest, FollowingTheClockKeepsTheFrameUntilANewValueLeavesTheScale) {
  addSeconds(0, 30);
  now = t0 + 29000;
  shown();
  TrendChart* chart = window.chartFor(TrendSeries::Cell1);
  chart->grab();
  const int builds = chart->frameBuilds();
  for (int i = 0; i < 5; ++i) {  // the curve climbs a millivolt a second, well inside the scale
    addSeconds(30 + i, 1);
    now += 1000;
    window.refresh();
    chart->grab();
  }
  EXPECT_EQ(chart->frameBuilds(), builds) << "title, legend and value axis drawn once";
  EXPECT_EQ(chart->pointCount(TrendSeries::Cell1), 35) << "the newest sample is drawn";
  TrendSample high;
  high.timeMs = now + 1000;
  high.values[static_cast<std::size_t>(TrendSeries::Cell1)] = 4500.0f;
  buffer.add(high);
  now += 1000;
  window.refresh();
  chart->grab();
  EXPECT_GE(chart->scaleHigh(), 4500.0);
  EXPECT_EQ(chart->frameBuilds(), builds + 1);
}

TEST_F(TrendsWindowTest, ChartsRepaintedAsTheClockMovesShowWhatAFullPaintDraws) {
  addSeconds(0, 30);
  now = t0 + 29500;
  shown().resize(900, 900);
  QCoreApplication::processEvents();
  for (int i = 0; i < 4; ++i) {  // the last second leaves the scale: the frame is built again
    TrendSample s;
    s.timeMs = now + 1000;
    s.values[static_cast<std::size_t>(TrendSeries::Cell1)] =
        i < 3 ? 3330.0f + static_cast<float>(i) : 4500.0f;
    buffer.add(s);
    now += 1000;
    window.refresh();
    QCoreApplication::processEvents();
  }
  for (TrendChart* chart : window.charts()) {
    const QPoint at = chart->mapTo(&window, QPoint(0, 0));
    const QImage screen = window.screen()
                              ->grabWindow(window.winId(), at.x(), at.y(), chart->width(), chart->height())
                              .toImage();
    EXPECT_EQ(screen.convertToFormat(QImage::Format_RGB32),
              chart->grab().toImage().convertToFormat(QImage::Format_RGB32))
        << chart->accessibleName().toStdString();
  }
}

TEST_F(TrendsWindowTest, OnADaySpanNewSamplesWaitUntilTheyWouldMoveTheCurve) {
  addSeconds(0, 5);
  now = t0 + 5000;
  window.setSpanMs(24 * 3600 * 1000);
  shown();
  const int base = window.redrawCount();
  addSeconds(5, 1);
  now += 1000;
  window.refresh();
  EXPECT_EQ(window.redrawCount(), base);
  now += 90000;
  window.refresh();
  EXPECT_EQ(window.redrawCount(), base + 1);
}

TEST_F(TrendsWindowTest, HoverNamesTheNearestSampleInView) {
  addSeconds(0, 10);
  now = t0 + 9000;
  shown();
  EXPECT_NE(window.hoverText(t0 + 3400).indexOf("Cell 1: 3303 mV"), -1)
      << window.hoverText(t0 + 3400).toStdString();
  buffer = TrendBuffer(10);
  window.setSpanMs(5 * 60000);
  EXPECT_TRUE(window.hoverText(t0).isEmpty());
}

TEST_F(TrendsWindowTest, ExportsTheVisibleSpanAsCsvAndPngThroughTheButtons) {
  QTemporaryDir dir;
  addSeconds(0, 120);
  now = t0 + 119000;
  shown();
  std::vector<std::string> proposed;
  setDialogHook({[](const std::string&, const std::string&) { ADD_FAILURE() << "unexpected message"; },
                 [&](bool, const FileDialogRequest& r) -> std::optional<std::string> {
                   proposed.push_back(r.proposedName);
                   return QDir(dir.path()).filePath(QString::fromStdString(r.proposedName)).toStdString();
                 }});
  for (QPushButton* b : window.findChildren<QPushButton*>())
    if (b->text().startsWith("Export")) b->click();
  EXPECT_EQ(proposed, (std::vector<std::string>{"trends.png", "trends.csv"}));
  QFile csv(QDir(dir.path()).filePath("trends.csv"));
  ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
  EXPECT_EQ(csv.readAll().count('\n'), 1 + 61);
  QImage png(QDir(dir.path()).filePath("trends.png"));
  EXPECT_FALSE(png.isNull());
  EXPECT_GT(png.width(), 100);
}

TEST_F(TrendsWindowTest, ExportToAnUnwritablePlaceSaysWhy) {
  shown();
  std::string message;
  setDialogHook({[&](const std::string& text, const std::string&) { message = text; },
                 [](bool, const FileDialogRequest&) -> std::optional<std::string> {
                   return std::string("/nonexistent-dir/x.csv");
                 }});
  EXPECT_FALSE(window.exportCsv("/nonexistent-dir/x.csv").isEmpty());
  for (QPushButton* b : window.findChildren<QPushButton*>())
    if (b->text() == "Export CSV...") b->click();
  EXPECT_NE(message.find("/nonexistent-dir/x.csv"), std::string::npos) << message;
}

}  // namespace
}  // namespace orlo::ui
