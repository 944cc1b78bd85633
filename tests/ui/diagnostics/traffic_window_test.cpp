// The Traffic window offscreen, and Diagnostics wired to a fake port and a real receiver:
// rows, counters, filters, pause, eviction, saving.

#include "ui/diagnostics/traffic_window.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <memory>

#include "link/frame_bytes.h"
#include "link/receiver.h"
#include "link/requests.h"
#include "support/fake_serial_control.h"
#include "support/hex.h"
#include "support/ignore_frames.h"
#include "ui/diagnostics/clipped_text_delegate.h"
#include "ui/diagnostics/diagnostics.h"
#include "ui/diagnostics/log_cell_delegate.h"
#include "ui/diagnostics/log_table.h"
#include "ui/diagnostics/tail_scroll_bar.h"
#include "ui/diagnostics/traffic_model.h"
#include "ui/diagnostics/trends_window.h"
#include "ui/diagnostics/wrapped_text.h"
#include "ui/form/dialogs.h"
#include "ui/qt_test_app.h"

namespace orlo::ui {
namespace {

const Bytes kAck = test::hex("AA 55 48 00 00 00 00 00 00 55 AA");

QPushButton* button(QWidget& w, const QString& text) {
  for (QPushButton* b : w.findChildren<QPushButton*>())
    if (b->text() == text) return b;
  ADD_FAILURE() << "no button " << text.toStdString();
  return nullptr;
}

class TrafficWindowTest : public ::testing::Test {
 protected:
  void TearDown() override { setDialogHook({}); }
  void receive(const Bytes& frame) {
    log.onFrameAccepted(frame.data(), frame.size());
    log.onFrameDispatched(frame.data(), frame.size());
  }
  QString cell(int row, int column) {
    return window.model().data(window.model().index(row, column), Qt::DisplayRole).toString();
  }

  QApplication& app = test::qtApp();  // before any widget
  std::int64_t now = 0;
  TrafficLog log{[this] { return now; }, 5};
  TrafficWindow window{log};
};

TEST_F(TrafficWindowTest, ShowsEachFrameAsARowAndTheCountersOnTop) {
  window.show();
  log.onFrameSent(pollRequest(), true);
  now = 37;
  receive(kAck);
  window.refresh();
  EXPECT_EQ(window.windowTitle(), "Traffic");
  ASSERT_EQ(window.model().rowCount(), 2);
  EXPECT_EQ(cell(1, TrafficModel::Time), "37");
  EXPECT_EQ(cell(1, TrafficModel::Direction), "received");
  EXPECT_EQ(cell(1, TrafficModel::Command), "Set acknowledge");
  EXPECT_EQ(cell(1, TrafficModel::Length), "11");
  EXPECT_EQ(cell(1, TrafficModel::Hex), "AA 55 48 00 00 00 00 00 00 55 AA");
  EXPECT_EQ(cell(1, TrafficModel::VerdictColumn), "dispatched");
  EXPECT_TRUE(window.countersLine().startsWith("Sent: 1   Received: 1   Dispatched: 1"))
      << window.countersLine().toStdString();
}

TEST_F(TrafficWindowTest, OldRowsLeaveTheTableAsTheLogDropsThem) {
  for (int i = 0; i < 3; ++i) log.onFrameSent(pollRequest(), true);
  window.refresh();
  for (int i = 3; i < 8; ++i) {
    now = i;
    log.onFrameSent(pollRequest(), true);
  }
  window.refresh();
  ASSERT_EQ(window.model().rowCount(), 5);
  EXPECT_EQ(cell(0, TrafficModel::Time), "3");
  EXPECT_EQ(cell(4, TrafficModel::Time), "7");
}

// Counts the pixels a widget is asked to paint.
struct PaintedArea : QObject {
  qint64 pixels = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint)
      for (const QRect& r : static_cast<QPaintEvent*>(event)->region())
        pixels += qint64(r.width()) * r.height();
    return false;
  }
};

