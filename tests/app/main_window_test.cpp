#include "app/main_window.h"

#include <gtest/gtest.h>

#include <sstream>
#include <tuple>

#include "link/requests.h"
#include "support/fake_form.h"
#include "support/fake_serial_control.h"
#include "support/fixed_clock.h"
#include "support/frame_image.h"
#include "support/hex.h"
#include "support/scratch_files.h"
#include "support/window_forms.h"
#include "view/balance_test_ids.h"
#include "view/bms_parameter_ids.h"
#include "view/main_window_ids.h"

namespace orlo {
namespace {

using namespace main_ids;

using test::FrameImage;

class MainWindowTest : public ::testing::Test, protected test::WindowForms {
 protected:
  test::FakeSerialControl serial;
  test::FixedClock clock;
  test::ScratchDir dataDir{"orlo-main-window-data"};
  std::unique_ptr<MainWindow> window;

  void SetUp() override { window = makeWindow(); }

  std::unique_ptr<MainWindow> makeWindow() {
    return std::make_unique<MainWindow>(form, pages(), serial, clock,
                                        MainWindowOptions{"/nonexistent", "/tmp", dataDir.path()});
  }
  void start() { window->onInitDialog(); }
  void open(int index = 0) {
    form.setCurrentIndex(MainId::SerialPorts, index);
    window->onClicked(MainId::StartUp);
  }
  // Receives a frame through the port and lets the frame tick dispatch it.
  void receive(const FrameImage& f) {
    serial.feedReceived(f.frame());
    window->onTimer(kFrameTimer);
  }
  void linkCheck() { window->onTimer(kLinkTimer); }
  std::pair<Icon, Icon> mosLamps() const { return {form.icon(MainId::DisLamp), form.icon(MainId::ChgLamp)}; }
};

// ---- start-up ------------------------------------------------------------------------------

TEST_F(MainWindowTest, StartsWithZeroedDisabledHeaderRedLampsFilledBoxesAndItsTimers) {
  start();
  for (auto id : kHeaderFields) {
    EXPECT_EQ(form.text(id), "0") << id;
    EXPECT_FALSE(form.isEnabled(id)) << id;
  }
  EXPECT_EQ(mosLamps(), std::make_pair(Icon::Red, Icon::Red));
  const auto ports = form.items(MainId::SerialPorts);
  ASSERT_EQ(ports.size(), 16u);
  EXPECT_EQ(ports.front(), "COM1");
  EXPECT_EQ(ports.back(), "COM16");
  EXPECT_EQ(form.currentIndex(MainId::SerialPorts), 0);
  const std::pair<MainId, const char*> settings[] = {{MainId::BaudRate, "38400"},
                                                     {MainId::DataSize, "8"},
                                                     {MainId::StopBits, "1"},
                                                     {MainId::Parity, "None"}};
  for (const auto& [id, item] : settings) {
    EXPECT_EQ(form.items(id), std::vector<std::string>{item}) << id;
    EXPECT_EQ(form.currentIndex(id), 0) << id;
  }
  EXPECT_EQ(form.text(MainId::StartUp), "Start Up");
  // The clock ticks with the frame tick that shows the answer to the poll on the full second.
  const std::tuple<int, int, int> timers[] = {{kClockTimer, 1000, 100},
                                              {kFrameTimer, 100, 0},
                                              {kPollTimer, 1000, 0},
                                              {kLinkTimer, 2000, 0},
                                              {kLogTimer, 0, -1}};
  for (const auto& [id, period, beat] : timers) {
    EXPECT_EQ(form.timerPeriod(id), period) << "timer " << id;
    EXPECT_EQ(form.timerBeatOffset(id), beat) << "timer " << id;
  }
  EXPECT_EQ(form.text(MainId::PortText), "");
  EXPECT_EQ(form.text(MainId::LinkText), "");
  EXPECT_TRUE(form.messages().empty());
}

TEST_F(MainWindowTest, StartUpSetsUpEveryPage) {
  start();
  EXPECT_EQ(bmsForm.icon(bms_ids::kAlarmLamps[0]), Icon::Red);
  EXPECT_EQ(bmsForm.text(BmsId::SystemMode), "0");
  EXPECT_FALSE(bmsForm.isEnabled(BmsId::SystemMode));
  EXPECT_EQ(balanceForm.text(BalanceId::ThresholdVoltage), "--");
  EXPECT_EQ(balanceForm.timerPeriod(8), 2000);
  EXPECT_EQ(alarmForm.timerPeriod(6), 2000);
  EXPECT_EQ(calibrationForm.timerPeriod(7), 2000);
}

TEST_F(MainWindowTest, APortAlreadyOpenAtStartUpIsReportedAndTheBoxesStayEmpty) {
  serial.setOpen(true);
  start();
  ASSERT_EQ(form.messages().size(), 1u);
  EXPECT_EQ(form.messages()[0].text, "Serial already open!");
  EXPECT_TRUE(form.items(MainId::SerialPorts).empty());
  EXPECT_TRUE(form.items(MainId::BaudRate).empty());
  EXPECT_EQ(form.timerPeriod(kLinkTimer), 2000);
}

// ---- header readout ------------------------------------------------------------------------

TEST_F(MainWindowTest, HeaderShowsCurrentNegatedAfterScalingSoNoLoadReadsMinusZero) {
  start();
  struct Case {
    std::int32_t raw;
    const char* header;
    const char* page;
  } cases[] = {
      {0, "-0.000000", "0.000000"},
      {1500, "-1.500000", "-1.500000"},
      {-2000, "2.000000", "2.000000"},
  };
  for (const auto& c : cases) {
    receive(FrameImage().u32(30, static_cast<std::uint32_t>(c.raw)));
    EXPECT_EQ(form.text(MainId::Current), c.header) << c.raw;
    EXPECT_EQ(bmsForm.text(BmsId::Current), c.page) << c.raw;
  }
}

TEST_F(MainWindowTest, HeaderFillWritesEachSourcedFieldIntoItsDisabledBox) {
  start();
  receive(FrameImage()
              .u16(10, 3301)
              .u16(12, 3302)
              .u16(14, 3303)
              .u16(16, 3304)
              .u16(18, 0xFFFB)
              .u16(20, 30)
              .u32(22, 300)
              .u32(26, 13210)
              .u32(44, static_cast<std::uint32_t>(-5))
              .u16(75, 0x8001));
  const std::pair<MainId, const char*> expected[] = {
      {MainId::CellV1, "3301"},    {MainId::CellV2, "3302"},    {MainId::CellV3, "3303"},
      {MainId::CellV4, "3304"},    {MainId::TempC1, "-5.0"},    {MainId::TempC2, "30.0"},
      {MainId::Soc, "300"},        {MainId::TotalVal, "13210"}, {MainId::BusVolt, "-5"},
      {MainId::BalanVal, "32769"}, {MainId::ErrorVal, "0"},     {MainId::CellV16, "0"},
  };
  for (const auto& [id, text] : expected) EXPECT_EQ(form.text(id), text) << id;
  EXPECT_FALSE(form.isEnabled(MainId::CellV1));
}

TEST_F(MainWindowTest, MosLampsFollowTheTableAndOtherCodesLeaveThemAlone) {
  start();
  struct Step {
    std::uint8_t status;
    Icon dis;
    Icon chg;
  } steps[] = {
      {3, Icon::Green, Icon::Red},  {4, Icon::Green, Icon::Red},    {18, Icon::Red, Icon::Green},
      {0, Icon::Red, Icon::Green},  {19, Icon::Green, Icon::Green}, {2, Icon::Red, Icon::Red},
      {0xFF, Icon::Red, Icon::Red},
  };
  for (const auto& s : steps) {
    receive(FrameImage().u8(70, s.status));
    EXPECT_EQ(mosLamps(), std::make_pair(s.dis, s.chg)) << int(s.status);
  }
}

TEST_F(MainWindowTest, AFrameWithAnUnknownCommandFillsOnlyTheHeader) {
  start();
  receive(FrameImage(0x33).u16(10, 3456).u8(70, 19));
  EXPECT_EQ(form.text(MainId::CellV1), "3456");
  EXPECT_EQ(mosLamps(), std::make_pair(Icon::Green, Icon::Green));
  EXPECT_EQ(bmsForm.text(BmsId::CellV1), "0");
}

// ---- clear ---------------------------------------------------------------------------------

TEST_F(MainWindowTest, ClearResetsTheHeaderAndOnTheBmsTabAlsoThePageAndTheMosLamps) {
  start();
  struct Case {
    const char* what;
    int tab;
    std::pair<Icon, Icon> mosLamps;
    const char* pageCell;
    Icon pageLamp;
  } cases[] = {
      {"on another tab", 2, {Icon::Green, Icon::Green}, "3301", Icon::Green},
      {"on the BMS tab", 0, {Icon::Red, Icon::Red}, "0", Icon::Red},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    receive(FrameImage().u16(10, 3301).u8(70, 19));
    form.setCurrentIndex(MainId::Tabs, c.tab);
    window->onClicked(MainId::Clear);
    EXPECT_EQ(form.text(MainId::CellV1), "0");
    EXPECT_EQ(mosLamps(), c.mosLamps);
    EXPECT_EQ(bmsForm.text(BmsId::CellV1), c.pageCell);
    EXPECT_EQ(bmsForm.icon(bms_ids::kAlarmLamps[0]), c.pageLamp);
    // The next frame fills the reset header again, still read-only.
    receive(FrameImage().u16(10, 3310));
    EXPECT_EQ(form.text(MainId::CellV1), "3310");
    EXPECT_FALSE(form.isEnabled(MainId::CellV1));
  }
}

// ---- clock ---------------------------------------------------------------------------------

TEST_F(MainWindowTest, ClockShowsDateAndTimeWithTwoBlanksBetween) {
  start();
  clock.now.tm_year = 119;
  clock.now.tm_mon = 7;
  clock.now.tm_mday = 28;
  clock.now.tm_hour = 14;
  clock.now.tm_min = 3;
  clock.now.tm_sec = 9;
  window->onTimer(kClockTimer);
  EXPECT_EQ(form.text(MainId::Clock), "2019-08-28  14:03:09");
}

// ---- serial connection ---------------------------------------------------------------------

TEST_F(MainWindowTest, StartUpOpensComOfTheSelectedIndexAndStopCloses) {
  start();
  open(15);
  EXPECT_EQ(serial.openedPorts, std::vector<int>{16});
  EXPECT_TRUE(serial.isOpen());
  EXPECT_EQ(form.text(MainId::StartUp), "Stop");
  EXPECT_FALSE(form.isEnabled(MainId::SerialPorts));
  EXPECT_TRUE(form.isEnabled(MainId::BaudRate));
  window->onClicked(MainId::StartUp);
  EXPECT_FALSE(serial.isOpen());
  EXPECT_EQ(form.text(MainId::StartUp), "Start Up");
  EXPECT_TRUE(form.isEnabled(MainId::SerialPorts));
}

TEST_F(MainWindowTest, OpenFailureNamesPortDeviceAndReasonAndHintsAtDialoutOnlyForPermission) {
  start();
  struct Case {
    bool permission;
    const char* path;
    const char* reason;
  } cases[] = {{true, "/dev/ttyUSB0", "Permission denied"}, {false, "/dev/ttyS2", "Device or resource busy"}};
  for (const auto& c : cases) {
    form.clearMessages();
    serial.nextOpen = OpenResult{false, c.permission, c.path, c.reason};
    open(2);
    ASSERT_EQ(form.messages().size(), 1u);
    const std::string& text = form.messages()[0].text;
    EXPECT_NE(text.find("COM3"), std::string::npos) << text;
    EXPECT_NE(text.find(c.path), std::string::npos) << text;
    EXPECT_NE(text.find(c.reason), std::string::npos) << text;
    EXPECT_EQ(text.find("dialout") != std::string::npos, c.permission) << text;
    EXPECT_EQ(form.text(MainId::StartUp), "Start Up");
    EXPECT_TRUE(form.isEnabled(MainId::SerialPorts));
  }
}

TEST_F(MainWindowTest, NoSelectionOpensNothingAndSaysSo) {
  start();
  form.setCurrentIndex(MainId::SerialPorts, -1);
  window->onClicked(MainId::StartUp);
  EXPECT_TRUE(serial.openedPorts.empty());
  EXPECT_EQ(form.messages().size(), 1u);
}

TEST_F(MainWindowTest, PollRequestIsWrittenOnlyWhileThePortIsOpen) {
  start();
  window->onTimer(kPollTimer);
  EXPECT_TRUE(serial.written.empty());
  EXPECT_EQ(serial.refusedWrites, 0);
  open();
  window->onTimer(kPollTimer);
  ASSERT_EQ(serial.written.size(), 1u);
  EXPECT_EQ(test::toHex(serial.written[0]), "AA 55 06 00 00 00 01 00 01 00 55 AA");
}

TEST_F(MainWindowTest, LinkStatusReportsPortAndFramesAndTheFlagSurvivesAClosedPort) {
  start();
  struct Expect {
    const char* port;
    const char* link;
    Icon portLamp;
    Icon linkLamp;
  };
  auto check = [&](const Expect& e) {
    linkCheck();
    EXPECT_EQ(form.text(MainId::PortText), e.port);
    EXPECT_EQ(form.text(MainId::LinkText), e.link);
    EXPECT_EQ(form.icon(MainId::PortLamp), e.portLamp);
    EXPECT_EQ(form.icon(MainId::LinkLamp), e.linkLamp);
  };
  const Expect closed{"Serial not open!", "Comm FAIL!", Icon::Red, Icon::Red};
  const Expect silent{"Serial open!", "Comm FAIL!", Icon::Green, Icon::Red};
  const Expect alive{"Serial open!", "Comm OK!", Icon::Green, Icon::Green};
  check(closed);
  open();
  check(silent);
  receive(FrameImage());
  check(alive);
  check(silent);
  receive(FrameImage(0x18, 0x0F));  // reaches no page, still a sign of life
  window->onClicked(MainId::StartUp);
  check(closed);
  open();
  check(alive);
}

TEST_F(MainWindowTest, FramesWithBadChecksumsLeaveTheLinkFailed) {
  start();
  open();
  Bytes bad = FrameImage().u16(10, 3300).frame();
  bad[bad.size() - 4] ^= 0x01;
  serial.feedReceived(bad);
  window->onTimer(kFrameTimer);
  linkCheck();
  EXPECT_EQ(form.text(MainId::LinkText), "Comm FAIL!");
  EXPECT_EQ(form.text(MainId::CellV1), "0");
}

TEST_F(MainWindowTest, OtherCommEventsDiscardTheTransmitBuffer) {
  start();
  serial.injectCommEvent();
  EXPECT_EQ(serial.discards, 1);
}

TEST_F(MainWindowTest, ALostPortClosesCleanlyAndTheNextCheckSaysNotOpen) {
  start();
  open(1);
  serial.pullPort("device removed");
  EXPECT_EQ(form.text(MainId::StartUp), "Start Up");
  EXPECT_TRUE(form.isEnabled(MainId::SerialPorts));
  EXPECT_NE(form.text(MainId::DevicePath).find("device removed"), std::string::npos);
  linkCheck();
  EXPECT_EQ(form.text(MainId::PortText), "Serial not open!");
  open(1);
  EXPECT_EQ(serial.openedPorts, (std::vector<int>{2, 2}));
  EXPECT_EQ(form.text(MainId::StartUp), "Stop");
}

TEST_F(MainWindowTest, PortBoxSelectionShowsTheDevicePathOrThatThereIsNone) {
  start();
  EXPECT_EQ(form.text(MainId::DevicePath), "no device present");
  window->selectPort(5);
  EXPECT_EQ(form.currentIndex(MainId::SerialPorts), 4);
  window->selectPort(17);
  EXPECT_EQ(form.currentIndex(MainId::SerialPorts), 4);
  window->pressStartUp();
  EXPECT_EQ(serial.openedPorts, std::vector<int>{5});
  window->pressStartUp();
  EXPECT_TRUE(serial.isOpen());
}

// ---- frames reach the pages ----------------------------------------------------------------

TEST_F(MainWindowTest, FrameTicksHandEachFrameToThePagesThatOwnIt) {
  start();
  open();
  serial.feedReceived(FrameImage().u16(10, 3301).u16(75, 0x0005).frame());
  EXPECT_EQ(bmsForm.text(BmsId::CellV1), "0");
  window->onTimer(kFrameTimer);
  EXPECT_EQ(bmsForm.text(BmsId::CellV1), "3301");
  EXPECT_EQ(balanceForm.icon(BalanceId::Lamp1), Icon::BalanceRed);
  EXPECT_EQ(balanceForm.icon(BalanceId::Lamp1 + 1), Icon::Grey);
  EXPECT_EQ(balanceForm.icon(BalanceId::Lamp1 + 2), Icon::BalanceRed);

  receive(FrameImage(0x18, 0x0E).u16(7, 3400));
  EXPECT_EQ(balanceForm.text(BalanceId::ThresholdVoltage), "3400");
}

TEST_F(MainWindowTest, TwoFramesInOneChunkReachThePageOnConsecutiveTicks) {
  start();
  open();
  Bytes chunk = FrameImage().u16(10, 3301).frame();
  const Bytes second = FrameImage().u16(10, 3302).frame();
  chunk.insert(chunk.end(), second.begin(), second.end());
  serial.feedReceived(chunk);
  window->onTimer(kFrameTimer);
  EXPECT_EQ(bmsForm.text(BmsId::CellV1), "3301");
  window->onTimer(kFrameTimer);
  EXPECT_EQ(bmsForm.text(BmsId::CellV1), "3302");
  EXPECT_EQ(form.text(MainId::CellV1), "3302");
}

// ---- kept values for the data log ----------------------------------------------------------

class MainWindowLog : public MainWindowTest {
 protected:
  test::ScratchDir scratch{"orlo-main-window-log"};
  const std::string path = scratch.file("log.csv");

