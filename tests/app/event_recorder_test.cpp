// The main window keeps watch: every change it sees becomes an event, in order, in memory and
// in a file per day; a lost port is opened again by itself at the link checks, never after the
// user's Stop.

#include "app/event_recorder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "core/snapshot_store.h"
#include "sim/board_model.h"
#include "support/board_defaults.h"
#include "support/fake_form.h"
#include "support/fake_serial_control.h"
#include "support/fixed_clock.h"
#include "support/scratch_files.h"
#include "support/sim_serial_control.h"
#include "support/window_forms.h"
#include "view/main_window_ids.h"

namespace orlo {
namespace {

using namespace main_ids;

std::tm localTime(int year, int month, int day, int hour, int minute, int second, long offsetS = 3600) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  t.tm_gmtoff = offsetS;
  return t;
}

std::vector<std::string> texts(const EventLog& log) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < log.size(); ++i)
    out.push_back(std::string(eventKindName(log.at(i).kind)) + ": " + log.at(i).text);
  return out;
}

class CountingListener : public EventListener {
 public:
  void onAlarmsChanged(const std::vector<std::string>& active, const std::string& raised) override {
    lastActive = active;
    if (!raised.empty()) raised_.push_back(raised);
  }
  void onFileProblem(const std::string& problem) override { problems.push_back(problem); }

  std::vector<std::string> lastActive;
  std::vector<std::string> raised_;
  std::vector<std::string> problems;
};

// ---- through the main window ---------------------------------------------------------------

class KeepWatchTest : public ::testing::Test, protected test::WindowForms {
 protected:
  test::ScratchDir data{"orlo-events"};
  test::FakeSerialControl serial;
  test::FixedClock clock;
  std::unique_ptr<MainWindow> window;

  void SetUp() override {
    clock.now = localTime(2026, 12, 7, 14, 15, 3);
    window = std::make_unique<MainWindow>(form, pages(), serial, clock,
                                          MainWindowOptions{"/nonexistent", "/tmp", data.path()});
    window->setReconnect(true);  // as the application's default
    window->onInitDialog();
  }
  void open() {
    form.setCurrentIndex(MainId::SerialPorts, 0);
    window->onClicked(MainId::StartUp);
  }
  void frame(std::uint32_t alarmFlags, std::uint8_t mos = 19, std::uint8_t mode = 0) {
    LiveData live;
    live.alarmFlags = alarmFlags;
    live.mosStatus = mos;
    live.systemMode = mode;
    serial.feedReceived(encodeLiveData(live));
    window->onTimer(kFrameTimer);
  }
  void linkCheck() { window->onTimer(kLinkTimer); }
  const EventLog& log() { return window->events().log(); }
};

TEST_F(KeepWatchTest, AScriptedRunGivesAlarmMosfetModeLinkAndPortEventsInOrderWithTheLampLabels) {
  CountingListener listener;
  window->events().setListener(&listener);
  linkCheck();  // nothing open yet: no link was ever up, so nothing was lost
  open();
  frame(0);
  linkCheck();
  frame(0b101);        // Cell OV and OV Differ rise
  frame(0b100, 3, 2);  // Cell OV falls; charge MOSFET off; charging
  linkCheck();
  linkCheck();  // silence
  frame(0);
  linkCheck();
  serial.pullPort("the serial device is no longer available");
  linkCheck();
  EXPECT_EQ(texts(log()), (std::vector<std::string>{
                              "Port: COM1 (/dev/fake) opened",
                              "Link: Link up (Comm OK!)",
                              "Alarm: Cell OV on",
                              "Alarm: OV Differ on",
                              "Alarm: Cell OV off",
                              "MOSFET: discharge MOSFET on, charge MOSFET off",
                              "Mode: CHG_MODE (was IDLE_MODE)",
                              "Link: Link lost (Comm FAIL!)",
                              "Alarm: OV Differ off",
                              "MOSFET: discharge MOSFET on, charge MOSFET on",
                              "Mode: IDLE_MODE (was CHG_MODE)",
                              "Link: Link restored (Comm OK!)",
                              "Port: COM1 (/dev/fake) lost: the serial device is no longer available",
                              "Link: Link lost (Comm FAIL!)",
                              "Port: COM1 (/dev/fake) reopened by itself",
                          }));
  EXPECT_EQ(listener.raised_, (std::vector<std::string>{"Cell OV", "OV Differ"}));
  EXPECT_TRUE(listener.lastActive.empty());
  window->events().setListener(nullptr);
}