TEST_F(TrafficWindowTest, NewRowsPaintOnlyTheirOwnStripAndTheViewKeepsFollowingPastTheBound) {
  TrafficLog big{[this] { return now; }, 60};
  TrafficWindow shown{big};
  shown.resize(900, 400);
  shown.show();
  auto* table = shown.findChild<QTableView*>();
  ASSERT_NE(table, nullptr);
  const int rowHeight = table->verticalHeader()->defaultSectionSize();
  // A last page that does not end on a row boundary: the bottom row aligns with the bottom edge.
  QCoreApplication::processEvents();
  shown.resize(900, 400 + rowHeight + rowHeight / 2 - table->viewport()->height() % rowHeight);
  QCoreApplication::processEvents();
  // What the moved and partly painted screen holds is what a full paint draws.
  const auto screenMatchesAFullPaint = [&](QWidget* view) {
    const QPoint at = view->mapTo(&shown, QPoint(0, 0));
    const QImage screen =
        shown.screen()->grabWindow(shown.winId(), at.x(), at.y(), view->width(), view->height()).toImage();
    return screen.convertToFormat(QImage::Format_RGB32) ==
           view->grab().toImage().convertToFormat(QImage::Format_RGB32);
  };
  PaintedArea painted;
  table->viewport()->installEventFilter(&painted);
  const qint64 wholeView = qint64(table->viewport()->width()) * table->viewport()->height();
  for (int poll = 0; poll < 50; ++poll) {  // past the bound of 60 rows, two rows a poll
    now = poll * 1000;
    big.onFrameSent(pollRequest(), true);
    big.onFrameAccepted(kAck.data(), kAck.size());
    big.onFrameDispatched(kAck.data(), kAck.size());
    painted.pixels = 0;
    shown.refresh();
    QCoreApplication::processEvents();
    if (poll > 20) {
      EXPECT_LE(painted.pixels, qint64(table->viewport()->width()) * rowHeight * 3)
          << "poll " << poll << " repainted " << painted.pixels << " of " << wholeView;
    }
    if (poll == 25) {
      EXPECT_TRUE(screenMatchesAFullPaint(table->viewport())) << "before the bound";
    }
  }
  EXPECT_EQ(shown.model().rowCount(), 60);
  EXPECT_EQ(table->verticalScrollBar()->value(), table->verticalScrollBar()->maximum());
  EXPECT_EQ(table->rowAt(table->viewport()->height() - 1 - rowHeight / 2), 59)
      << "the newest row is at the bottom";
  EXPECT_TRUE(screenMatchesAFullPaint(table->viewport())) << "after the bound";
}

TEST(TailScrollBar, RepaintsOnlyWhereTheSliderMovedAndShowsWhatAFullPaintDraws) {
  test::qtApp();
  QWidget window;
  window.resize(40, 400);
  auto* bar = new TailScrollBar(&window);
  bar->setGeometry(10, 0, 16, 400);
  bar->setPageStep(20);
  window.show();
  QCoreApplication::processEvents();
  PaintedArea painted;
  bar->installEventFilter(&painted);
  for (int rows = 30; rows < 300; rows += 9) {  // a growing table whose view follows its end
    painted.pixels = 0;
    bar->holdChanges();
    bar->setRange(0, rows - 20);
    bar->setValue(bar->maximum());
    bar->releaseChanges();
    QCoreApplication::processEvents();
    if (rows > 30) {
      EXPECT_LT(painted.pixels, bar->width() * bar->height() / 4) << rows << " rows";
    }
    const QImage screen = window.screen()->grabWindow(window.winId(), 10, 0, 16, 400).toImage();
    EXPECT_EQ(screen.convertToFormat(QImage::Format_RGB32),
              bar->grab().toImage().convertToFormat(QImage::Format_RGB32))
        << rows << " rows";
  }
}

TEST_F(TrafficWindowTest, FilterBoxesNarrowTheRows) {
  log.onFrameSent(pollRequest(), true);
  receive(kAck);
  Bytes noise = test::hex("01 02");
  log.onDropped(DropReason::BytesBeforeHead, noise.data(), noise.size());
  window.refresh();
  struct Case {
    int direction, verdict;
    const char* command;
    int rows;
  } cases[] = {{0, 0, "All commands", 3}, {1, 0, "All commands", 1},    {2, 0, "All commands", 2},
               {0, 3, "All commands", 1}, {0, 0, "Set acknowledge", 1}, {1, 0, "Set acknowledge", 0}};
  for (const auto& c : cases) {
    window.directionBox()->setCurrentIndex(c.direction);
    window.verdictBox()->setCurrentIndex(c.verdict);
    window.commandBox()->setCurrentText(c.command);
    EXPECT_EQ(window.model().rowCount(), c.rows) << c.direction << " " << c.verdict << " " << c.command;
  }
  log.onFrameSent(pollRequest(), true);
  window.refresh();
  EXPECT_EQ(window.model().rowCount(), 0) << "a new row that fails the filter stays out";
}

