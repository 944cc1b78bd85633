#include "pages/current_calibration_page.h"

#include <gtest/gtest.h>

#include <limits>

#include "link/requests.h"
#include "view/current_calibration_ids.h"
#include "support/fake_form.h"
#include "support/fake_serial_control.h"
#include "support/hex.h"

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
    page.onClicked(kStartStop);
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
    return form.text(kErrorEvaluation);
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
    EXPECT_EQ(form.text(kFirstCoefficient + p), "--");
    EXPECT_EQ(form.text(kFirstCurrentTest + p), "0");
  }
  EXPECT_EQ(form.text(kErrorEvaluation), "--");
  EXPECT_TRUE(form.isChecked(kDischarge));
  EXPECT_FALSE(form.isChecked(kCharge));
  EXPECT_EQ(form.text(kStartStop), "START");
  EXPECT_FALSE(page.running());
}

TEST_F(CalibrationPage, ReadOfPointOneInDischargeSendsTheReadRequest) {
  page.onClicked(kFirstRead);
  EXPECT_EQ(toHex(serial.lastWritten()), "AA 55 07 00 00 01 00 00 00 00 00 00 01 00 55 AA");
}

TEST_F(CalibrationPage, CalibrationPointTwoInChargeSendsItsReferenceCurrent) {
  page.onClicked(kCharge);
  form.setText(kFirstCurrentTest + 1, "10000");
  start();
  page.onClicked(kFirstCalibrationPoint + 1);
  EXPECT_EQ(toHex(serial.lastWritten()), "AA 55 07 00 00 00 01 01 10 27 00 00 39 00 55 AA");
  EXPECT_TRUE(form.messages().empty());
}

TEST_F(CalibrationPage, CalibrationPointRefusesACurrentTestThatIsNoWholeNumber) {
  start();
  for (const char* text : {"", "  ", "--", "12a", "99999999999"}) {
    form.setText(kFirstCurrentTest, text);
    page.onClicked(kFirstCalibrationPoint);
    ASSERT_EQ(form.messages().size(), 1u) << text;
    EXPECT_NE(form.messages()[0].text.find("reference current"), std::string::npos);
    EXPECT_NE(form.messages()[0].text.find("mA"), std::string::npos);
    form.clearMessages();
  }
  EXPECT_TRUE(serial.written.empty());
  form.setText(kFirstCurrentTest, "0");  // typed by the user: a reference like any other
  page.onClicked(kFirstCalibrationPoint);
  EXPECT_EQ(toHex(serial.lastWritten()), toHex(calibrationPointRequest(0, 0, 0)));
}

// ---- run states -----------------------------------------------------------------------------

TEST_F(CalibrationPage, ReadDuringARunIsRefusedAndSendsNothing) {
  start();
  page.onClicked(kFirstRead + 2);
  expectOneMessage("Please Stop the Calibration!", "Warming");
  EXPECT_TRUE(serial.written.empty());
}

TEST_F(CalibrationPage, CalibrationPointNeedsARunAndAnOpenPort) {
  page.onClicked(kFirstCalibrationPoint);
  expectOneMessage("Please Start Calibration or Check Port open!", "Warming");
  start();
  serial.setOpen(false);
  page.onClicked(kFirstCalibrationPoint);
  expectOneMessage("Please Start Calibration or Check Port open!", "Warming");
  EXPECT_TRUE(serial.written.empty());
}

TEST_F(CalibrationPage, ARunCanNeitherStartNorEndWhileThePortIsClosed) {
  serial.setOpen(false);
  page.onClicked(kStartStop);
  EXPECT_FALSE(page.running());
  serial.setOpen(true);
  start();
  serial.setOpen(false);
  page.onClicked(kStartStop);
  EXPECT_TRUE(page.running());
  EXPECT_EQ(form.text(kStartStop), "STOP");
  serial.setOpen(true);
  page.onClicked(kStartStop);
  EXPECT_FALSE(page.running());
  EXPECT_EQ(form.text(kStartStop), "START");
  EXPECT_TRUE(form.messages().empty());
  EXPECT_TRUE(serial.written.empty());
}

TEST_F(CalibrationPage, ReadWithThePortClosedAsksForTheSerialPortAndSendsNothing) {
  serial.setOpen(false);
  page.onClicked(kFirstRead);
  expectOneMessage("Please open the serial port.", "");
  EXPECT_EQ(serial.refusedWrites, 0);
}

// ---- results --------------------------------------------------------------------------------

