// The "Alarm Parameter" tab against the simulated board in simulated time: Read shows what the
// board holds, Set changes on the board exactly the value that was edited, and a refused Set
// puts nothing on the line.

#include <gmock/gmock.h>

#include <algorithm>
#include <utility>

#include "link/frame_bytes.h"
#include "support/board_defaults.h"
#include "support/hex.h"
#include "support/sim_run.h"

namespace orlo::test {
namespace {

using namespace frame_bytes;

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

using test::BoxTexts;
using test::kBoardDefaults;

bool isReadResult(const Bytes& f) {
  return f.size() >= 82 && f[kCommandAt] == kAlarmSet;
}
bool isAcknowledge(const Bytes& f) {
  return f.size() >= 3 && f[kCommandAt] == kSetAcknowledge;
}

class AlarmPage : public ::testing::Test {
 protected:
  void SetUp() override {
    run.form.setCurrentIndex(MainId::Tabs, 2);
    run.pressStartUp();
    ASSERT_TRUE(run.line.isOpen());
    ASSERT_TRUE(run.advanceUntil([&] { return run.form.text(MainId::LinkText) == "Comm OK!"; }, 5000));
    run.alarmForm.traceTexts(AlarmId::Status);
  }

  Bytes lastRead() const {
    for (auto it = run.dispatched.rbegin(); it != run.dispatched.rend(); ++it)
      if (isReadResult(*it)) return *it;
    return {};
  }
  BoxTexts boxes() const {
    BoxTexts out;
    for (const auto& [id, unused] : kBoardDefaults) out.emplace_back(id, run.alarmForm.text(id));
    return out;
  }
  void showPlaceholders() {
    for (const auto& [id, unused] : kBoardDefaults) run.alarmForm.setText(id, "--");
  }
  // Presses Read and runs until the answer has filled the boxes and the status line.
  void read() {
    const std::size_t before = run.countDispatched(isReadResult);
    run.alarmForm.tracedTexts.clear();
    run.click(AlarmId::Read);
    ASSERT_TRUE(run.advanceUntil(
        [&] { return run.countDispatched(isReadResult) > before && run.alarmForm.shown("Read successful!"); },
        3000))
        << "no Read result shown";
  }
  std::vector<std::string> receivedSets() const {
    std::vector<std::string> out;
    for (const Bytes& block : run.written({kHead0, kHead1, kAlarmSet})) out.push_back(compactHex(block));
    return out;
  }

  SimRun run;
};

TEST_F(AlarmPage, readFillsEveryBoxWithTheBoardsValuesAndTheStatusClearsOnTheNextTick) {
  ASSERT_EQ(run.alarmForm.text(AlarmId::ChgOcValue), "--");
  read();
  EXPECT_EQ(boxes(), kBoardDefaults);
  EXPECT_TRUE(run.advanceUntil([&] { return run.alarmForm.text(AlarmId::Status).empty(); }, 3000))
      << "status not cleared";
  EXPECT_THAT(run.messages(), ElementsAre());
}

// Each edit changes one box on top of the ones before it.
struct Edit {
  AlarmId box;
  std::string text;
  std::size_t offset;  // frame byte of its low byte
  int width;
  std::size_t record;  // index in the board's record
};

TEST_F(AlarmPage, setChangesOnTheBoardExactlyTheEditedValue) {
  const std::vector<Edit> edits = {
      {AlarmId::CellOvValue, "3600", 17, 16, 6},
      {AlarmId::ChgOcDelay, "255", 9, 8, 1},
      {AlarmId::ChgUtRelease, "-3", 55, 16, 29},
  };
  BoxTexts expected = kBoardDefaults;
  std::vector<std::string> expectedRequests;
  std::vector<int> expectedRecord;
  for (int i = 1; i <= static_cast<int>(kBoardDefaults.size()); ++i)
    expectedRecord.push_back(run.board.alarmRecord().value(i));
  for (const Edit& e : edits) {
    SCOPED_TRACE("box " + std::to_string(idNumber(e.box)) + " = " + e.text);
    read();
    const Bytes answer = lastRead();
    Bytes data(answer.begin() + 7, answer.begin() + 78);
    const auto value = static_cast<std::uint16_t>(std::stoi(e.text));
    data[e.offset - 7] = static_cast<std::uint8_t>(value & 0xFF);
    if (e.width == 16) data[e.offset - 6] = static_cast<std::uint8_t>(value >> 8);
    expectedRequests.push_back(compactHex(setRequestCarrying(data)));
    for (auto& [id, text] : expected)
      if (id == e.box) text = e.text;
    expectedRecord[e.record] = std::stoi(e.text);

    run.alarmForm.setText(e.box, e.text);
    const std::size_t acknowledged = run.countDispatched(isAcknowledge);
    run.alarmForm.tracedTexts.clear();
    run.click(AlarmId::Set);
    ASSERT_TRUE(run.advanceUntil([&] { return run.countDispatched(isAcknowledge) > acknowledged; }, 3000))
        << "no Set acknowledge";
    EXPECT_TRUE(run.advanceUntil([&] { return run.alarmForm.shown("Set successful!"); }, 1000));

    showPlaceholders();
    read();
    EXPECT_EQ(boxes(), expected);
    const Bytes stored = lastRead();
    EXPECT_EQ(compactHex(Bytes(stored.begin() + 7, stored.begin() + 78)), compactHex(data))
        << "the board did not store what was sent";
  }
  EXPECT_EQ(receivedSets(), expectedRequests);
  std::vector<int> record;
  for (int i = 1; i <= static_cast<int>(kBoardDefaults.size()); ++i)
    record.push_back(run.board.alarmRecord().value(i));
  EXPECT_EQ(record, expectedRecord) << "the board's record";
  EXPECT_THAT(run.messages(), ElementsAre());
}

TEST_F(AlarmPage, setRightAfterStartIsRefusedAndNothingReachesTheBoard) {
  ASSERT_EQ(run.alarmForm.text(AlarmId::CellOvValue), "--");
  run.click(AlarmId::Set);
  EXPECT_THAT(run.messages(),
              ElementsAre(AllOf(HasSubstr("\"Value\" in \"CHG OC Protect(Range)\""), HasSubstr("Read"))));
  EXPECT_EQ(run.alarmForm.text(AlarmId::CellOvValue), "--");
  read();
  EXPECT_FALSE(run.alarmForm.shown("Set successful!"));
  EXPECT_EQ(run.written({kHead0, kHead1, kAlarmRead}).size(), 1u);
  EXPECT_EQ(receivedSets(), std::vector<std::string>{});
}

struct Refusal {
  AlarmId box;
  std::string text;
  std::string named;  // the message must contain this
};

TEST_F(AlarmPage, outOfRangeBoxesAreRefusedAndTheBoardKeepsItsValues) {
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
    run.alarmForm.setText(r.box, r.text);
    run.alarmForm.clearMessages();
    run.click(AlarmId::Set);
    EXPECT_THAT(run.messages(), ElementsAre(HasSubstr(r.named)));
    EXPECT_EQ(run.alarmForm.text(r.box), r.text) << "a refused Set must leave the box as typed";
    run.advance(500);
    EXPECT_EQ(receivedSets(), std::vector<std::string>{}) << "a refused Set wrote to the line";
  }
  run.alarmForm.clearMessages();
  read();
  EXPECT_EQ(boxes(), kBoardDefaults);
  EXPECT_EQ(receivedSets(), std::vector<std::string>{});
  EXPECT_THAT(run.messages(), ElementsAre());
}

}  // namespace
}  // namespace orlo::test
