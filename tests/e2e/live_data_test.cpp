// The tool against orlo-bms-sim over a pseudo-terminal: polling, link status, the header and the
// BMS parameter tab showing what arrived, hostile line modes, and a port that goes away.

#include <gmock/gmock.h>

#include <algorithm>

#include "e2e/e2e_fixture.h"
#include "view/bms_parameter_ids.h"

namespace orlo::test {
namespace {

using namespace main_ids;

constexpr char kPollHex[] = "AA55060000000100010055AA";

// Field id -> the text the frame should have put there.
std::map<MainId, std::string> headerExpected(const std::vector<std::uint8_t>& f) {
  return {{MainId::CellV1, std::to_string(u16(f, 10))},
          {MainId::CellV2, std::to_string(u16(f, 12))},
          {MainId::CellV3, std::to_string(u16(f, 14))},
          {MainId::CellV4, std::to_string(u16(f, 16))},
          {MainId::TempC1, fmt("%.1f", static_cast<double>(s16(f, 18)))},
          {MainId::TempC2, fmt("%.1f", static_cast<double>(s16(f, 20)))},
          {MainId::Soc, std::to_string(s32(f, 22))},
          {MainId::TotalVal, std::to_string(s32(f, 26))},
          {MainId::Current, fmt("%f", -(static_cast<float>(s32(f, 30)) / 1000))},
          {MainId::BusVolt, std::to_string(s32(f, 44))},
          {MainId::BalanVal, std::to_string(u16(f, 75))}};
}

std::map<BmsId, std::string> pageExpected(const std::vector<std::uint8_t>& f) {
  namespace b = bms_ids;
  return {{BmsId::CellV1, std::to_string(u16(f, 10))},     {BmsId::CellV4, std::to_string(u16(f, 16))},
          {BmsId::Soc, std::to_string(s32(f, 22))},        {BmsId::TotalVolt, std::to_string(s32(f, 26))},
          {BmsId::CycleIndex, std::to_string(u16(f, 42))}, {BmsId::MaxVolt, std::to_string(u16(f, 54))},
          {BmsId::MinVolt, std::to_string(u16(f, 58))},    {BmsId::MaxCell, std::to_string(f[60] + 1)},
          {BmsId::TempC1, fmt("%.1f", double(s16(f, 18)))}};
}

class LiveData : public EndToEnd {
 protected:
  // Waits for a dispatched live data frame, lets the event loop settle, then compares.
  void expectFieldsMatchTheLastFrame() {
    ASSERT_TRUE(QTest::qWaitFor([&] { return lastFrame.dispatched > 0; }, 5000))
        << "no frame reached the tool";
    QCoreApplication::processEvents();
    ASSERT_GE(lastFrame.bytes.size(), 79u);
    ASSERT_EQ(lastFrame.bytes[2], 0x4D);
    for (const auto& [id, wanted] : headerExpected(lastFrame.bytes))
      EXPECT_EQ(text(id), wanted) << "header " << id;
    for (const auto& [id, wanted] : pageExpected(lastFrame.bytes))
      EXPECT_EQ(pageText(0, id), wanted) << "BMS Parameter field " << id;
    const std::uint32_t alarms = static_cast<std::uint32_t>(s32(lastFrame.bytes, 71));
    for (std::size_t bit = 0; bit < bms_ids::kAlarmLamps.size(); ++bit) {
      const Icon wanted = (alarms >> bit) & 1 ? Icon::Red : Icon::Green;
      EXPECT_EQ(app->pageForm(0).icon(bms_ids::kAlarmLamps[bit]), wanted) << "alarm lamp " << bit + 1;
    }
  }
};

TEST_F(LiveData, pollsArriveAboutOnceASecondAndTheLinkShowsCommOk) {
  startBoth();
  ASSERT_TRUE(openCom1()) << lastMessage();
  EXPECT_TRUE(waitForCommOk(6000));
  EXPECT_EQ(text(MainId::PortText), "Serial open!");
  EXPECT_EQ(app->mainForm().icon(MainId::LinkLamp), Icon::Green);
  QTest::qWait(3500);
  sim.stop();
  std::vector<long long> polls;
  for (const auto& r : sim.records())
    if (r.hex == kPollHex) polls.push_back(r.timeMs);
  ASSERT_GE(polls.size(), 4u);
  std::vector<long long> gaps;
  for (std::size_t i = 1; i < polls.size(); ++i) gaps.push_back(polls[i] - polls[i - 1]);
  std::sort(gaps.begin(), gaps.end());
  EXPECT_NEAR(gaps[gaps.size() / 2], 1000, 150) << "median gap between polls";
  EXPECT_GT(gaps.front(), 500);
}

TEST_F(LiveData, headerAndBmsParameterFieldsShowWhatTheSimulatorSent) {
  startBoth();
  openCom1();
  expectFieldsMatchTheLastFrame();
  QTest::qWait(1500);  // a second frame with moving values
  expectFieldsMatchTheLastFrame();
  app->dlg().onClicked(MainId::StartUp);  // Stop, so nothing is in flight while the counts are compared
  QTest::qWait(300);
  sim.stop();
  const auto report = sim.report();
  ASSERT_TRUE(report.count("valid_frames_sent")) << "the simulator's report has no valid_frames_sent";
  EXPECT_EQ(static_cast<long long>(app->dlg().receiver().stats().framesDispatched),
            report.at("valid_frames_sent"));
}

TEST_F(LiveData, randomSplitsAndCorruptedChecksumsStillDeliverValues) {
  startBoth({"--split", "random", "--corrupt", "0.3", "--garbage", "0.3", "--seed", "7"});
  openCom1();
  ASSERT_TRUE(QTest::qWaitFor([&] { return lastFrame.dispatched >= 3; }, 10000));
  expectFieldsMatchTheLastFrame();
  EXPECT_TRUE(waitForCommOk());
}

TEST_F(LiveData, anUnpluggedPortLeavesTheToolRunningAndReopeningWorks) {
  startBoth({"--unplug-after", "3", "--reopen-after", "2"});
  openCom1();
  ASSERT_TRUE(waitForCommOk());
  ASSERT_TRUE(waitForText(MainId::PortText, "Serial not open!", 8000)) << "the lost port was not noticed";
  EXPECT_EQ(text(MainId::StartUp), "Start Up");
  EXPECT_TRUE(app->mainForm().isEnabled(MainId::SerialPorts));
  EXPECT_EQ(app->mainForm().icon(MainId::PortLamp), Icon::Red);
  // The simulator puts a new pseudo-terminal behind the same link; Start Up again reaches it.
  const bool reopened = QTest::qWaitFor(
      [&] {
        if (!app->serial().isOpen()) app->dlg().onClicked(MainId::StartUp);
        return app->serial().isOpen();
      },
      8000);
  ASSERT_TRUE(reopened) << lastMessage();
  const int before = lastFrame.dispatched;
  EXPECT_TRUE(QTest::qWaitFor([&] { return lastFrame.dispatched > before; }, 10000));
  EXPECT_TRUE(waitForText(MainId::PortText, "Serial open!", 10000));
}

TEST_F(LiveData, orloPcRunFromTheCommandLinePrintsItsReceiveCounters) {
  ASSERT_TRUE(sim.start());
  QProcess tool;
  startOrloPc(tool, com1OnSimulator() + QStringList{"--stats", "--quit-after", "3.5"});
  ASSERT_TRUE(tool.waitForFinished(15000));
  EXPECT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
  const std::string out = tool.readAllStandardOutput().toStdString();
  EXPECT_THAT(out, ::testing::HasSubstr("frames_dispatched="));
  EXPECT_THAT(out, ::testing::Not(::testing::HasSubstr("frames_dispatched=0\n")));
}

TEST_F(LiveData, anUnattendedRunEndsOnTimeEvenWithAFailedOpenReported) {
  QProcess tool;
  startOrloPc(tool,
              {"--port", "COM1=/nonexistent/orlo-port", "--open", "COM1", "--quit-after", "1.5", "--stats"});
  ASSERT_TRUE(tool.waitForFinished(15000)) << "the message box kept the tool from quitting";
  EXPECT_EQ(tool.exitCode(), 0);
  EXPECT_THAT(tool.readAllStandardOutput().toStdString(), ::testing::HasSubstr("frames_dispatched=0"));
}

TEST_F(LiveData, orloPcRefusesABadArgumentWithExitCodeTwo) {
  QProcess tool;
  startOrloPc(tool, {"--port", "COM99=/dev/null"});
  ASSERT_TRUE(tool.waitForFinished(10000));
  EXPECT_EQ(tool.exitCode(), 2);
  EXPECT_THAT(tool.readAllStandardError().toStdString(), ::testing::HasSubstr("COMn=PATH"));
}

}  // namespace
}  // namespace orlo::test
