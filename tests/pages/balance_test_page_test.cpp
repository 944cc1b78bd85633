#include "pages/balance_test_page.h"

#include <gtest/gtest.h>

#include "link/requests.h"
#include "support/fake_form.h"
#include "support/fake_serial_control.h"
#include "support/hex.h"
#include "view/balance_test_ids.h"

namespace orlo {
namespace {

using namespace balance_ids;
using test::hex;
using test::toHex;

const char* const kDifferenceError = "均衡压差电压设置错误，请输入1~255之间的值";
const char* const kConditionCaption = "均衡条件设置报错";

class BalancePage : public ::testing::Test {
 protected:
  void SetUp() override {
    serial.setOpen(true);
    page.startUp();
  }
  void setCondition(const std::string& threshold, const std::string& difference, const std::string& release) {
    form.setText(BalanceId::ThresholdVoltage, threshold);
    form.setText(BalanceId::VoltageDifference, difference);
    form.setText(BalanceId::ReleaseVoltage, release);
  }
  FrameView frame(const std::string& text) {
    const Bytes b = hex(text);
    return FrameView(b.data(), b.size());
  }
  int redLamps() const {
    int n = 0;
    for (int i = 0; i < kLampCount; ++i) n += form.icon(BalanceId::Lamp1 + i) == Icon::BalanceRed;
    return n;
  }

