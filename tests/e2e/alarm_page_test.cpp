// The "Alarm Parameter" tab against orlo-bms-sim: Read shows what the board holds, Set changes
// on the board exactly the value that was edited, and a refused Set puts nothing on the line.
//
// With ORLO_SCREENSHOT_DIR set, the window after the first Read is saved there as
// alarm_read.png (the user guide's picture of the tab).

#include <gmock/gmock.h>

#include <QLineEdit>
#include <algorithm>
#include <utility>

#include "e2e/e2e_fixture.h"
#include "support/hex.h"
#include "view/alarm_parameter_ids.h"

namespace orlo::test {
namespace {

using namespace alarm_ids;
using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
constexpr int kAlarmTab = 2;

using BoxTexts = std::vector<std::pair<AlarmId, std::string>>;

// The simulator's factory settings in record order, as the boxes must show them: unsigned
// currents above 32767, negative temperatures, the ID from byte 4.
const BoxTexts kBoardDefaults = {
    {AlarmId::ChgOcValue, "30000"},    {AlarmId::ChgOcDelay, "5"},
    {AlarmId::ChgOcRelease, "25000"},  {AlarmId::DsgOcValue, "50000"},
    {AlarmId::DsgOcDelay, "5"},        {AlarmId::DsgOcRelease, "40000"},
    {AlarmId::CellOvValue, "3650"},    {AlarmId::CellOvDelay, "2"},
    {AlarmId::CellOvRelease, "3500"},  {AlarmId::CellUvValue, "2500"},
    {AlarmId::CellUvDelay, "2"},       {AlarmId::CellUvRelease, "2900"},
    {AlarmId::OvDifferValue, "300"},   {AlarmId::OvDifferDelay, "5"},
    {AlarmId::OvDifferRelease, "150"}, {AlarmId::OtDifferValue, "10"},
    {AlarmId::OtDifferDelay, "5"},     {AlarmId::OtDifferRelease, "5"},
    {AlarmId::DsgOtValue, "60"},       {AlarmId::DsgOtDelay, "5"},
    {AlarmId::DsgOtRelease, "55"},     {AlarmId::DsgUtValue, "-20"},
    {AlarmId::DsgUtDelay, "5"},        {AlarmId::DsgUtRelease, "-15"},
    {AlarmId::ChgOtValue, "55"},       {AlarmId::ChgOtDelay, "5"},
    {AlarmId::ChgOtRelease, "50"},     {AlarmId::ChgUtValue, "-5"},
    {AlarmId::ChgUtDelay, "5"},        {AlarmId::ChgUtRelease, "0"},
    {AlarmId::BusOvValue, "14600"},    {AlarmId::BusOvDelay, "2"},
    {AlarmId::BusOvRelease, "14000"},  {AlarmId::BusUvValue, "10000"},
    {AlarmId::BusUvDelay, "2"},        {AlarmId::BusUvRelease, "11600"},
    {AlarmId::NominalCapacity, "50"},  {AlarmId::BoardId, "1"},
    {AlarmId::Cycles, "12"},           {AlarmId::Soc, "80"},
    {AlarmId::SocWarning, "10"},       {AlarmId::MosfetOtValue, "75"},
    {AlarmId::MosfetOtDelay, "5"},     {AlarmId::MosfetOtRelease, "65"},
};

// Every text the alarm page's status line was given, in order. The trace sees all forms, and
// 1078 is also a box on other tabs, so only texts that the alarm page now shows are kept.
ui::QtForm* g_tracedPage = nullptr;
std::vector<std::string>* g_statusTexts = nullptr;

void traceStatus(int id, const std::string& text) {
  if (id == idNumber(AlarmId::Status) && g_tracedPage && g_statusTexts &&
      g_tracedPage->text(AlarmId::Status) == text)
    g_statusTexts->push_back(text);
}

std::string compact(const Bytes& bytes) {
  std::string out = toHex(bytes);
  out.erase(std::remove(out.begin(), out.end(), ' '), out.end());
  return out;
}

// The Set request the board should receive: header, data bytes 7 to 77, checksum of 4 to 77.
Bytes setRequest(const Bytes& data) {
  Bytes frame = {0xAA, 0x55, 0x47, 0x00, 0x00, 0x00, 0xB1};
  frame.insert(frame.end(), data.begin(), data.end());
  unsigned sum = 0;
  for (std::size_t i = 4; i < frame.size(); ++i) sum += frame[i];
  frame.insert(frame.end(), {static_cast<std::uint8_t>(sum & 0xFF),
                             static_cast<std::uint8_t>((sum >> 8) & 0xFF), 0x55, 0xAA});
  return frame;
}

class AlarmEndToEnd : public TabEndToEnd {
 protected:
  AlarmEndToEnd() : TabEndToEnd(kAlarmTab) {}
  void SetUp() override {
    TabEndToEnd::SetUp();
    startOnTab({&reads, &acknowledges});
    if (HasFatalFailure()) return;
    g_tracedPage = &page();
    g_statusTexts = &statusTexts;
    ui::QtForm::setTextTrace(&traceStatus);
    ASSERT_TRUE(waitForCommOk());
  }
  void TearDown() override {
    ui::QtForm::setTextTrace(nullptr);
    g_tracedPage = nullptr;
    g_statusTexts = nullptr;
    TabEndToEnd::TearDown();
  }

