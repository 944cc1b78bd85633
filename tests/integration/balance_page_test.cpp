// The "Balance Test" tab against the simulated board in simulated time: reading and setting the
// balance condition, and a manual balance test whose lamps follow what the board reports.

#include <gmock/gmock.h>

#include "link/frame_bytes.h"
#include "support/hex.h"
#include "support/sim_run.h"

namespace orlo::test {
namespace {

bool isCondition(const Bytes& f) {
  return f.size() >= 12 && f[2] == 0x18 && f[6] == 0x0E;
}
bool isLiveData(const Bytes& f) {
  return f.size() >= 3 && f[frame_bytes::kCommandAt] == frame_bytes::kLiveData;
}

class BalancePage : public ::testing::Test {
 protected:
  void SetUp() override {
    run.form.setCurrentIndex(MainId::Tabs, 1);
    run.pressStartUp();
    ASSERT_TRUE(run.line.isOpen());
  }
  Bytes lastCondition() const {
    for (auto it = run.dispatched.rbegin(); it != run.dispatched.rend(); ++it)
      if (isCondition(*it)) return *it;
    return {};
  }
  // Presses Read and runs until the board's answer has reached the fields.
  void readCondition() {
    const std::size_t before = run.countDispatched(isCondition);
    run.click(BalanceId::Read);
    ASSERT_TRUE(run.advanceUntil([&] { return run.countDispatched(isCondition) > before; }, 3000))
        << "no balance read result";
  }
  // Runs until n more live data frames have reached the tool.
  bool runForLiveFrames(std::size_t n, std::int64_t ms) {
    const std::size_t target = run.countDispatched(isLiveData) + n;
    return run.advanceUntil([&] { return run.countDispatched(isLiveData) >= target; }, ms);
  }
  std::string field(BalanceId id) const { return run.balanceForm.text(id); }

  SimRun run;
};

TEST_F(BalancePage, readShowsTheBoardsBalanceCondition) {
  readCondition();
  const Bytes f = lastCondition();
  EXPECT_EQ(field(BalanceId::ThresholdVoltage), std::to_string(f[7] | (f[8] << 8)));
  EXPECT_EQ(field(BalanceId::VoltageDifference), std::to_string(f[9]));
  EXPECT_EQ(field(BalanceId::ReleaseVoltage), std::to_string(f[10] | (f[11] << 8)));
  EXPECT_EQ(std::to_string(run.board.balanceCondition().thresholdMv), field(BalanceId::ThresholdVoltage));
  EXPECT_EQ(field(BalanceId::Status), "Read successful!");
  EXPECT_TRUE(run.advanceUntil([&] { return field(BalanceId::Status).empty(); }, 3000))
      << "status not cleared";
}

TEST_F(BalancePage, setChangesTheConditionTheBoardReportsBack) {
  run.balanceForm.setText(BalanceId::ThresholdVoltage, "3555");
  run.balanceForm.setText(BalanceId::VoltageDifference, "42");
  run.balanceForm.setText(BalanceId::ReleaseVoltage, "3444");
  run.click(BalanceId::Set);
  for (BalanceId id : {BalanceId::ThresholdVoltage, BalanceId::VoltageDifference, BalanceId::ReleaseVoltage})
    run.balanceForm.setText(id, "--");
  readCondition();
  EXPECT_EQ(field(BalanceId::ThresholdVoltage), "3555");
  EXPECT_EQ(field(BalanceId::VoltageDifference), "42");
  EXPECT_EQ(field(BalanceId::ReleaseVoltage), "3444");
  EXPECT_EQ(run.board.balanceCondition().thresholdMv, 3555);
  EXPECT_EQ(run.board.balanceCondition().differenceMv, 42);
  EXPECT_EQ(run.board.balanceCondition().releaseMv, 3444);
  EXPECT_THAT(run.messages(), ::testing::ElementsAre());
}

TEST_F(BalancePage, aManualCellLightsItsLampAndLeavingTheTestGreysItAgain) {
  // A condition no cell can meet, so that only the manual test lights a lamp.
  run.balanceForm.setText(BalanceId::ThresholdVoltage, "65535");
  run.balanceForm.setText(BalanceId::VoltageDifference, "255");
  run.balanceForm.setText(BalanceId::ReleaseVoltage, "65535");
  run.click(BalanceId::Set);
  const BalanceId lamp2 = BalanceId::Lamp1 + 1;

  run.click(BalanceId::ManualToggle);
  ASSERT_EQ(field(BalanceId::ManualToggle), "Exit Manual Balance");
  run.click(BalanceId::CellButton1 + 1);
  ASSERT_TRUE(runForLiveFrames(2, 3000));
  EXPECT_EQ(run.balanceForm.icon(lamp2), Icon::BalanceRed) << "lamp 2 is not red after two polls";
  EXPECT_EQ(run.balanceForm.icon(BalanceId::Lamp1), Icon::Grey);
  EXPECT_TRUE(run.board.manualBalanceOn());
  EXPECT_EQ(run.board.manualBalanceMask(), 0x0002);
  readCondition();

  run.click(BalanceId::ManualToggle);
  EXPECT_EQ(field(BalanceId::ManualToggle), "Enter Manual Balance");
  // Leaving greys the lamps at once; the frames after it show the board stopped balancing too.
  ASSERT_TRUE(runForLiveFrames(2, 3000));
  EXPECT_EQ(run.balanceForm.icon(lamp2), Icon::Grey);
  EXPECT_FALSE(run.board.manualBalanceOn());
  std::vector<std::string> manual;
  for (const Bytes& block : run.written(hex("AA 55 18 00 00 00 0D"))) manual.push_back(toHex(block));
  EXPECT_EQ(manual, (std::vector<std::string>{"AA 55 18 00 00 00 0D 01 02 00 00 00 00 00 10 00 55 AA",
                                              "AA 55 18 00 00 00 0D 00 00 00 00 00 00 00 0D 00 55 AA"}));
  EXPECT_THAT(run.messages(), ::testing::ElementsAre());
}

}  // namespace
}  // namespace orlo::test