  // Columns of the last row of the log, read back from its UTF-16LE text.
  std::vector<std::string> lastRow() {
    std::string text;
    const std::string bytes = test::readFile(path);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) text += bytes[i];
    const std::size_t end = text.rfind('\n');
    const std::size_t begin = text.rfind('\n', end - 1);
    std::vector<std::string> cols;
    std::stringstream row(text.substr(begin + 1, end - begin - 1));
    for (std::string col; std::getline(row, col, ',');) cols.push_back(col);
    return cols;
  }
};

TEST_F(MainWindowLog, RowsCarryTheKeptValuesAndASilentLinkZeroesTheCellVoltages) {
  start();
  open();
  ASSERT_TRUE(window->dataLog().startUnattended(path, 1));
  receive(FrameImage().u16(10, 3301).u16(16, 3304).u32(22, 300).u32(30, 1500).u8(70, 3).u16(42, 9));
  window->onTimer(kLogTimer);
  auto row = lastRow();
  ASSERT_EQ(row.size(), 20u);
  EXPECT_EQ(row[2], "3301");
  EXPECT_EQ(row[5], "3304");
  EXPECT_EQ(row[10], "44");
  EXPECT_EQ(row[11], "9");
  EXPECT_EQ(row[12], "-1.500000");
  EXPECT_EQ(row[18], "3");

  linkCheck();  // the frame counts for this check
  linkCheck();  // nothing since: the cell voltages are dropped
  window->onTimer(kLogTimer);
  row = lastRow();
  ASSERT_EQ(row.size(), 20u);
  EXPECT_EQ(row[2], "0");
  EXPECT_EQ(row[5], "0");
  EXPECT_EQ(row[10], "44");
  EXPECT_EQ(form.text(MainId::CellV1), "3301");
}

}  // namespace
}  // namespace orlo