TEST_F(TrafficWindowTest, PauseButtonStopsNewRowsAndResumesThem) {
  QPushButton* pause = button(window, "Pause");
  ASSERT_NE(pause, nullptr);
  pause->click();
  EXPECT_EQ(pause->text(), "Resume");
  log.onFrameSent(pollRequest(), true);
  window.refresh();
  EXPECT_EQ(window.model().rowCount(), 0);
  EXPECT_TRUE(window.countersLine().startsWith("Sent: 1"));
  pause->click();
  log.onFrameSent(pollRequest(), true);
  window.refresh();
  EXPECT_EQ(window.model().rowCount(), 1);
}

TEST_F(TrafficWindowTest, SaveWritesTheFilteredRowsAsText) {
  QTemporaryDir dir;
  log.onFrameSent(pollRequest(), true);
  receive(kAck);
  window.setFilter(TrafficFilter{TrafficDirection::Received, "", TrafficFilter::VerdictClass::Any});
  EXPECT_EQ(window.directionBox()->currentIndex(), 2);
  const QString path = QDir(dir.path()).filePath("traffic.txt");
  setDialogHook({[](const std::string& text, const std::string&) { ADD_FAILURE() << text; },
                 [&](bool save, const FileDialogRequest& r) -> std::optional<std::string> {
                   EXPECT_TRUE(save);
                   EXPECT_EQ(r.proposedName, "traffic.txt");
                   return path.toStdString();
                 }});
  button(window, "Save...")->click();
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll().toStdString(),
            "time (ms)\tdirection\tcommand\tlength\tbytes\tverdict\n"
            "0\treceived\tSet acknowledge\t11\tAA 55 48 00 00 00 00 00 00 55 AA\tdispatched\n");
}

TEST_F(TrafficWindowTest, ClearEmptiesTheTableButKeepsTheCounters) {
  log.onFrameSent(pollRequest(), true);
  window.refresh();
  button(window, "Clear")->click();
  EXPECT_EQ(window.model().rowCount(), 0);
  EXPECT_TRUE(window.countersLine().startsWith("Sent: 1"));
  log.onFrameSent(pollRequest(), true);
  window.refresh();
  EXPECT_EQ(window.model().rowCount(), 1);
}

// ---- Diagnostics: the attach API the main window uses ----------------------------------------

TEST(Diagnostics, RecordsWhatTheTapWritesAndWhatTheReceiverJudges) {
  test::qtApp();
  Diagnostics diagnostics;
  test::FakeSerialControl port;
  SerialControl& line = diagnostics.wrap(port);
  Receiver receiver;
  receiver.setObserver(diagnostics.observer());
  test::IgnoreFrames handlers;

  port.setOpen(true);
  EXPECT_TRUE(line.write(pollRequest()));
  EXPECT_EQ(port.written.size(), 1u);
  Bytes live = buildFrame(frame_bytes::kLiveData, 0, 0, Bytes(72, 0));
  Bytes bad = kAck;
  bad[6] = 1;  // checksum no longer matches
  Bytes stream = live;
  stream.insert(stream.end(), bad.begin(), bad.end());
  stream.insert(stream.end(), 120, 0);
  receiver.onBytes(stream.data(), stream.size());
  receiver.frameTick(handlers);

  const TrafficCounters& c = diagnostics.trafficLog().counters();
  EXPECT_EQ(c.framesSent, 1u);
  EXPECT_EQ(c.framesDispatched, 1u);
  EXPECT_EQ(c.drop(DropReason::BadChecksum), 1u);
  EXPECT_EQ(diagnostics.trendBuffer().size(), 1u);

  diagnostics.showTraffic();
  diagnostics.showTrends();
  EXPECT_TRUE(diagnostics.trafficWindow()->isVisible());
  EXPECT_TRUE(diagnostics.trendsWindow()->isVisible());
  EXPECT_EQ(diagnostics.trafficWindow()->model().rowCount(),
            static_cast<int>(diagnostics.trafficLog().rows().size()));

  // The windows take in the next answer in the pass that dispatched it, and follow the clock
  // while nothing comes.
  EXPECT_TRUE(line.write(pollRequest()));
  receiver.onBytes(live.data(), live.size());
  receiver.frameTick(handlers);
  QCoreApplication::processEvents();
  EXPECT_EQ(diagnostics.trafficWindow()->model().rowCount(),
            static_cast<int>(diagnostics.trafficLog().rows().size()));
  auto* age = diagnostics.trafficWindow()->findChild<QLabel*>();
  ASSERT_NE(age, nullptr);
  const QString ageBefore = age->text();
  EXPECT_TRUE(QTest::qWaitFor([&] { return age->text() != ageBefore; }, 2000)) << ageBefore.toStdString();
}