TEST_F(CalibrationPage, ReadAnswerShowsCoefficientAndReference) {
  const std::pair<std::uint32_t, const char*> coefficients[] = {
      {1000, "1.000000"}, {1023, "1.023000"}, {0xFFFFFFFF, "4294967.500000"}};
  for (const auto& [raw, text] : coefficients) {
    page.onCalibrationResult(result(0, 0, kReadAnswer, raw, 10000));
    EXPECT_EQ(form.text(kFirstCoefficient), text) << raw;
  }
  EXPECT_EQ(form.text(kFirstCurrentTest), "10000");
  EXPECT_EQ(form.text(kStatus), "Read successful!");
}

TEST_F(CalibrationPage, AnAnswerTouchesItsPointOnlyWhenItsDirectionIsTheCheckedOne) {
  struct Case {
    int radio;
    std::uint8_t direction;
    bool touches;
  } cases[] = {{kDischarge, 0, true}, {kDischarge, 1, false}, {kCharge, 1, true},
               {kCharge, 0, false},   {kCharge, 2, false},    {kDischarge, 2, false}};
  for (const auto& c : cases) {
    form.setText(kFirstCoefficient + 2, "--");
    form.setText(kStatus, "");
    page.onClicked(c.radio);
    page.onCalibrationResult(result(c.direction, 2, kReadAnswer, 1500, -4000));
    EXPECT_EQ(form.text(kFirstCoefficient + 2), c.touches ? "1.500000" : "--") << int{c.direction};
    EXPECT_EQ(form.text(kFirstCurrentTest + 2), c.touches ? "-4000" : "0");
    EXPECT_EQ(form.text(kStatus), "Read successful!");
    form.setText(kFirstCurrentTest + 2, "0");
  }
}

TEST_F(CalibrationPage, WorkedExampleGivesPointErrorFortyAndEvaluationOnePercent) {
  start();
  form.setText(kFirstCurrentTest, "10000");
  calibrated(0, 10000, -9.6f, 1023);
  EXPECT_EQ(form.text(kStatus), "Calibration finish!");
  EXPECT_EQ(form.text(kFirstCoefficient), "1.023000");
  EXPECT_EQ(form.text(kFirstCurrentTest), "10000");
  EXPECT_EQ(form.text(kErrorEvaluation), "--");
  EXPECT_EQ(evaluationAtNextTick(), "0.0100");
  EXPECT_EQ(form.text(kStatus), "");
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
    form.setText(kStatus, "");
    calibrated(1, c.reference, c.live);
    EXPECT_EQ(form.text(kStatus), c.accepted ? "Calibration finish!" : "") << c.reference << " " << c.live;
  }
}

TEST_F(CalibrationPage, AnAnswerOutsideToleranceShowsItsCoefficientButKeepsThePointError) {
  start();
  calibrated(0, 10000, -9.6f);
  calibrated(0, 20000, -9.6f, 1100);
  EXPECT_EQ(form.text(kFirstCoefficient), "1.100000");
  EXPECT_EQ(evaluationAtNextTick(), "0.0100");
}

TEST_F(CalibrationPage, APointIndexAboveThreeChangesNoPointErrorAndNoEdit) {
  start();
  calibrated(0, 10000, -9.6f);
  calibrated(4, 10000, -9.99f);
  page.onCalibrationResult(result(0, 4, kReadAnswer, 2000, 777));
  EXPECT_EQ(form.text(kFirstCoefficient), "1.000000");
  for (int p = 0; p < kPointCount; ++p) EXPECT_EQ(form.text(kFirstCurrentTest + p), "0") << p;
  EXPECT_EQ(form.text(kFirstCoefficient + 3), "--");
  EXPECT_EQ(evaluationAtNextTick(), "0.0100");
}

TEST_F(CalibrationPage, AZeroReferenceWithinToleranceFinishesButKeepsThePointError) {
  start();
  calibrated(0, 10000, -9.6f);
  calibrated(0, 0, 0.2f);
  EXPECT_EQ(form.text(kStatus), "Calibration finish!");
  EXPECT_EQ(evaluationAtNextTick(), "0.0100");
}

TEST_F(CalibrationPage, EvaluationRefreshesOnlyDuringARunAndKeepsItsTextAfterStop) {
  calibrated(0, 10000, -9.6f);
  EXPECT_EQ(evaluationAtNextTick(), "--");
  start();
  EXPECT_EQ(evaluationAtNextTick(), "0.0100");
  page.onClicked(kStartStop);
  calibrated(1, 10000, -9.6f);
  EXPECT_EQ(evaluationAtNextTick(), "0.0100");
  start();
  EXPECT_EQ(evaluationAtNextTick(), "0.0200");
}

}  // namespace
}  // namespace orlo