  test::FakeForm form{"balance_test"};
  test::FakeSerialControl serial;
  BalanceTestPage page{form, serial};
};

// ---- start-up and balance condition ----------------------------------------------------------

TEST_F(BalancePage, StartUpShowsPlaceholdersRunsTimerEightAndLeavesManualModeOff) {
  EXPECT_EQ(form.timerPeriod(kStatusTimer), 2000);
  for (BalanceId id : {BalanceId::ThresholdVoltage, BalanceId::ReleaseVoltage, BalanceId::VoltageDifference})
    EXPECT_EQ(form.text(id), "--");
  EXPECT_FALSE(page.manualMode());
  EXPECT_EQ(form.text(BalanceId::ManualToggle), "Enter Manual Balance");
  EXPECT_EQ(form.icon(BalanceId::Lamp1), Icon::Grey);
}

TEST_F(BalancePage, SetSendsThresholdDifferenceAndReleaseLittleEndian) {
  setCondition("3600", "30", "3550");
  page.onClicked(BalanceId::Set);
  EXPECT_EQ(toHex(serial.lastWritten()), "AA 55 18 00 00 00 0F 10 0E 1E DE 0D 00 00 36 01 55 AA");
  EXPECT_TRUE(form.messages().empty());
  EXPECT_EQ(form.text(BalanceId::ThresholdVoltage), "3600");
}

TEST_F(BalancePage, SetAcceptsTheEdgesOfEveryRange) {
  struct Case {
    const char *threshold, *difference, *release;
    Bytes expected;
  } cases[] = {
      {"0", "1", "65535", balanceSetRequest(0, 1, 65535)},
      {" 65535 ", "255", "0", balanceSetRequest(65535, 255, 0)},
      {"3600", "30abc", "3550", balanceSetRequest(3600, 30, 3550)},  // the difference reads leading digits
  };
  for (const auto& c : cases) {
    serial.written.clear();
    setCondition(c.threshold, c.difference, c.release);
    page.onBalanceSet();
    ASSERT_EQ(serial.written.size(), 1u) << c.threshold << "/" << c.difference << "/" << c.release;
    EXPECT_EQ(toHex(serial.written[0]), toHex(c.expected));
  }
  EXPECT_TRUE(form.messages().empty());
}

TEST_F(BalancePage, SetRefusesADifferenceOutsideOneTo255WithTheBoardMessage) {
  for (const char* difference : {"0", "256", "", "--", "-1", "4294967297"}) {
    form.clearMessages();
    setCondition("3600", difference, "3550");
    page.onBalanceSet();
    ASSERT_EQ(form.messages().size(), 1u) << difference;
    EXPECT_EQ(form.messages()[0].text, kDifferenceError);
    EXPECT_EQ(form.messages()[0].caption, kConditionCaption);
    EXPECT_EQ(form.text(BalanceId::VoltageDifference), difference);
  }
  EXPECT_TRUE(serial.written.empty());
}

TEST_F(BalancePage, SetRefusesAVoltageThatIsNotAWholeNumberUpTo65535AndNamesTheField) {
  struct Case {
    BalanceId field;
    const char* text;
    const char* name;
  } cases[] = {
      {BalanceId::ThresholdVoltage, "--", "Threshold Voltage"},
      {BalanceId::ThresholdVoltage, "70000", "Threshold Voltage"},
      {BalanceId::ThresholdVoltage, "", "Threshold Voltage"},
      {BalanceId::ThresholdVoltage, "-1", "Threshold Voltage"},
      {BalanceId::ReleaseVoltage, "--", "Release Voltage"},
      {BalanceId::ReleaseVoltage, "35 50", "Release Voltage"},
      {BalanceId::ReleaseVoltage, "65536", "Release Voltage"},
      {BalanceId::ReleaseVoltage, "3550mV", "Release Voltage"},
  };
  for (const auto& c : cases) {
    form.clearMessages();
    setCondition("3600", "30", "3550");
    form.setText(c.field, c.text);
    page.onBalanceSet();
    ASSERT_EQ(form.messages().size(), 1u) << c.text;
    EXPECT_NE(form.messages()[0].text.find(c.name), std::string::npos) << form.messages()[0].text;
    EXPECT_NE(form.messages()[0].text.find("0 to 65535"), std::string::npos);
  }
  EXPECT_TRUE(serial.written.empty());
}

TEST_F(BalancePage, ReadSendsTheFixedReadRequest) {
  page.onClicked(BalanceId::Read);
  EXPECT_EQ(toHex(serial.lastWritten()), "AA 55 18 00 00 00 0E 00 00 00 00 00 00 00 0E 00 55 AA");
}

TEST_F(BalancePage, WithThePortClosedReadSetAndCellButtonsDoNothingAndSayNothing) {
  page.onManualBalance();  // manual mode on while the port is still open
  serial.setOpen(false);
  setCondition("3600", "0", "3550");
  for (BalanceId id : {BalanceId::Read, BalanceId::Set, BalanceId::CellButton1, BalanceId::CellButton1 + 3})
    page.onClicked(id);
  EXPECT_TRUE(form.messages().empty());
  EXPECT_TRUE(serial.written.empty());
  EXPECT_EQ(serial.refusedWrites, 0);
}

TEST_F(BalancePage, ReadResultFillsTheFieldsAndTheStatusLastsUntilTheNextTick) {
  page.showBalanceCondition(
      *decodeBalanceCondition(frame("AA 55 18 00 00 00 0E 10 0E 1E DE 0D 00 00 46 01 55 AA")));
  EXPECT_EQ(form.text(BalanceId::ThresholdVoltage), "3600");
  EXPECT_EQ(form.text(BalanceId::VoltageDifference), "30");
  EXPECT_EQ(form.text(BalanceId::ReleaseVoltage), "3550");
  EXPECT_EQ(form.text(BalanceId::Status), "Read successful!");
  page.onTimer(kStatusTimer + 1);
  EXPECT_EQ(form.text(BalanceId::Status), "Read successful!");
  page.onTimer(kStatusTimer);
  EXPECT_EQ(form.text(BalanceId::Status), "");
}

TEST_F(BalancePage, ABalanceFrameThatIsNotAReadResultChangesNothing) {
  EXPECT_FALSE(decodeBalanceCondition(frame("AA 55 18 00 00 00 0F 10 0E 1E DE 0D 00 00 47 01 55 AA")));
  EXPECT_EQ(form.text(BalanceId::ThresholdVoltage), "--");
  EXPECT_EQ(form.text(BalanceId::Status), "");
}

// ---- balancing lamps ------------------------------------------------------------------------

TEST_F(BalancePage, EachFlagBitLightsExactlyItsLampAndBit15LightsNone) {
  for (int n = 1; n <= kLampCount; ++n) {
    page.updateBalanceLamps(static_cast<std::uint16_t>(1u << (n - 1)));
    EXPECT_EQ(form.icon(BalanceId::Lamp1 + n - 1), Icon::BalanceRed) << n;
    EXPECT_EQ(redLamps(), 1) << n;
  }
  page.updateBalanceLamps(0x8001);
  EXPECT_EQ(form.icon(BalanceId::Lamp1), Icon::BalanceRed);
  EXPECT_EQ(redLamps(), 1);
}

TEST_F(BalancePage, ALampNumberOutsideOneTo15TouchesNoControl) {
  page.setBalanceLamp(0, 1);
  page.setBalanceLamp(16, 1);
  EXPECT_EQ(form.icon(BalanceId::Read), Icon::None);
  EXPECT_EQ(form.icon(BalanceId::CellButton1), Icon::None);
}

// ---- manual balance test --------------------------------------------------------------------

TEST_F(BalancePage, EnteringSendsNothingGreysLampsAndArmsTheCellButtons) {
  page.updateBalanceLamps(0x0007);
  page.onClicked(BalanceId::ManualToggle);
  EXPECT_EQ(form.text(BalanceId::ManualToggle), "Exit Manual Balance");
  EXPECT_TRUE(page.manualMode());
  EXPECT_EQ(redLamps(), 0);
  EXPECT_TRUE(serial.written.empty());

  page.onClicked(BalanceId::CellButton1 + 2);
  EXPECT_EQ(toHex(serial.lastWritten()), "AA 55 18 00 00 00 0D 01 04 00 00 00 00 00 12 00 55 AA");
}

TEST_F(BalancePage, EachCellPressSendsItsOwnMaskNeverACombination) {
  page.onManualBalance();
  for (int cell = 1; cell <= 4; ++cell) page.onClicked(BalanceId::CellButton1 + cell - 1);
  page.onClicked(BalanceId::CellButton1 + 4);  // "Cell5" has no action
  ASSERT_EQ(serial.written.size(), 4u);
  for (int cell = 1; cell <= 4; ++cell) {
    EXPECT_EQ(serial.written[cell - 1][8], 1u << (cell - 1)) << cell;
    EXPECT_EQ(toHex(serial.written[cell - 1]), toHex(manualBalanceRequest(cell)));
  }
}

TEST_F(BalancePage, CellButtonsOutsideManualModeSendNothing) {
  for (int k = 0; k < kCellButtonCount; ++k) page.onClicked(BalanceId::CellButton1 + k);
  EXPECT_TRUE(serial.written.empty());
}

TEST_F(BalancePage, LeavingSendsTheOffRequestAndGreysTheLamps) {
  page.onManualBalance();
  page.updateBalanceLamps(0x0002);
  page.onManualBalance();
  EXPECT_EQ(form.text(BalanceId::ManualToggle), "Enter Manual Balance");
  EXPECT_FALSE(page.manualMode());
  EXPECT_EQ(redLamps(), 0);
  ASSERT_EQ(serial.written.size(), 1u);
  EXPECT_EQ(toHex(serial.written[0]), "AA 55 18 00 00 00 0D 00 00 00 00 00 00 00 0D 00 55 AA");
}

TEST_F(BalancePage, APressWithThePortClosedKeepsTheExitCaptionButDisarmsTheCells) {
  page.onManualBalance();
  serial.setOpen(false);
  page.onManualBalance();
  ASSERT_EQ(form.messages().size(), 1u);
  EXPECT_EQ(form.messages()[0].text, "请打开串口");
  EXPECT_EQ(form.messages()[0].caption, "");
  EXPECT_EQ(form.text(BalanceId::ManualToggle), "Exit Manual Balance");
  EXPECT_FALSE(page.manualMode());

  serial.setOpen(true);
  page.onManualCell(1);
  EXPECT_TRUE(serial.written.empty());
  page.onManualBalance();  // the next press with the port open switches the board's test off
  EXPECT_EQ(form.text(BalanceId::ManualToggle), "Enter Manual Balance");
  EXPECT_EQ(toHex(serial.lastWritten()), toHex(manualBalanceOffRequest()));
}

}  // namespace
}  // namespace orlo