TEST_F(KeepWatchTest, ALostPortIsTriedAtEachLinkCheckAndOpensAsStartUpWouldWhileAUserStopStaysClosed) {
  open();
  serial.pullPort("device removed");
  EXPECT_EQ(form.text(MainId::DevicePath), "waiting for /dev/fake …");
  serial.nextOpen = OpenResult{false, false, "/dev/fake", "No such file or directory"};
  linkCheck();
  linkCheck();
  // The lost-port look is unchanged while it waits, and no message box is shown per try.
  EXPECT_EQ(form.text(MainId::PortText), "Serial not open!");
  EXPECT_EQ(form.text(MainId::StartUp), "Start Up");
  EXPECT_TRUE(form.isEnabled(MainId::SerialPorts));
  EXPECT_TRUE(form.messages().empty());
  EXPECT_EQ(form.text(MainId::DevicePath), "waiting for /dev/fake …");
  serial.nextOpen = OpenResult{true, false, "/dev/fake", ""};
  linkCheck();
  EXPECT_EQ(serial.openedPorts, (std::vector<int>{1, 1, 1, 1}));
  EXPECT_TRUE(serial.isOpen());
  EXPECT_EQ(form.text(MainId::StartUp), "Stop");
  EXPECT_FALSE(form.isEnabled(MainId::SerialPorts));
  EXPECT_EQ(form.text(MainId::DevicePath), "no device present");  // the fake maps no COMn
  EXPECT_EQ(log().at(log().size() - 1).text, "COM1 (/dev/fake) reopened by itself");

  window->onClicked(MainId::StartUp);  // Stop
  for (int i = 0; i < 3; ++i) linkCheck();
  EXPECT_FALSE(serial.isOpen());
  EXPECT_EQ(serial.openedPorts.size(), 4u);
  EXPECT_EQ(log().at(log().size() - 1).text, "COM1 (/dev/fake) closed by the user");
}

TEST_F(KeepWatchTest, StartUpAnotherPortOrSwitchingItOffEndsTheWait) {
  const auto waitsAfterLoss = [&](auto&& endWait) {
    open();
    serial.pullPort("device removed");
    EXPECT_TRUE(window->reconnect().waiting());
    endWait();
    EXPECT_FALSE(window->reconnect().waiting());
    EXPECT_EQ(form.text(MainId::DevicePath).find("waiting"), std::string::npos)
        << form.text(MainId::DevicePath);
    const std::size_t opens = serial.openedPorts.size();
    if (serial.isOpen()) serial.close();
    linkCheck();
    EXPECT_EQ(serial.openedPorts.size(), opens);
  };
  waitsAfterLoss([&] {
    serial.nextOpen = OpenResult{false, false, "/dev/fake", "busy"};
    window->onClicked(MainId::StartUp);  // its failure is said once, as any Start Up's
    serial.nextOpen = OpenResult{true, false, "/dev/fake", ""};
  });
  waitsAfterLoss([&] {
    form.setCurrentIndex(MainId::SerialPorts, 2);
    window->onSelectionChanged(MainId::SerialPorts);
  });
  waitsAfterLoss([&] { window->setReconnect(false); });
  // Off, a loss does not start a wait at all.
  open();
  serial.pullPort("device removed");
  EXPECT_FALSE(window->reconnect().waiting());
  EXPECT_NE(form.text(MainId::DevicePath).find("lost: device removed"), std::string::npos);
}

// A limit written below the cells: the write is recorded with its outcome, then the board's
// own alarm rises, and the title's list follows the flags.
TEST(KeepWatchOnTheBoardTest, AVerifiedWriteThatLowersCellOvIsFollowedByTheCellOvAlarm) {
  constexpr std::size_t kCellOv = 6;
  sim::BoardModel board;
  test::SimSerialControl line{board, false};
  test::FakeForm form{"main"}, bms{"bms_parameter"}, balance{"balance_test"}, alarm{"alarm_parameter"},
      calibration{"current_calibration"};
  test::FixedClock clock;
  test::ScratchDir data{"orlo-events"};
  MainWindow window(form, PageForms{bms, balance, alarm, calibration}, line, clock,
                    MainWindowOptions{"/nonexistent", "/tmp", data.path()});
  CountingListener listener;
  window.events().setListener(&listener);
  window.onInitDialog();
  window.onClicked(MainId::StartUp);
  int steps = 0;
  const auto runFor = [&](int ms) {
    for (int t = 0; t < ms; t += 100) {
      line.advanceTo(line.nowMs() + 100);
      window.onTimer(kFrameTimer);
      if (++steps % 10 == 0) window.onTimer(kPollTimer);
      if (steps % 20 == 0) window.onTimer(kLinkTimer);
    }
  };
  runFor(3000);
  const AlarmValues values = test::boardValues(board);
  std::vector<std::string> texts = parameterTexts(values);
  texts[kCellOv] = "3000";
  std::optional<ParameterResult> result;
  ASSERT_TRUE(window.writeParameters(texts, [&](const ParameterResult& r) { result = r; }));
  for (int i = 0; i < 200 && !result; ++i) runFor(100);
  ASSERT_TRUE(result);
  runFor(10000);

  std::vector<std::string> seen;
  const EventLog& log = window.events().log();
  for (std::size_t i = 0; i < log.size(); ++i)
    if (log.at(i).kind == EventKind::Write || log.at(i).kind == EventKind::Alarm)
      seen.push_back(log.at(i).text);
  ASSERT_EQ(seen.size(), 2u) << ::testing::PrintToString(seen);
  EXPECT_EQ(seen[0], "Parameter write Cell OV " + std::to_string(values[kCellOv]) + "→3000: Verified");
  EXPECT_EQ(seen[1], "Cell OV on");
  EXPECT_EQ(listener.lastActive, std::vector<std::string>{"Cell OV"});
  window.events().setListener(nullptr);
}

