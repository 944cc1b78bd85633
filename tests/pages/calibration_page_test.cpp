#include "pages/current_calibration_page.h"

#include <gtest/gtest.h>

#include <limits>

#include "link/requests.h"
#include "support/fake_form.h"
#include "support/fake_serial_control.h"
#include "support/hex.h"
#include "view/current_calibration_ids.h"

namespace orlo {
namespace {

using namespace calibration_ids;
using test::toHex;

constexpr std::uint8_t kReadAnswer = 1;
constexpr std::uint8_t kPointAnswer = 0;

// A Calibration result as the board sends it.
CalibrationResult result(std::uint8_t direction, std::uint8_t point, std::uint8_t kind,
                         std::uint32_t coefficient, std::int32_t reference) {
  Bytes data{0x00, direction, point, kind};
  for (int i = 0; i < 4; ++i) data.push_back(static_cast<std::uint8_t>(coefficient >> (8 * i)));
  const auto ref = static_cast<std::uint32_t>(reference);
  for (int i = 0; i < 4; ++i) data.push_back(static_cast<std::uint8_t>(ref >> (8 * i)));
  const Bytes frame = buildFrame(0x15, 0x00, 0x00, data);
  return decodeCalibrationResult(FrameView(frame.data(), frame.size()));
}

class CalibrationPage : public ::testing::Test {
 protected:
  void SetUp() override {
    serial.setOpen(true);
    page.initPage();
  }
  void start() {
    page.onClicked(CalibrationId::StartStop);
    ASSERT_TRUE(page.running());
  }
  // A point answer that the page checks against the live current.
  void calibrated(int point, std::int32_t reference, float liveAmperes, std::uint32_t coefficient = 1000) {
    page.setLiveCurrent(liveAmperes);
    page.onCalibrationResult(
        result(0, static_cast<std::uint8_t>(point), kPointAnswer, coefficient, reference));
  }
  std::string evaluationAtNextTick() {
    page.onTimer(kStatusTimer);
    return form.text(CalibrationId::ErrorEvaluation);
  }
  void expectOneMessage(const std::string& text, const std::string& caption) {
    ASSERT_EQ(form.messages().size(), 1u);
    EXPECT_EQ(form.messages()[0].text, text);
    EXPECT_EQ(form.messages()[0].caption, caption);
    form.clearMessages();
  }

