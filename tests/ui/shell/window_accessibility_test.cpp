// Every window a user can open, walked as a screen reader walks it, through Qt's accessibility
// interface: each control that takes the keyboard focus has a name, each table's column headers
// have captions and a row reads as one sentence holding every cell. Then the keyboard: Escape
// closes each window, and Enter on a table row does what a double click does, nothing more.
// A new window joins with a row in kWindows.

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAccessible>
#include <QMainWindow>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <ctime>
#include <functional>

#include "link/requests.h"
#include "ui/diagnostics/diagnostics.h"
#include "ui/diagnostics/events_window.h"
#include "ui/diagnostics/traffic_window.h"
#include "ui/diagnostics/trends_window.h"
#include "ui/form/dialogs.h"
#include "ui/parameters/parameters_menu.h"
#include "ui/parameters/review_dialog.h"
#include "ui/parameters/snapshots_dialog.h"
#include "ui/qt_test_app.h"
#include "ui/shell/about_box.h"
#include "ui/shell/events_and_memory.h"
#include "ui/shell/main_window_shell.h"

namespace orlo::ui {
namespace {

AlarmValues board() {
  AlarmValues values{};
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = static_cast<std::int64_t>(i) + 10;
  return values;
}

ReviewDialog* newReview(QWidget* parent, ReviewDialog::Purpose purpose) {
  std::vector<std::string> texts = parameterTexts(board());
  texts[6] = "3000";
  texts[9] = "abc";  // refused
  return new ReviewDialog(reviewParameters(board(), texts), board(), purpose, QStringLiteral("test"), parent);
}

class WindowAccessibilityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::qtApp();
    setDialogHook({[](const std::string&, const std::string&) {}, {}});
    MainWindowShellOptions options;
    options.ports[1] = "/nonexistent/orlo-test-port";
    options.dataFolder = dir.filePath("data").toStdString();
    options.availableArea = QRect(0, 0, 1920, 1080);
    auto created = MainWindowShell::create(options);
    ASSERT_TRUE(created.ok()) << created.error();
    app = std::move(created).value();
    app->window()->show();
  }
  void TearDown() override {
    owned.reset();  // a child of the main window
    app.reset();
    setDialogHook({});
  }

 public:  // for the window factories below
  QTemporaryDir dir;
  std::unique_ptr<MainWindowShell> app;
  std::unique_ptr<QWidget> owned;  // a window the test made itself
};

struct WindowCase {
  const char* name;
  std::function<QWidget*(WindowAccessibilityTest&, MainWindowShell&)> open;
};

// Every window, opened with rows in its tables.
const WindowCase kWindows[] = {
    {"main window", [](auto&, MainWindowShell& app) { return app.window(); }},
    {"About",
     [](WindowAccessibilityTest& test, MainWindowShell& app) {
       auto box = AboutBox::create(app.window());
       EXPECT_TRUE(box.ok()) << box.error();
       if (box) test.owned = std::move(box).value();
       return test.owned.get();
     }},
    {"Trends",
     [](auto&, MainWindowShell& app) {
       app.diagnostics().showTrends();
       return static_cast<QWidget*>(app.diagnostics().trendsWindow());
     }},
    {"Traffic",
     [](auto&, MainWindowShell& app) {
       app.diagnostics().trafficLog().onFrameSent(pollRequest(), true);
       app.diagnostics().showTraffic();
       return static_cast<QWidget*>(app.diagnostics().trafficWindow());
     }},
    {"Events",
     [](auto&, MainWindowShell& app) {
       LiveData live;
       live.alarmFlags = 1;  // Cell OV
       app.behaviour().events().onLiveData(live);
       app.eventsAndMemory().showEvents();
       return static_cast<QWidget*>(app.eventsAndMemory().eventsWindow());
     }},
    {"Snapshots",
     [](auto&, MainWindowShell& app) {
       std::tm time{};
       time.tm_year = 126;
       time.tm_mday = 7;
       const auto saved = app.behaviour().parameterWorkflow().snapshots().save(board(), "ttyUSB0", time);
       EXPECT_TRUE(saved.ok()) << saved.error();
       app.parametersMenu().showSnapshots();
       return static_cast<QWidget*>(app.parametersMenu().snapshotsDialog());
     }},
    {"Write with Review",
     [](WindowAccessibilityTest& test, MainWindowShell& app) {
       test.owned.reset(newReview(app.window(), ReviewDialog::Purpose::Write));
       return test.owned.get();
     }},
    {"Compare with Board",
     [](WindowAccessibilityTest& test, MainWindowShell& app) {
       test.owned.reset(newReview(app.window(), ReviewDialog::Purpose::Compare));
       return test.owned.get();
     }},
};

std::string named(const QAccessibleInterface* face) {
  return face ? face->text(QAccessible::Name).trimmed().toStdString() : std::string();
}

std::string where(const QWidget* w) {
  std::string path = w->metaObject()->className();
  for (const QWidget* p = w->parentWidget(); p && !p->isWindow(); p = p->parentWidget())
    if (!p->accessibleName().isEmpty()) return path + " in \"" + p->accessibleName().toStdString() + "\"";
  return path;
}