// ---- the day's file ------------------------------------------------------------------------

TEST(DailyEventFileTest, EventsGoToTheFileOfTheirDayAndANewFileStartsAtMidnightWithItsHeader) {
  test::ScratchDir dir("orlo-events");
  test::FixedClock clock;
  EventRecorder recorder(clock, dir.path() + "/Orlo_PC");
  clock.now = localTime(2026, 12, 7, 23, 59, 59);
  recorder.onPortOpened(1, "/dev/ttyUSB0", false);
  recorder.onPortLost(1, "/dev/ttyUSB0", "gone, \"really\"");
  clock.now = localTime(2027, 1, 1, 0, 0, 1, -18000);
  recorder.onPortOpened(1, "/dev/ttyUSB0", true);

  EXPECT_EQ(test::readFile(dir.path() + "/Orlo_PC/events-2026-12-07.csv"),
            "time,kind,event\r\n"
            "2026-12-07T23:59:59+01:00,Port,COM1 (/dev/ttyUSB0) opened\r\n"
            "2026-12-07T23:59:59+01:00,Port,\"COM1 (/dev/ttyUSB0) lost: gone, \"\"really\"\"\"\r\n");
  EXPECT_EQ(test::readFile(dir.path() + "/Orlo_PC/events-2027-01-01.csv"),
            "time,kind,event\r\n"
            "2027-01-01T00:00:01-05:00,Port,COM1 (/dev/ttyUSB0) reopened by itself\r\n");
  EXPECT_EQ(recorder.todaysFile(), dir.path() + "/Orlo_PC/events-2027-01-01.csv");
  EXPECT_EQ(recorder.log().size(), 3u);
}

TEST(DailyEventFileTest, AFolderThatCannotBeMadeIsReportedOnceAndTheEventsStayInMemory) {
  test::ScratchDir dir("orlo-events");
  test::writeFile(dir.file("plain"), "not a folder");
  test::FixedClock clock;
  clock.now = localTime(2026, 12, 7, 3, 0, 0);
  CountingListener listener;
  EventRecorder recorder(clock, dir.file("plain") + "/Orlo_PC");
  recorder.setListener(&listener);
  for (int i = 0; i < 50; ++i) recorder.onLinkVerdict(i % 2 == 0);
  ASSERT_EQ(listener.problems.size(), 1u);
  EXPECT_NE(listener.problems[0].find(dir.file("plain")), std::string::npos) << listener.problems[0];
  EXPECT_EQ(recorder.fileProblem(), listener.problems[0]);
  EXPECT_EQ(recorder.log().size(), 50u);

  // Once the folder can be made again the file takes the next event and the problem is over.
  ASSERT_EQ(std::remove(dir.file("plain").c_str()), 0);
  recorder.onLinkVerdict(true);
  EXPECT_TRUE(recorder.fileProblem().empty());
  EXPECT_EQ(test::readFile(dir.file("plain") + "/Orlo_PC/events-2026-12-07.csv"),
            "time,kind,event\r\n2026-12-07T03:00:00+01:00,Link,Link restored (Comm OK!)\r\n");
}

// ---- memory and title ----------------------------------------------------------------------

TEST(AlarmTitleTest, NamesEverySetFlagAfterTheCaptionAndNothingWhenNoneIsSet) {
  EXPECT_EQ(alarmWindowTitle("Orlo_PC", {}), "Orlo_PC");
  EXPECT_EQ(alarmWindowTitle("Orlo_PC", {"Cell OV"}), "Orlo_PC — alarm: Cell OV");
  EXPECT_EQ(alarmWindowTitle("Orlo_PC", {"Cell OV", "SOC Low"}), "Orlo_PC — alarm: Cell OV, SOC Low");
}

}  // namespace
}  // namespace orlo