  test::FakeForm form{"current_calibration"};
  test::FakeSerialControl serial;
  CurrentCalibrationPage page{form, serial};
};

// ---- start-up and requests ------------------------------------------------------------------

TEST_F(CalibrationPage, InitPageShowsPlaceholdersDischargeAndTimerSeven) {
  EXPECT_EQ(form.timerPeriod(kStatusTimer), 2000);
  for (int p = 0; p < kPointCount; ++p) {
    EXPECT_EQ(form.text(CalibrationId::Coefficient1 + p), "--");
    EXPECT_EQ(form.text(CalibrationId::CurrentTest1 + p), "0");
  }
  EXPECT_EQ(form.text(CalibrationId::ErrorEvaluation), "--");
  EXPECT_TRUE(form.isChecked(CalibrationId::Discharge));
  EXPECT_FALSE(form.isChecked(CalibrationId::Charge));
  EXPECT_EQ(form.text(CalibrationId::StartStop), "START");
  EXPECT_FALSE(page.running());
}

TEST_F(CalibrationPage, ReadOfPointOneInDischargeSendsTheReadRequest) {
  page.onClicked(CalibrationId::Read1);
  EXPECT_EQ(toHex(serial.lastWritten()), "AA 55 07 00 00 01 00 00 00 00 00 00 01 00 55 AA");
}

TEST_F(CalibrationPage, CalibrationPointTwoInChargeSendsItsReferenceCurrent) {
  page.onClicked(CalibrationId::Charge);
  form.setText(CalibrationId::CurrentTest1 + 1, "10000");
  start();
  page.onClicked(CalibrationId::CalibrationPoint1 + 1);
  EXPECT_EQ(toHex(serial.lastWritten()), "AA 55 07 00 00 00 01 01 10 27 00 00 39 00 55 AA");
  EXPECT_TRUE(form.messages().empty());
}

TEST_F(CalibrationPage, CalibrationPointRefusesACurrentTestThatIsNoWholeNumber) {
  start();
  for (const char* text : {"", "  ", "--", "12a", "99999999999"}) {
    form.setText(CalibrationId::CurrentTest1, text);
    page.onClicked(CalibrationId::CalibrationPoint1);
    ASSERT_EQ(form.messages().size(), 1u) << text;
    EXPECT_NE(form.messages()[0].text.find("reference current"), std::string::npos);
    EXPECT_NE(form.messages()[0].text.find("mA"), std::string::npos);
    form.clearMessages();
  }
  EXPECT_TRUE(serial.written.empty());
  form.setText(CalibrationId::CurrentTest1, "0");  // typed by the user: a reference like any other
  page.onClicked(CalibrationId::CalibrationPoint1);
  EXPECT_EQ(toHex(serial.lastWritten()), toHex(calibrationPointRequest(0, 0, 0)));
}

// ---- run states -----------------------------------------------------------------------------

TEST_F(CalibrationPage, ReadDuringARunIsRefusedAndSendsNothing) {
  start();
  page.onClicked(CalibrationId::Read1 + 2);
  expectOneMessage("Please Stop the Calibration!", "Warming");
  EXPECT_TRUE(serial.written.empty());
}

TEST_F(CalibrationPage, CalibrationPointNeedsARunAndAnOpenPort) {
  page.onClicked(CalibrationId::CalibrationPoint1);
  expectOneMessage("Please Start Calibration or Check Port open!", "Warming");
  start();
  serial.setOpen(false);
  page.onClicked(CalibrationId::CalibrationPoint1);
  expectOneMessage("Please Start Calibration or Check Port open!", "Warming");
  EXPECT_TRUE(serial.written.empty());
}

TEST_F(CalibrationPage, ARunCanNeitherStartNorEndWhileThePortIsClosed) {
  serial.setOpen(false);
  page.onClicked(CalibrationId::StartStop);
  EXPECT_FALSE(page.running());
  serial.setOpen(true);
  start();
  serial.setOpen(false);
  page.onClicked(CalibrationId::StartStop);
  EXPECT_TRUE(page.running());
  EXPECT_EQ(form.text(CalibrationId::StartStop), "STOP");
  serial.setOpen(true);
  page.onClicked(CalibrationId::StartStop);
  EXPECT_FALSE(page.running());
  EXPECT_EQ(form.text(CalibrationId::StartStop), "START");
  EXPECT_TRUE(form.messages().empty());
  EXPECT_TRUE(serial.written.empty());
}

TEST_F(CalibrationPage, ReadWithThePortClosedAsksForTheSerialPortAndSendsNothing) {
  serial.setOpen(false);
  page.onClicked(CalibrationId::Read1);
  expectOneMessage("Please open the serial port.", "");
  EXPECT_EQ(serial.refusedWrites, 0);
}

// ---- results --------------------------------------------------------------------------------

TEST_F(CalibrationPage, ReadAnswerShowsCoefficientAndReference) {
  const std::pair<std::uint32_t, const char*> coefficients[] = {
      {1000, "1.000000"}, {1023, "1.023000"}, {0xFFFFFFFF, "4294967.500000"}};
  for (const auto& [raw, text] : coefficients) {
    page.onCalibrationResult(result(0, 0, kReadAnswer, raw, 10000));
    EXPECT_EQ(form.text(CalibrationId::Coefficient1), text) << raw;
  }
  EXPECT_EQ(form.text(CalibrationId::CurrentTest1), "10000");
  EXPECT_EQ(form.text(CalibrationId::Status), "Read successful!");
}

TEST_F(CalibrationPage, AnAnswerTouchesItsPointOnlyWhenItsDirectionIsTheCheckedOne) {
  struct Case {
    CalibrationId radio;
    std::uint8_t direction;
    bool touches;
  } cases[] = {{CalibrationId::Discharge, 0, true}, {CalibrationId::Discharge, 1, false},
               {CalibrationId::Charge, 1, true},    {CalibrationId::Charge, 0, false},
               {CalibrationId::Charge, 2, false},   {CalibrationId::Discharge, 2, false}};
  for (const auto& c : cases) {
    form.setText(CalibrationId::Coefficient1 + 2, "--");
    form.setText(CalibrationId::Status, "");
    page.onClicked(c.radio);
    page.onCalibrationResult(result(c.direction, 2, kReadAnswer, 1500, -4000));
    EXPECT_EQ(form.text(CalibrationId::Coefficient1 + 2), c.touches ? "1.500000" : "--") << int{c.direction};
    EXPECT_EQ(form.text(CalibrationId::CurrentTest1 + 2), c.touches ? "-4000" : "0");
    EXPECT_EQ(form.text(CalibrationId::Status), "Read successful!");
    form.setText(CalibrationId::CurrentTest1 + 2, "0");
  }
}

TEST_F(CalibrationPage, WorkedExampleGivesPointErrorFortyAndEvaluationOnePercent) {
  start();
  form.setText(CalibrationId::CurrentTest1, "10000");
  calibrated(0, 10000, -9.6f, 1023);
  EXPECT_EQ(form.text(CalibrationId::Status), "Calibration finish!");
  EXPECT_EQ(form.text(CalibrationId::Coefficient1), "1.023000");
  EXPECT_EQ(form.text(CalibrationId::CurrentTest1), "10000");
  EXPECT_EQ(form.text(CalibrationId::ErrorEvaluation), "--");
  EXPECT_EQ(evaluationAtNextTick(), "0.0100");
  EXPECT_EQ(form.text(CalibrationId::Status), "");
}

TEST_F(CalibrationPage, FivePerMilleOnOnePointShowsInSinglePrecision) {
  start();
  calibrated(3, 10000, -10.05f);
  EXPECT_EQ(evaluationAtNextTick(), "0.0012");
}

TEST_F(CalibrationPage, ToleranceIs500MilliampsWhateverTheSignOfTheLiveCurrent) {
  struct Case {
    std::int32_t reference;
    float live;
    bool accepted;
  } cases[] = {{10000, 9.5f, true},  {10000, -9.5f, true},
               {10001, 9.5f, false}, {10001, -9.5f, false},
               {500, 0.0f, true},    {9000, -9.5f, true},
               {8999, -9.5f, false}, {std::numeric_limits<std::int32_t>::min(), 0.0f, false}};
  for (const auto& c : cases) {
    form.setText(CalibrationId::Status, "");
    calibrated(1, c.reference, c.live);
    EXPECT_EQ(form.text(CalibrationId::Status), c.accepted ? "Calibration finish!" : "")
        << c.reference << " " << c.live;
  }
}

TEST_F(CalibrationPage, AnAnswerOutsideToleranceShowsItsCoefficientButKeepsThePointError) {
  start();
  calibrated(0, 10000, -9.6f);
  calibrated(0, 20000, -9.6f, 1100);
  EXPECT_EQ(form.text(CalibrationId::Coefficient1), "1.100000");
  EXPECT_EQ(evaluationAtNextTick(), "0.0100");
}

TEST_F(CalibrationPage, APointIndexAboveThreeChangesNoPointErrorAndNoEdit) {
  start();
  calibrated(0, 10000, -9.6f);
  calibrated(4, 10000, -9.99f);
  page.onCalibrationResult(result(0, 4, kReadAnswer, 2000, 777));
  EXPECT_EQ(form.text(CalibrationId::Coefficient1), "1.000000");
  for (int p = 0; p < kPointCount; ++p) EXPECT_EQ(form.text(CalibrationId::CurrentTest1 + p), "0") << p;
  EXPECT_EQ(form.text(CalibrationId::Coefficient1 + 3), "--");
  EXPECT_EQ(evaluationAtNextTick(), "0.0100");
}

TEST_F(CalibrationPage, AZeroReferenceWithinToleranceFinishesButKeepsThePointError) {
  start();
  calibrated(0, 10000, -9.6f);
  calibrated(0, 0, 0.2f);
  EXPECT_EQ(form.text(CalibrationId::Status), "Calibration finish!");
  EXPECT_EQ(evaluationAtNextTick(), "0.0100");
}

TEST_F(CalibrationPage, EvaluationRefreshesOnlyDuringARunAndKeepsItsTextAfterStop) {
  calibrated(0, 10000, -9.6f);
  EXPECT_EQ(evaluationAtNextTick(), "--");
  start();
  EXPECT_EQ(evaluationAtNextTick(), "0.0100");
  page.onClicked(CalibrationId::StartStop);
  calibrated(1, 10000, -9.6f);
  EXPECT_EQ(evaluationAtNextTick(), "0.0100");
  start();
  EXPECT_EQ(evaluationAtNextTick(), "0.0200");
}

}  // namespace
}  // namespace orlo
