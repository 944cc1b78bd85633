// The "Current-Calibration" tab against the simulated board in simulated time: a calibration
// point taken during a run, the Error Evaluation at the page's next tick, and the read-back of
// the stored point.

#include <gmock/gmock.h>

#include <cstdio>

#include "link/frame_bytes.h"
#include "support/sim_run.h"

namespace orlo::test {
namespace {

using namespace frame_bytes;

bool isResult(const Bytes& f) {
  return f.size() >= 19 && f[2] == 0x15;
}

class CalibrationPage : public ::testing::Test {
 protected:
  void SetUp() override {
    run.form.setCurrentIndex(MainId::Tabs, 3);
    run.pressStartUp();
    ASSERT_TRUE(run.line.isOpen());
    ASSERT_TRUE(run.advanceUntil([&] { return run.form.text(MainId::LinkText) == "Comm OK!"; }, 5000));
  }
  std::size_t results() const { return run.countDispatched(isResult); }
  bool runForResult(std::size_t before) {
    return run.advanceUntil([&] { return results() > before; }, 3000);
  }
  // The coefficient of the last Calibration result, in thousandths, read from its bytes.
  std::uint32_t coefficient() const {
    for (auto it = run.dispatched.rbegin(); it != run.dispatched.rend(); ++it)
      if (isResult(*it)) {
        const Bytes& f = *it;
        return f[11] | (f[12] << 8) | (f[13] << 16) | (std::uint32_t(f[14]) << 24);
      }
    return 0;
  }
  static std::string coefficientText(std::uint32_t raw) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", raw / 1000.0);
    return buf;
  }
  std::string field(CalibrationId id) const { return run.calibrationForm.text(id); }

  SimRun run;
};

TEST_F(CalibrationPage, aPointTakenDuringARunFinishesAndReadsBack) {
  // 5 A is a current the simulator drives through its pack while the point is taken.
  run.click(CalibrationId::StartStop);
  ASSERT_EQ(field(CalibrationId::StartStop), "STOP");
  run.calibrationForm.setText(CalibrationId::CurrentTest1, "5000");
  std::size_t before = results();
  run.click(CalibrationId::CalibrationPoint1);
  ASSERT_TRUE(runForResult(before)) << "no Calibration result";
  EXPECT_TRUE(run.advanceUntil([&] { return field(CalibrationId::Status) == "Calibration finish!"; }, 1000));
  const std::uint32_t stored = coefficient();
  EXPECT_EQ(field(CalibrationId::Coefficient1).substr(0, 5), coefficientText(stored))
      << field(CalibrationId::Coefficient1);
  EXPECT_EQ(field(CalibrationId::CurrentTest1), "5000");

  // The next tick of the page timer turns the point error into the Error Evaluation: the
  // deviation is at most 500 mA of 5000, so at most 100 per mille on one point of four.
  ASSERT_EQ(field(CalibrationId::ErrorEvaluation), "--");
  ASSERT_TRUE(run.advanceUntil([&] { return field(CalibrationId::ErrorEvaluation) != "--"; }, 2000))
      << "no Error Evaluation within one period of the page timer";
  float evaluation = -1;
  ASSERT_EQ(std::sscanf(field(CalibrationId::ErrorEvaluation).c_str(), "%f", &evaluation), 1);
  EXPECT_GE(evaluation, 0.0f);
  EXPECT_LE(evaluation, 0.025f);
  EXPECT_EQ(field(CalibrationId::ErrorEvaluation).size(), 6u)
      << "not four decimals: " << field(CalibrationId::ErrorEvaluation);
  const std::vector<Bytes> taken = run.written({kHead0, kHead1, kCalibration});
  ASSERT_EQ(taken.size(), 1u);
  ASSERT_EQ(taken[0][6], 0) << "point 1";
  EXPECT_EQ(run.board.calibration(taken[0][7], 0).coefficientMilli, stored) << "the board's stored point";

  // Read-back needs the run stopped; it refills the point from what the board stored.
  run.click(CalibrationId::StartStop);
  ASSERT_EQ(field(CalibrationId::StartStop), "START");
  run.calibrationForm.setText(CalibrationId::Coefficient1, "--");
  run.calibrationForm.setText(CalibrationId::CurrentTest1, "0");
  before = results();
  run.click(CalibrationId::Read1);
  ASSERT_TRUE(runForResult(before)) << "no answer to the read request";
  EXPECT_TRUE(run.advanceUntil([&] { return field(CalibrationId::CurrentTest1) == "5000"; }, 1000));
  EXPECT_EQ(coefficient(), stored);
  EXPECT_EQ(field(CalibrationId::Coefficient1).substr(0, 5), coefficientText(stored));
  EXPECT_THAT(run.messages(), ::testing::ElementsAre());
}

TEST_F(CalibrationPage, readDuringARunIsRefusedAndNothingReachesTheBoard) {
  run.click(CalibrationId::StartStop);
  run.click(CalibrationId::Read1 + 1);
  EXPECT_THAT(run.messages(), ::testing::ElementsAre("Please Stop the Calibration!"));
  run.advance(300);
  EXPECT_EQ(run.written({kHead0, kHead1, kCalibration}).size(), 0u);
}

}  // namespace
}  // namespace orlo::test
