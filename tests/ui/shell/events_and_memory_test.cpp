// The window left alone: the Events window lists, filters and exports what the recorder saw,
// the title names the alarms that are set, and the next start puts the windows back where they
// were while the main window's own controls start as they always do.

#include "ui/shell/events_and_memory.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>

#include "support/fixed_clock.h"
#include "support/scratch_files.h"
#include "ui/diagnostics/diagnostics.h"
#include "ui/diagnostics/events_window.h"
#include "ui/diagnostics/traffic_window.h"
#include "ui/diagnostics/trends_window.h"
#include "ui/form/dialogs.h"
#include "ui/qt_test_app.h"
#include "ui/shell/main_window_shell.h"
#include "ui/shell/window_memory.h"
#include "view/main_window_ids.h"

namespace orlo::ui {
namespace {

LiveData withAlarms(std::uint32_t flags) {
  LiveData live;
  live.alarmFlags = flags;
  live.mosStatus = 19;
  return live;
}

class EventsAndMemoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::qtApp();
    setDialogHook({[this](const std::string& text, const std::string&) { messages.push_back(text); }, {}});
  }
  void TearDown() override {
    app.reset();
    setDialogHook({});
  }
  void start(bool reconnect = true) {
    MainWindowShellOptions options;
    options.ports[1] = "/nonexistent/orlo-test-port";
    options.dataFolder = dir.filePath("data").toStdString();
    options.settingsFile = settingsFile();
    options.reconnect = reconnect;
    options.availableArea = QRect(0, 0, 1920, 1080);
    auto created = MainWindowShell::create(options);
    ASSERT_TRUE(created.ok()) << created.error();
    app = std::move(created).value();
    app->window()->show();
    QTest::qWait(50);  // the windows of the last run come back once the loop runs
  }
  std::string settingsFile() const { return dir.filePath("config/Orlo_PC.conf").toStdString(); }
  QString title() const { return app->window()->windowTitle(); }
  EventRecorder& events() { return app->behaviour().events(); }

  QTemporaryDir dir;
  std::unique_ptr<MainWindowShell> app;
  std::vector<std::string> messages;
};

TEST_F(EventsAndMemoryTest, TheEventsWindowListsFiltersAndExportsWhatHappenedAndTheTitleNamesTheSetAlarms) {
  start();
  const QString caption = title();
  events().onLiveData(withAlarms(0));
  events().onLiveData(withAlarms(0b1 | 0b100000000000));  // Cell OV, SOC Low
  EXPECT_EQ(title(), caption + " — alarm: Cell OV, SOC Low");
  app->eventsAndMemory().showEvents();
  EventsWindow* window = app->eventsAndMemory().eventsWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
  events().onLiveData(withAlarms(0b100000000000));
  events().onPortLost(1, "/dev/ttyUSB0", "the serial device is no longer available");
  EXPECT_EQ(title(), caption + " — alarm: SOC Low");
  events().onLiveData(withAlarms(0));
  EXPECT_EQ(title(), caption);

  ASSERT_EQ(window->shownRows(), 5);
  EXPECT_EQ(window->shownText(0, 2), "Cell OV on");
  EXPECT_EQ(window->shownText(3, 1), "Port");
  EXPECT_EQ(window->shownText(4, 2), "SOC Low off");
  window->setKindFilter(EventKind::Alarm);
  EXPECT_EQ(window->shownRows(), 4);
  window->setKindFilter(EventKind::Port);
  ASSERT_EQ(window->shownRows(), 1);
  const QString exported = dir.filePath("events.csv");
  EXPECT_EQ(window->exportTo(exported), "");
  const std::string csv = test::readFile(exported.toStdString());
  EXPECT_EQ(csv.rfind("time,kind,event\r\n20", 0), 0u) << csv;
  EXPECT_NE(csv.find(",Port,COM1 (/dev/ttyUSB0) lost: the serial device is no longer available\r\n"),
            std::string::npos)
      << csv;
  EXPECT_EQ(csv.find("Alarm"), std::string::npos) << csv;
  EXPECT_NE(window->statusText().indexOf("events-"), -1) << window->statusText().toStdString();
}

TEST_F(EventsAndMemoryTest, TheRowsFollowABoundedLogThatLetsItsOldestGo) {
  test::FixedClock clock;
  EventRecorder recorder(clock, "", 4);
  EventsWindow window(recorder);
  struct Forward : EventListener {
    EventsWindow* w;
    void onEvent(const LoggedEvent& e) override { w->append(e); }
  } forward;
  forward.w = &window;
  recorder.setListener(&forward);
  for (int i = 1; i <= 7; ++i) recorder.onPortOpened(i, "", false);
  ASSERT_EQ(window.shownRows(), 4);
  EXPECT_EQ(window.shownText(0, 2), "COM4 opened");
  EXPECT_EQ(window.shownText(3, 2), "COM7 opened");
}

TEST_F(EventsAndMemoryTest, TheNextStartReopensTheWindowsThatWereOpenAndKeepsTheControlsAsSpecified) {
  start();
  QAction* reconnect = app->eventsAndMemory().reconnectAction();
  ASSERT_NE(reconnect, nullptr);
  EXPECT_TRUE(reconnect->isChecked());
  EXPECT_EQ(reconnect->text(), "Reconnect Automatically");
  reconnect->trigger();  // the user's choice: off
  EXPECT_FALSE(app->behaviour().reconnect().enabled());
  app->eventsAndMemory().showEvents();
  app->diagnostics().showTrends();
  app->diagnostics().showTraffic();
  app->window()->move(140, 90);
  QTest::qWait(50);
  // Traffic closed by the user, the others left open when the program ends.
  app->diagnostics().trafficWindow()->close();
  QTest::qWait(20);
  EXPECT_FALSE(app->diagnostics().trafficWindow()->isVisible());
  app->mainForm().setCurrentIndex(idNumber(MainId::SerialPorts), 4);
  app.reset();

  start();
  EXPECT_EQ(app->window()->pos(), QPoint(140, 90));
  ASSERT_NE(app->eventsAndMemory().eventsWindow(), nullptr);
  EXPECT_TRUE(app->eventsAndMemory().eventsWindow()->isVisible());
  EXPECT_TRUE(app->diagnostics().trendsWindow()->isVisible());
  EXPECT_FALSE(app->diagnostics().trafficWindow()->isVisible());
  EXPECT_FALSE(app->eventsAndMemory().reconnectAction()->isChecked());
  EXPECT_FALSE(app->behaviour().reconnect().enabled());
  EXPECT_EQ(app->mainForm().currentIndex(idNumber(MainId::SerialPorts)), 0);
  EXPECT_EQ(app->mainForm().text(idNumber(MainId::LogPath)), "");
  app.reset();

  // --no-reconnect is for one run: it is not what the next run remembers.
  WindowMemory(QString::fromStdString(settingsFile())).setReconnect(true);
  start(false);
  EXPECT_FALSE(app->behaviour().reconnect().enabled());
  app.reset();
  EXPECT_TRUE(WindowMemory(QString::fromStdString(settingsFile())).reconnect());
}

}  // namespace
}  // namespace orlo::ui