  BoxTexts boxes() {
    BoxTexts out;
    for (const auto& [id, unused] : kBoardDefaults) out.emplace_back(id, page().text(id));
    return out;
  }
  void showPlaceholders() {
    for (const auto& [id, unused] : kBoardDefaults) page().setText(id, "--");
  }
  // Types into a box the way a user does: everything selected, then keys.
  void typeInto(AlarmId id, const std::string& text) {
    auto* edit = qobject_cast<QLineEdit*>(page().control(id));
    ASSERT_NE(edit, nullptr) << id;
    edit->selectAll();
    QTest::keyClicks(edit, QString::fromStdString(text));
    ASSERT_EQ(page().text(id), text) << "the box did not take the typed text";
  }
  bool statusShown(const std::string& text) {
    return std::find(statusTexts.begin(), statusTexts.end(), text) != statusTexts.end();
  }
  // Presses Read and waits until the answer has filled the boxes and the status line.
  void read() {
    const int before = reads.dispatched;
    statusTexts.clear();
    click(AlarmId::Read);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return reads.dispatched > before && statusShown("Read successful!"); }, 3000))
        << "no Read result shown";
  }

  // The board's Read results (the last one kept) and Set acknowledges.
  LastFrame reads{[](const std::uint8_t* f, std::size_t n) { return n >= 82 && f[2] == 0x47; }};
  LastFrame acknowledges{[](const std::uint8_t* f, std::size_t n) { return n >= 3 && f[2] == 0x48; }};
  std::vector<std::string> statusTexts;
};

TEST_F(AlarmEndToEnd, readFillsEveryBoxWithTheBoardsValuesAndTheStatusClearsOnTheNextTick) {
  ASSERT_EQ(page().text(AlarmId::ChgOcValue), "--");
  read();
  saveScreenshot("alarm_read.png");
  EXPECT_EQ(boxes(), kBoardDefaults);
  EXPECT_TRUE(QTest::qWaitFor([&] { return page().text(AlarmId::Status).empty(); }, 3000))
      << "status not cleared";
  EXPECT_TRUE(messages.empty()) << messages.front();
}

// Each edit changes one box on top of the ones before it.
struct Edit {
  AlarmId box;
  std::string text;
  std::size_t offset;  // frame byte of its low byte
  int width;
  bool typed;  // false: put there as a loaded file would (typing takes digits only)
};

