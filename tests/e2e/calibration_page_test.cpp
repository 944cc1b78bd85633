// The "Current-Calibration" tab of the real window against orlo-bms-sim over a pseudo-terminal:
// a calibration point taken during a run, the Error Evaluation that follows, and the read-back
// of the stored point. The page's other cases run against the board in simulated time
// (tests/integration); this one stays here as the user guide's picture of the tab: with
// ORLO_SCREENSHOT_DIR set, the window after the point and its Error Evaluation is saved there
// as calibration_point.png.

#include <cstdio>

#include "e2e/e2e_fixture.h"
#include "view/current_calibration_ids.h"

namespace orlo::test {
namespace {

using namespace calibration_ids;
constexpr int kCalibrationTab = 3;

class CalibrationEndToEnd : public TabEndToEnd {
 protected:
  CalibrationEndToEnd() : TabEndToEnd(kCalibrationTab) {}
  void SetUp() override {
    TabEndToEnd::SetUp();
    startOnTab({&results});
    if (HasFatalFailure()) return;
    ASSERT_TRUE(waitForCommOk());
  }
  bool waitForResult(int before) {
    return QTest::qWaitFor([&] { return results.dispatched > before; }, 3000);
  }
  static std::string coefficientText(std::uint32_t raw) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", raw / 1000.0);
    return buf;
  }

  // The coefficient of the last Calibration result, in thousandths.
  std::uint32_t coefficient() const { return static_cast<std::uint32_t>(s32(results.bytes, 11)); }

  LastFrame results{[](const std::uint8_t* f, std::size_t n) { return n >= 19 && f[2] == 0x15; }};
};

TEST_F(CalibrationEndToEnd, aPointTakenDuringARunFinishesAndReadsBack) {
  // 5 A is a current the simulator drives through its pack while the point is taken.
  click(CalibrationId::StartStop);
  ASSERT_EQ(field(CalibrationId::StartStop), "STOP");
  page().setText(CalibrationId::CurrentTest1, "5000");
  int before = results.dispatched;
  click(CalibrationId::CalibrationPoint1);
  ASSERT_TRUE(waitForResult(before)) << "no Calibration result";
  EXPECT_TRUE(QTest::qWaitFor([&] { return field(CalibrationId::Status) == "Calibration finish!"; }, 1000));
  const std::uint32_t stored = coefficient();
  EXPECT_EQ(field(CalibrationId::Coefficient1).substr(0, 5), coefficientText(stored))
      << field(CalibrationId::Coefficient1);
  EXPECT_EQ(field(CalibrationId::CurrentTest1), "5000");

  // The next tick of the page timer turns the point error into the Error Evaluation: the
  // deviation is at most 500 mA of 5000, so at most 100 per mille on one point of four.
  ASSERT_TRUE(QTest::qWaitFor([&] { return field(CalibrationId::ErrorEvaluation) != "--"; }, 3000));
  float evaluation = -1;
  ASSERT_EQ(std::sscanf(field(CalibrationId::ErrorEvaluation).c_str(), "%f", &evaluation), 1);
  EXPECT_GE(evaluation, 0.0f);
  EXPECT_LE(evaluation, 0.025f);
  EXPECT_EQ(field(CalibrationId::ErrorEvaluation).size(), 6u)
      << "not four decimals: " << field(CalibrationId::ErrorEvaluation);
  saveScreenshot("calibration_point.png");

  // Read-back needs the run stopped; it refills the point from what the board stored.
  click(CalibrationId::StartStop);
  ASSERT_EQ(field(CalibrationId::StartStop), "START");
  page().setText(CalibrationId::Coefficient1, "--");
  page().setText(CalibrationId::CurrentTest1, "0");
  before = results.dispatched;
  click(CalibrationId::Read1);
  ASSERT_TRUE(waitForResult(before)) << "no answer to the read request";
  EXPECT_TRUE(QTest::qWaitFor([&] { return field(CalibrationId::CurrentTest1) == "5000"; }, 1000));
  EXPECT_EQ(coefficient(), stored);
  EXPECT_EQ(field(CalibrationId::Coefficient1).substr(0, 5), coefficientText(stored));
  EXPECT_TRUE(messages.empty()) << messages.front();
}

}  // namespace
}  // namespace orlo::test