// The headers and the first row of a table, as a screen reader gets them.
void checkTable(QAccessibleInterface* face, const QAbstractItemView& view, const std::string& window) {
  QAccessibleTableInterface* table = face->tableInterface();
  ASSERT_NE(table, nullptr) << window;
  ASSERT_GT(table->rowCount(), 0) << window << ": the test gave its table no rows";
  QAccessibleInterface* first = table->cellAt(0, 0);
  ASSERT_NE(first, nullptr) << window;
  const std::string sentence = named(first);
  for (int column = 0; column < table->columnCount(); ++column) {
    QAccessibleInterface* cell = table->cellAt(0, column);
    ASSERT_NE(cell, nullptr) << window;
    for (QAccessibleInterface* header : cell->tableCellInterface()->columnHeaderCells())
      EXPECT_FALSE(named(header).empty()) << window << ": column " << column << " has no header caption";
    EXPECT_EQ(named(cell), sentence) << window << ": column " << column << " reads apart from its row";
    const QString shown = view.model()->index(0, column).data().toString();
    EXPECT_NE(sentence.find(shown.toStdString()), std::string::npos)
        << window << ": the row's sentence \"" << sentence << "\" leaves out \"" << shown.toStdString()
        << "\"";
  }
}

TEST_F(WindowAccessibilityTest,
       everyFocusableControlOfEveryWindowHasANameAndEveryTableRowReadsAsOneSentence) {
  for (const WindowCase& window : kWindows) {
    QWidget* shown = window.open(*this, *app);
    ASSERT_NE(shown, nullptr) << window.name;
    shown->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(shown)) << window.name;
    int focusable = 0;
    QList<QWidget*> widgets = shown->findChildren<QWidget*>();
    widgets.prepend(shown);
    for (QWidget* w : widgets) {
      // A widget with a focus proxy hands its focus on; the proxy is the one read.
      if (!w->isVisibleTo(shown) || !(w->focusPolicy() & Qt::TabFocus) || w->focusProxy() ||
          w->window() != shown)
        continue;
      ++focusable;
      QAccessibleInterface* face = QAccessible::queryAccessibleInterface(w);
      EXPECT_FALSE(named(face).empty()) << window.name << ": a " << where(w) << " has no name";
      // A combo box's list of choices and the box typed into are read on their own.
      for (int i = 0; face && i < face->childCount(); ++i) {
        const QAccessibleInterface* part = face->child(i);
        if (part && (part->role() == QAccessible::EditableText || part->role() == QAccessible::List)) {
          EXPECT_FALSE(named(part).empty())
              << window.name << ": the list or editor of a " << where(w) << " has no name";
        }
      }
      if (auto* view = qobject_cast<QAbstractItemView*>(w); view && face)
        checkTable(face, *view, window.name);
    }
    EXPECT_GT(focusable, 0) << window.name;
    if (shown != app->window()) shown->close();
  }
}

// The main window's own Escape is in main_window_shell_test; it stays open here as the parent.
TEST_F(WindowAccessibilityTest, escapeClosesEveryOtherWindow) {
  for (const WindowCase& window : kWindows) {
    QWidget* shown = window.open(*this, *app);
    if (shown == app->window()) continue;
    shown->show();
    QApplication::setActiveWindow(shown);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(shown)) << window.name;
    QWidget* target = shown->focusWidget() ? shown->focusWidget() : shown;
    QTest::keyClick(target, Qt::Key_Escape);
    EXPECT_FALSE(shown->isVisible()) << window.name << " stays open on Escape";
  }
}

// Enter on a review row must not press Confirm, the dialog's first button: that would write.
TEST_F(WindowAccessibilityTest, enterOnARowDoesWhatADoubleClickDoesAndNeverConfirmsAWrite) {
  std::vector<std::string> texts = parameterTexts(board());
  texts[6] = "3000";
  auto review =
      std::make_unique<ReviewDialog>(reviewParameters(board(), texts), board(), ReviewDialog::Purpose::Write,
                                     QStringLiteral("test"), app->window());
  ASSERT_TRUE(review->confirmButton()->isEnabled());
  QSignalSpy confirmed(review.get(), &ReviewDialog::confirmed);
  review->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(review.get()));
  review->table()->setFocus();
  review->table()->setCurrentCell(0, 0);
  QTest::keyClick(review->table(), Qt::Key_Return);
  QTest::keyClick(review->table(), Qt::Key_Enter);
  EXPECT_EQ(confirmed.count(), 0);
  EXPECT_TRUE(review->isVisible());

  // A snapshot chosen with Enter is compared with the board, as a double click compares it.
  std::tm time{};
  time.tm_year = 126;
  for (const char* port : {"ttyUSB0", "ttyUSB1"}) {
    const auto saved = app->behaviour().parameterWorkflow().snapshots().save(board(), port, time);
    ASSERT_TRUE(saved.ok()) << saved.error();
  }
  SnapshotsDialog snapshots(app->behaviour().parameterWorkflow().snapshots(), nullptr);
  QSignalSpy compare(&snapshots, &SnapshotsDialog::compareRequested);
  snapshots.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&snapshots));
  snapshots.table()->setFocus();
  snapshots.table()->setCurrentCell(1, 0);
  QTest::keyClick(snapshots.table(), Qt::Key_Return);
  ASSERT_EQ(compare.count(), 1);
  EXPECT_EQ(compare.at(0).at(0).toString(), snapshots.table()->item(1, 0)->data(Qt::UserRole).toString());
  EXPECT_TRUE(snapshots.isVisible());
}

}  // namespace
}  // namespace orlo::ui
