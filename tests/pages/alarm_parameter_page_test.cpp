#include "pages/alarm_parameter_page.h"

#include <gtest/gtest.h>

#include "core/alarm_parameter_record.h"
#include "support/fake_form.h"
#include "support/fake_serial_control.h"
#include "support/hex.h"
#include "view/alarm_parameter_ids.h"

namespace orlo {
namespace {

using namespace alarm_ids;

constexpr const char* kSocMessage = "SOC设置错误，请输入0~100之间的值";
constexpr const char* kSocCaption = "SOC设置报错";

class AlarmPage : public ::testing::Test {
 protected:
  void SetUp() override {
    serial.setOpen(true);
    page.initPage("/nonexistent-working-folder", "/home/user/Desktop");
  }

  // Fills every box with a valid, distinct number (the ID with free text).
  void fillValidValues() {
    for (const auto& row : alarmParameterRecord()) {
      const AcceptedRange r = acceptedRange(row);
      const std::int64_t value = r.min < 0 ? -(row.row * 7) : (row.row * 37) % (r.max + 1);
      form.setText(alarmBoxId(row), std::to_string(value));
    }
    form.setText(AlarmId::BoardId, "not a number");
  }

  FrameView readResult(const std::string& bytes) const {
    const Bytes frame = test::hex(bytes);
    return FrameView(frame.data(), frame.size());
  }