TEST_F(AlarmEndToEnd, setChangesOnTheBoardExactlyTheEditedValue) {
  const std::vector<Edit> edits = {
      {AlarmId::CellOvValue, "3600", 17, 16, true},
      {AlarmId::ChgOcDelay, "255", 9, 8, true},
      {AlarmId::ChgUtRelease, "-3", 55, 16, false},
  };
  BoxTexts expected = kBoardDefaults;
  std::vector<std::string> expectedRequests;
  for (const Edit& e : edits) {
    SCOPED_TRACE("box " + std::to_string(idNumber(e.box)) + " = " + e.text);
    read();
    Bytes data(reads.bytes.begin() + 7, reads.bytes.begin() + 78);
    const auto value = static_cast<std::uint16_t>(std::stoi(e.text));
    data[e.offset - 7] = static_cast<std::uint8_t>(value & 0xFF);
    if (e.width == 16) data[e.offset - 6] = static_cast<std::uint8_t>(value >> 8);
    expectedRequests.push_back(compact(setRequest(data)));
    for (auto& [id, text] : expected)
      if (id == e.box) text = e.text;

    if (e.typed)
      typeInto(e.box, e.text);
    else
      page().setText(e.box, e.text);
    const int acknowledged = acknowledges.dispatched;
    statusTexts.clear();
    click(AlarmId::Set);
    ASSERT_TRUE(QTest::qWaitFor([&] { return acknowledges.dispatched > acknowledged; }, 3000))
        << "no Set acknowledge";
    EXPECT_TRUE(QTest::qWaitFor([&] { return statusShown("Set successful!"); }, 1000));

    showPlaceholders();
    read();
    EXPECT_EQ(boxes(), expected);
    EXPECT_EQ(compact(Bytes(reads.bytes.begin() + 7, reads.bytes.begin() + 78)), compact(data))
        << "the board did not store what was sent";
  }
  EXPECT_EQ(receivedRequests("AA5547"), expectedRequests);
  EXPECT_EQ(sim.report()["requests_cmd_47"], static_cast<long long>(edits.size()));
  EXPECT_TRUE(messages.empty()) << messages.front();
}

TEST_F(AlarmEndToEnd, setRightAfterStartIsRefusedAndNothingReachesTheBoard) {
  ASSERT_EQ(page().text(AlarmId::CellOvValue), "--");
  click(AlarmId::Set);
  EXPECT_THAT(messages,
              ElementsAre(AllOf(HasSubstr("\"Value\" in \"CHG OC Protect(Range)\""), HasSubstr("Read"))));
  EXPECT_EQ(page().text(AlarmId::CellOvValue), "--");
  // The Read goes out after anything the Set might have written, so once its answer is here
  // the record holds every request of this test.
  read();
  EXPECT_FALSE(statusShown("Set successful!"));
  EXPECT_EQ(receivedRequests("AA550C").size(), 1u);
  EXPECT_EQ(receivedRequests("AA5547"), std::vector<std::string>{});
  EXPECT_EQ(sim.report()["requests_cmd_47"], 0);
}

struct Refusal {
  AlarmId box;
  std::string text;
  std::string named;  // the message must contain this
};

TEST_F(AlarmEndToEnd, outOfRangeBoxesAreRefusedAndTheBoardKeepsItsValues) {
  const std::vector<Refusal> refusals = {
      {AlarmId::CellOvDelay, "300",
       "\"Delay\" in \"Cell OV Protect(Range)\" must be a whole number from 0 to 255"},
      {AlarmId::CellOvValue, "70000",
       "\"Value\" in \"Cell OV Protect(Range)\" must be a whole number from 0 to 65535"},
      {AlarmId::DsgUtValue, "-32769",
       "\"Value(-40~0)\" in \"DSG UT Protect(Range)\" must be a whole number from -32768"},
      {AlarmId::Soc, "101", "SOC设置错误，请输入0~100之间的值"},
  };
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(r.text);
    read();
    page().setText(r.box, r.text);
    messages.clear();
    click(AlarmId::Set);
    EXPECT_THAT(messages, ElementsAre(HasSubstr(r.named)));
    EXPECT_EQ(page().text(r.box), r.text) << "a refused Set must leave the box as typed";
  }
  messages.clear();
  read();
  EXPECT_EQ(boxes(), kBoardDefaults);
  EXPECT_EQ(receivedRequests("AA5547"), std::vector<std::string>{});
  EXPECT_TRUE(messages.empty()) << messages.front();
}

}  // namespace
}  // namespace orlo::test