// The bytes column hands the style only part of a long text: every cell must still look as if
// the style had been given all of it (the same characters, cut with "…" at the same place).
TEST(ClippedTextDelegate, PaintsEachWidthAsTheStyleDoesWithTheWholeText) {
  test::qtApp();
  QStandardItemModel model(1, 1);
  QString bytes;
  for (int i = 0; i < 200; ++i)
    bytes += QStringLiteral("%1 ").arg(i * 37 % 256, 2, 16, QLatin1Char('0')).toUpper();
  model.setItem(0, 0, new QStandardItem(bytes.trimmed()));
  QStyledItemDelegate whole;
  ClippedTextDelegate clipped;
  const auto paint = [&](QStyledItemDelegate& delegate, int width, Qt::TextElideMode elide) {
    QImage image(width, 24, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QStyleOptionViewItem option;
    option.rect = image.rect();
    option.fontMetrics = painter.fontMetrics();
    option.textElideMode = elide;
    delegate.paint(&painter, option, model.index(0, 0));
    return image;
  };
  for (Qt::TextElideMode elide : {Qt::ElideRight, Qt::ElideMiddle, Qt::ElideLeft, Qt::ElideNone})
    for (int width : {8, 40, 97, 300, 1200, 5000})
      EXPECT_EQ(paint(clipped, width, elide), paint(whole, width, elide)) << width << " px, elide " << elide;
}

// The Traffic table draws its plain cells and its grid itself: the picture must be the one the
// style and the table's own grid make, for every kind of cell it shows (left and right aligned,
// coloured, empty, a fixed font elided, a selected row left to the style), also scrolled sideways.
TEST(LogCellDelegate, DrawsTheTableAsTheStyleAndTheTableGridDo) {
  test::qtApp();
  QStandardItemModel model(6, 4);
  const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  for (int row = 0; row < 6; ++row) {
    model.setItem(row, 0, new QStandardItem(QString::number(1000 + row * 997)));
    model.item(row, 0)->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    model.setItem(row, 1, new QStandardItem(row % 2 ? QStringLiteral("Received") : QString()));
    model.setItem(row, 2, new QStandardItem(QStringLiteral("AA 55 4D ").repeated(10 + row)));
    model.item(row, 2)->setFont(fixed);
    model.setItem(row, 3, new QStandardItem(QStringLiteral("bad checksum")));
    if (row == 2) model.item(row, 3)->setForeground(QColor(200, 0, 0));
  }
  const auto table = [&](bool ours) {
    auto view = std::make_unique<QTableView>();
    setUpLogTable(view.get(), &model, QStringLiteral("cells"));
    if (ours) LogCellDelegate::setUp(view.get());
    view->setColumnWidth(0, 61);
    view->setColumnWidth(2, 250);
    view->resize(420, 200);
    view->selectRow(4);
    view->show();
    return view;
  };
  auto style = table(false);
  auto ours = table(true);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(ours.get()));
  for (int scrolled : {0, 37}) {
    style->horizontalScrollBar()->setValue(scrolled);
    ours->horizontalScrollBar()->setValue(scrolled);
    EXPECT_EQ(ours->viewport()->grab().toImage(), style->viewport()->grab().toImage()) << scrolled << " px";
  }
}

// The counters grow a line as the text grows: the window must make room for it, not cut it.
TEST(WrappedText, ALongerTextGetsTheHeightItsLinesNeed) {
  test::qtApp();
  QWidget window;
  auto* layout = new QVBoxLayout(&window);
  auto* text = new WrappedText;
  layout->addWidget(text);
  layout->addStretch();
  window.resize(200, 400);
  text->setText(QStringLiteral("sent 1"));
  window.show();
  QCoreApplication::processEvents();
  const int oneLine = text->height();
  text->setText(QString(QStringLiteral("sent 12345, dispatched 12345, bad checksum 3 ")).repeated(4));
  QCoreApplication::processEvents();
  EXPECT_GE(text->height(), text->heightForWidth(text->width()));
  EXPECT_GT(text->height(), 2 * oneLine);
}

}  // namespace
}  // namespace orlo::ui