  test::FakeForm form{"alarm_parameter"};
  test::FakeSerialControl serial;
  orlo::AlarmParameterPage page{form, serial};
};

// ---- start-up ------------------------------------------------------------------------------

TEST_F(AlarmPage, InitPageShowsPlaceholdersLocksThePathBoxAndStartsTheStatusTimer) {
  for (const auto& row : alarmParameterRecord())
    EXPECT_EQ(form.text(alarmBoxId(row)), "--") << alarmBoxId(row);
  EXPECT_TRUE(form.isReadOnly(AlarmId::Path));
  EXPECT_EQ(form.timerPeriod(kStatusClearTimer), 2000);
}

// ---- read ----------------------------------------------------------------------------------

TEST_F(AlarmPage, ReadWritesTheFixedRequestOnce) {
  page.onClicked(AlarmId::Read);
  ASSERT_EQ(serial.written.size(), 1u);
  EXPECT_EQ(test::toHex(serial.written[0]), "AA 55 0C 00 00 00 B0 01 00 00 00 00 00 00 B1 00 55 AA");
}

TEST_F(AlarmPage, ReadAndSetSendNothingAndSayNothingWhileThePortIsClosed) {
  serial.setOpen(false);
  fillValidValues();
  page.onClicked(AlarmId::Read);
  page.onClicked(AlarmId::Set);
  EXPECT_TRUE(serial.written.empty());
  EXPECT_EQ(serial.refusedWrites, 0);
  EXPECT_TRUE(form.messages().empty());
}

TEST_F(AlarmPage, ReadResultShowsSignedAndUnsignedFieldsAndReportsSuccess) {
  Bytes frame(82, 0);
  frame[0] = 0xAA;
  frame[1] = 0x55;
  frame[2] = 0x47;
  frame[4] = 7;                        // the BMS's ID
  frame[42] = 0xEC, frame[43] = 0xFF;  // DSG UT value, signed
  frame[73] = 0xFF, frame[74] = 0xFF;  // MOSFET OT value, unsigned
  frame[57] = 0x00, frame[58] = 0x80;  // BUS OV value, signed
  frame[67] = 20, frame[68] = 80;      // SOC warning before SOC
  page.onReadResult(FrameView(frame.data(), frame.size()));
  EXPECT_EQ(form.text(AlarmId::BoardId), "7");
  EXPECT_EQ(form.text(AlarmId::DsgUtValue), "-20");
  EXPECT_EQ(form.text(AlarmId::MosfetOtValue), "65535");
  EXPECT_EQ(form.text(AlarmId::BusOvValue), "-32768");
  EXPECT_EQ(form.text(AlarmId::SocWarning), "20");
  EXPECT_EQ(form.text(AlarmId::Soc), "80");
  EXPECT_EQ(form.text(AlarmId::ChgOcValue), "0");
  EXPECT_EQ(form.text(AlarmId::Status), "Read successful!");
}

TEST_F(AlarmPage, ShortReadResultShowsZeroInTheFieldsBeyondItsEnd) {
  page.onReadResult(readResult("AA 55 47 00 05 00 B1 10 27 03"));
  EXPECT_EQ(form.text(AlarmId::ChgOcValue), "10000");
  EXPECT_EQ(form.text(AlarmId::ChgOcDelay), "3");
  EXPECT_EQ(form.text(AlarmId::BoardId), "5");
  for (AlarmId id : {AlarmId::ChgOcRelease, AlarmId::CellOvValue, AlarmId::Soc, AlarmId::MosfetOtRelease})
    EXPECT_EQ(form.text(id), "0") << id;
  EXPECT_EQ(form.text(AlarmId::Status), "Read successful!");
}

// ---- set -----------------------------------------------------------------------------------

TEST_F(AlarmPage, ValidBoxesRoundTripThroughTheSetFrameAndAReadResult) {
  fillValidValues();
  form.setText(AlarmId::DsgUtValue, "-20");
  form.setText(AlarmId::SocWarning, "250");
  form.setText(AlarmId::Soc, "100");
  std::vector<std::string> sent;
  page.collectValues(&sent);
  page.onClicked(AlarmId::Set);
  ASSERT_EQ(serial.written.size(), 1u);
  const Bytes& frame = serial.written[0];
  ASSERT_EQ(frame.size(), 82u);
  EXPECT_EQ(test::toHex(Bytes(frame.begin(), frame.begin() + 7)), "AA 55 47 00 00 00 B1");
  EXPECT_EQ(test::toHex(Bytes(frame.begin() + 42, frame.begin() + 44)), "EC FF");
  EXPECT_EQ(frame[67], 250);
  EXPECT_EQ(frame[68], 100);
  unsigned sum = 0;
  for (std::size_t i = 4; i <= 77; ++i) sum += frame[i];
  EXPECT_EQ(frame[78] | (frame[79] << 8), sum & 0xFFFF);
  EXPECT_EQ(test::toHex(Bytes(frame.end() - 2, frame.end())), "55 AA");
  EXPECT_TRUE(form.messages().empty());

  // The Set frame has the Read result's layout, so a second page must show the same texts.
  test::FakeForm otherForm{"alarm_parameter"};
  orlo::AlarmParameterPage other{otherForm, serial};
  other.onReadResult(FrameView(frame.data(), frame.size()));
  for (const auto& row : alarmParameterRecord()) {
    if (!row.sent) continue;
    EXPECT_EQ(otherForm.text(alarmBoxId(row)), sent[static_cast<std::size_t>(row.row - 1)])
        << alarmBoxId(row);
  }
}

TEST_F(AlarmPage, TheIdBoxIsNeverSentWhateverItHolds) {
  fillValidValues();
  form.setText(AlarmId::BoardId, "--");
  page.onClicked(AlarmId::Set);
  form.setText(AlarmId::BoardId, "255");
  page.onClicked(AlarmId::Set);
  ASSERT_EQ(serial.written.size(), 2u);
  EXPECT_EQ(serial.written[0], serial.written[1]);
  EXPECT_EQ(serial.written[0][4], 0);
}

TEST_F(AlarmPage, SetRightAfterStartAsksForAReadOrALoadAndSendsNothing) {
  page.onClicked(AlarmId::Set);
  EXPECT_TRUE(serial.written.empty());
  ASSERT_EQ(form.messages().size(), 1u);
  const std::string& text = form.messages()[0].text;
  EXPECT_NE(text.find("\"Value\" in \"CHG OC Protect(Range)\""), std::string::npos) << text;
  EXPECT_NE(text.find("Read"), std::string::npos) << text;
  EXPECT_NE(text.find("load"), std::string::npos) << text;
}

// Each case: one bad box among valid ones; nothing may reach the line and the message must
// point at that box (or, for the SOC, be the SOC's own message).
TEST_F(AlarmPage, SetRefusesAnyBoxOutsideItsFieldAndNamesIt) {
  struct Case {
    AlarmId box;
    const char* text;
    const char* needle;   // expected in the message
    const char* caption;  // expected caption
  } cases[] = {
      {AlarmId::ChgOcDelay, "300",
       "\"Delay\" in \"CHG OC Protect(Range)\" must be a whole number from 0 to 255", ""},
      {AlarmId::CellOvValue, "70000",
       "\"Value\" in \"Cell OV Protect(Range)\" must be a whole number from 0 to 65535", ""},
      {AlarmId::BusOvRelease, "40000",
       "\"Release(1~16000)\" in \"BUS OV Protect(Range)\" must be a whole number from "
       "-32768 to 32767",
       ""},
      {AlarmId::DsgUtValue, "-32769", "DSG UT Protect(Range)", ""},
      {AlarmId::CellUvValue, "-1", "\"Value\" in \"Cell UV Protect(Range)\"", ""},
      {AlarmId::MosfetOtDelay, "12a", "\"Delay(1~60)\" in \"MOSFET OT Protect(Range)\"", ""},
      {AlarmId::Cycles, "", "\"Cycles\" in \"Battery Information\"", ""},
      {AlarmId::SocWarning, "256", "\"SOC Warming(0~100)\" in \"SOC\"", ""},
      {AlarmId::OtDifferRelease, " -- ", "holds no value yet", ""},
      {AlarmId::CellOvValue, "4294967296", "\"Value\" in \"Cell OV Protect(Range)\"",
       ""},  // 2^32: no wrap to 0
      {AlarmId::Soc, "101", kSocMessage, kSocCaption},
      {AlarmId::Soc, "-1", kSocMessage, kSocCaption},
      {AlarmId::Soc, "65636", kSocMessage, kSocCaption},  // low 16 bits are 100: still refused
      {AlarmId::Soc, "abc", kSocMessage, kSocCaption},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("box ") + std::to_string(idNumber(c.box)) + " = '" + c.text + "'");
    fillValidValues();
    form.setText(c.box, c.text);
    form.clearMessages();
    page.onClicked(AlarmId::Set);
    EXPECT_TRUE(serial.written.empty());
    ASSERT_EQ(form.messages().size(), 1u);
    EXPECT_NE(form.messages()[0].text.find(c.needle), std::string::npos) << form.messages()[0].text;
    EXPECT_EQ(form.messages()[0].caption, c.caption);
    EXPECT_EQ(form.text(c.box), c.text);
  }
}

TEST_F(AlarmPage, SetAcceptsTheEdgesOfEachRange) {
  fillValidValues();
  form.setText(AlarmId::Soc, "0");
  form.setText(AlarmId::ChgOcDelay, "255");
  form.setText(AlarmId::CellOvValue, "65535");
  form.setText(AlarmId::BusOvValue, "-32768");
  form.setText(AlarmId::BusOvRelease, "32767");
  page.onClicked(AlarmId::Set);
  ASSERT_EQ(serial.written.size(), 1u);
  EXPECT_TRUE(form.messages().empty());
}

// ---- status line ---------------------------------------------------------------------------

TEST_F(AlarmPage, SetAcknowledgeShowsSuccessUntilTheNextStatusTick) {
  page.onSetAcknowledge();
  EXPECT_EQ(form.text(AlarmId::Status), "Set successful!");
  page.onTimer(kStatusClearTimer + 1);
  EXPECT_EQ(form.text(AlarmId::Status), "Set successful!");
  page.onTimer(kStatusClearTimer);
  EXPECT_EQ(form.text(AlarmId::Status), "");
}

}  // namespace
}  // namespace orlo
