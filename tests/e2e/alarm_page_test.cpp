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
#include "view/alarm_parameter_ids.h"
#include "support/hex.h"

namespace orlo::test {
namespace {

using namespace alarm_ids;
using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
constexpr int kAlarmTab = 2;

using BoxTexts = std::vector<std::pair<int, std::string>>;

// The simulator's factory settings in record order, as the boxes must show them: unsigned
// currents above 32767, negative temperatures, the ID from byte 4.
const BoxTexts kBoardDefaults = {
    {kChgOcValue, "30000"},    {kChgOcDelay, "5"},
    {kChgOcRelease, "25000"},  {kDsgOcValue, "50000"},
    {kDsgOcDelay, "5"},        {kDsgOcRelease, "40000"},
    {kCellOvValue, "3650"},    {kCellOvDelay, "2"},
    {kCellOvRelease, "3500"},  {kCellUvValue, "2500"},
    {kCellUvDelay, "2"},       {kCellUvRelease, "2900"},
    {kOvDifferValue, "300"},   {kOvDifferDelay, "5"},
    {kOvDifferRelease, "150"}, {kOtDifferValue, "10"},
    {kOtDifferDelay, "5"},     {kOtDifferRelease, "5"},
    {kDsgOtValue, "60"},       {kDsgOtDelay, "5"},
    {kDsgOtRelease, "55"},     {kDsgUtValue, "-20"},
    {kDsgUtDelay, "5"},        {kDsgUtRelease, "-15"},
    {kChgOtValue, "55"},       {kChgOtDelay, "5"},
    {kChgOtRelease, "50"},     {kChgUtValue, "-5"},
    {kChgUtDelay, "5"},        {kChgUtRelease, "0"},
    {kBusOvValue, "14600"},    {kBusOvDelay, "2"},
    {kBusOvRelease, "14000"},  {kBusUvValue, "10000"},
    {kBusUvDelay, "2"},        {kBusUvRelease, "11600"},
    {kNominalCapacity, "50"},  {kBmsId, "1"},
    {kCycles, "12"},           {kSoc, "80"},
    {kSocWarning, "10"},       {kMosfetOtValue, "75"},
    {kMosfetOtDelay, "5"},     {kMosfetOtRelease, "65"},
};

// Every text the alarm page's status line was given, in order. The trace sees all forms, and
// 1078 is also a box on other tabs, so only texts that the alarm page now shows are kept.
ui::QtForm* g_tracedPage = nullptr;
std::vector<std::string>* g_statusTexts = nullptr;

void traceStatus(int id, const std::string& text) {
  if (id == kStatus && g_tracedPage && g_statusTexts && g_tracedPage->text(kStatus) == text)
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
  void typeInto(int id, const std::string& text) {
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
    click(kRead);
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
  ASSERT_EQ(page().text(kChgOcValue), "--");
  read();
  saveScreenshot("alarm_read.png");
  EXPECT_EQ(boxes(), kBoardDefaults);
  EXPECT_TRUE(QTest::qWaitFor([&] { return page().text(kStatus).empty(); }, 3000)) << "status not cleared";
  EXPECT_TRUE(messages.empty()) << messages.front();
}

// Each edit changes one box on top of the ones before it.
struct Edit {
  int box;
  std::string text;
  std::size_t offset;  // frame byte of its low byte
  int width;
  bool typed;  // false: put there as a loaded file would (typing takes digits only)
};

TEST_F(AlarmEndToEnd, setChangesOnTheBoardExactlyTheEditedValue) {
  const std::vector<Edit> edits = {
      {kCellOvValue, "3600", 17, 16, true},
      {kChgOcDelay, "255", 9, 8, true},
      {kChgUtRelease, "-3", 55, 16, false},
  };
  BoxTexts expected = kBoardDefaults;
  std::vector<std::string> expectedRequests;
  for (const Edit& e : edits) {
    SCOPED_TRACE("box " + std::to_string(e.box) + " = " + e.text);
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
    click(kSet);
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
  ASSERT_EQ(page().text(kCellOvValue), "--");
  click(kSet);
  EXPECT_THAT(messages,
              ElementsAre(AllOf(HasSubstr("\"Value\" in \"CHG OC Protect(Range)\""), HasSubstr("Read"))));
  EXPECT_EQ(page().text(kCellOvValue), "--");
  // The Read goes out after anything the Set might have written, so once its answer is here
  // the record holds every request of this test.
  read();
  EXPECT_FALSE(statusShown("Set successful!"));
  EXPECT_EQ(receivedRequests("AA550C").size(), 1u);
  EXPECT_EQ(receivedRequests("AA5547"), std::vector<std::string>{});
  EXPECT_EQ(sim.report()["requests_cmd_47"], 0);
}

struct Refusal {
  int box;
  std::string text;
  std::string named;  // the message must contain this
};

TEST_F(AlarmEndToEnd, outOfRangeBoxesAreRefusedAndTheBoardKeepsItsValues) {
  const std::vector<Refusal> refusals = {
      {kCellOvDelay, "300", "\"Delay\" in \"Cell OV Protect(Range)\" must be a whole number from 0 to 255"},
      {kCellOvValue, "70000",
       "\"Value\" in \"Cell OV Protect(Range)\" must be a whole number from 0 to 65535"},
      {kDsgUtValue, "-32769",
       "\"Value(-40~0)\" in \"DSG UT Protect(Range)\" must be a whole number from -32768"},
      {kSoc, "101", "SOC设置错误，请输入0~100之间的值"},
  };
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(r.text);
    read();
    page().setText(r.box, r.text);
    messages.clear();
    click(kSet);
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
