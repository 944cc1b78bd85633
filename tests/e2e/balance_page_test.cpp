// The "Balance Test" tab against orlo-bms-sim: reading and setting the balance condition, and a
// manual balance test whose lamps follow what the board reports.
//
// With ORLO_SCREENSHOT_DIR set, the window with a manual cell balancing is saved there as
// balance_manual.png (the user guide's picture of the tab).

#include "e2e/e2e_fixture.h"
#include "view/balance_test_ids.h"

namespace orlo::test {
namespace {

using namespace balance_ids;
constexpr int kBalanceTab = 1;

class BalanceEndToEnd : public TabEndToEnd {
 protected:
  BalanceEndToEnd() : TabEndToEnd(kBalanceTab) {}
  void SetUp() override {
    TabEndToEnd::SetUp();
    startOnTab({&condition, &liveFrames});
  }
  // Presses Read and waits for the board's answer to reach the fields.
  void readCondition() {
    const int before = condition.dispatched;
    click(BalanceId::Read);
    ASSERT_TRUE(QTest::qWaitFor([&] { return condition.dispatched > before; }, 3000))
        << "no balance read result";
    QCoreApplication::processEvents();
  }
  // Waits until n more live data frames have reached the tool.
  bool waitForLiveFrames(int n, int ms) {
    const int target = liveFrames.dispatched + n;
    return QTest::qWaitFor([&] { return liveFrames.dispatched >= target; }, ms);
  }

  LastFrame condition{
      [](const std::uint8_t* f, std::size_t n) { return n >= 12 && f[2] == 0x18 && f[6] == 0x0E; }};
  LastFrame liveFrames{[](const std::uint8_t* f, std::size_t n) { return n >= 3 && f[2] == 0x4D; }};
};

TEST_F(BalanceEndToEnd, readShowsTheSimulatorsBalanceCondition) {
  readCondition();
  const auto& f = condition.bytes;
  EXPECT_EQ(field(BalanceId::ThresholdVoltage), std::to_string(f[7] | (f[8] << 8)));
  EXPECT_EQ(field(BalanceId::VoltageDifference), std::to_string(f[9]));
  EXPECT_EQ(field(BalanceId::ReleaseVoltage), std::to_string(f[10] | (f[11] << 8)));
  EXPECT_EQ(field(BalanceId::Status), "Read successful!");
  EXPECT_TRUE(QTest::qWaitFor([&] { return field(BalanceId::Status).empty(); }, 3000))
      << "status not cleared";
}

TEST_F(BalanceEndToEnd, setChangesTheConditionTheBoardReportsBack) {
  page().setText(BalanceId::ThresholdVoltage, "3555");
  page().setText(BalanceId::VoltageDifference, "42");
  page().setText(BalanceId::ReleaseVoltage, "3444");
  click(BalanceId::Set);
  for (BalanceId id : {BalanceId::ThresholdVoltage, BalanceId::VoltageDifference, BalanceId::ReleaseVoltage})
    page().setText(id, "--");
  readCondition();
  EXPECT_EQ(field(BalanceId::ThresholdVoltage), "3555");
  EXPECT_EQ(field(BalanceId::VoltageDifference), "42");
  EXPECT_EQ(field(BalanceId::ReleaseVoltage), "3444");
  EXPECT_TRUE(messages.empty()) << messages.front();
}

TEST_F(BalanceEndToEnd, aManualCellLightsItsLampAndLeavingTheTestGreysItAgain) {
  // A condition no cell can meet, so that only the manual test lights a lamp.
  page().setText(BalanceId::ThresholdVoltage, "65535");
  page().setText(BalanceId::VoltageDifference, "255");
  page().setText(BalanceId::ReleaseVoltage, "65535");
  click(BalanceId::Set);
  const BalanceId lamp2 = BalanceId::Lamp1 + 1;

  click(BalanceId::ManualToggle);
  ASSERT_EQ(field(BalanceId::ManualToggle), "Exit Manual Balance");
  click(BalanceId::CellButton1 + 1);
  ASSERT_TRUE(waitForLiveFrames(2, 3000));
  EXPECT_EQ(page().icon(lamp2), Icon::BalanceRed) << "lamp 2 is not red after two polls";
  EXPECT_EQ(page().icon(BalanceId::Lamp1), Icon::Grey);
  readCondition();

  click(BalanceId::ManualToggle);
  EXPECT_EQ(field(BalanceId::ManualToggle), "Enter Manual Balance");
  // Leaving greys the lamps at once; the frames after it show the board stopped balancing too.
  ASSERT_TRUE(waitForLiveFrames(2, 3000));
  EXPECT_EQ(page().icon(lamp2), Icon::Grey);
  EXPECT_EQ(receivedRequests("AA55180000000D"),
            (std::vector<std::string>{"AA55180000000D01020000000000100055AA",
                                      "AA55180000000D000000000000000D0055AA"}));
  EXPECT_TRUE(messages.empty()) << messages.front();
}

}  // namespace
}  // namespace orlo::test
