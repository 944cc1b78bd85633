// The main window around a parameter session, against the in-process board in simulated time:
// while the session runs the board's parameter answers and Set acknowledges are its own and the
// alarm page sees none of them; the page's own Set keeps the last Read as a snapshot (and a
// writes.csv line) before its bytes go out, or says that it kept none.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "core/parameter_file_check.h"
#include "core/snapshot_store.h"
#include "link/frame_bytes.h"
#include "link/requests.h"
#include "sim/board_model.h"
#include "support/board_defaults.h"
#include "support/fake_form.h"
#include "support/fixed_clock.h"
#include "support/scratch_files.h"
#include "support/sim_serial_control.h"
#include "support/window_forms.h"
#include "view/alarm_parameter_ids.h"
#include "view/main_window_ids.h"

namespace orlo {
namespace {

constexpr std::size_t kCellOv = 6;  // record index of the cell over-voltage limit
constexpr int kAlarmTab = 2;

bool isSet(const Bytes& block) {
  return block.size() == alarmParameterSetRequest({}).size() &&
         block[frame_bytes::kCommandAt] == frame_bytes::kAlarmSet;
}
bool isRead(const Bytes& block) {
  return block == alarmParameterReadRequest();
}

class MainWindowParameters : public ::testing::Test, protected test::WindowForms {
 protected:
  sim::BoardModel board;
  test::SimSerialControl line{board, false};
  test::FixedClock clock;
  test::ScratchDir data{"orlo-window-params"};
  std::unique_ptr<MainWindow> window;
  int steps = 0;

  void SetUp() override {
    clock.now.tm_year = 126;
    clock.now.tm_mon = 11;
    clock.now.tm_mday = 7;
    clock.now.tm_hour = 14;
    window = std::make_unique<MainWindow>(form, pages(), line, clock,
                                          MainWindowOptions{"/nonexistent", "/tmp", data.path()});
    window->onInitDialog();
    form.setCurrentIndex(MainId::SerialPorts, 0);
    window->onClicked(MainId::StartUp);
    ASSERT_TRUE(line.isOpen());
  }

  // The window's event loop: a frame tick every 100 ms and the live data poll every second, so
  // that live data frames come between the parameter answers as they do on a real line.
  void step() {
    line.advanceTo(line.nowMs() + 100);
    window->onTimer(main_ids::kFrameTimer);
    if (++steps % 10 == 0) window->onTimer(main_ids::kPollTimer);
  }
  void runUntil(const std::function<bool()>& done, int limitMs = 20000) {
    for (int ms = 0; ms < limitMs && !done(); ms += 100) step();
  }
  void runFor(int ms) {
    for (int t = 0; t < ms; t += 100) step();
  }
  void clickOnPage(AlarmId id) { window->pageEvents(kAlarmTab).onClicked(idNumber(id)); }
  std::string box(std::size_t index) const {
    return alarmForm.text(alarmBoxId(alarmParameterRecord()[index]));
  }
  void setBox(std::size_t index, const std::string& text) {
    alarmForm.setText(alarmBoxId(alarmParameterRecord()[index]), text);
  }
  std::size_t count(bool (*which)(const Bytes&)) const {
    std::size_t n = 0;
    for (const auto& block : line.written) n += which(block) ? 1 : 0;
    return n;
  }
  std::vector<SnapshotInfo> snapshots() const { return SnapshotStore(data.file("snapshots")).list(); }
  std::string writes() const { return test::readFile(data.file("writes.csv")); }
};

TEST_F(MainWindowParameters, aSessionReadGetsTheBoardsAnswerAndThePageNeitherShowsItNorClaimsIt) {
  std::optional<ParameterResult> result;
  ASSERT_TRUE(window->readBoardParameters([&](const ParameterResult& r) { result = r; }));
  runUntil([&] { return result.has_value(); });
  ASSERT_TRUE(result);
  EXPECT_EQ(result->outcome, ParameterOutcome::Done) << describe(*result);
  EXPECT_EQ(result->board, test::boardValues(board));
  for (std::size_t i = 0; i < kAlarmParameterCount; ++i) EXPECT_EQ(box(i), "--") << i;
  EXPECT_EQ(alarmForm.text(AlarmId::Status), "");

  // Once the session has finished, the page's own Read is the page's again.
  clickOnPage(AlarmId::Read);
  runFor(500);
  EXPECT_EQ(box(kCellOv), std::to_string(test::boardValues(board)[kCellOv]));
  EXPECT_EQ(alarmForm.text(AlarmId::Status), "Read successful!");
}

struct WriteCase {
  const char* name;
  bool pullPortAfterSet;
  ParameterOutcome outcome;
};

TEST_F(MainWindowParameters, aReviewedWriteRunsAgainstTheBoardAloneAndKeepsTheSnapshotHoweverItEnds) {
  const WriteCase cases[] = {
      {"to the end", false, ParameterOutcome::Verified},
      {"port lost after the Set", true, ParameterOutcome::PortLost},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (!line.isOpen()) window->onClicked(MainId::StartUp);
    const AlarmValues before = test::boardValues(board);
    std::vector<std::string> texts = parameterTexts(before);
    texts[kCellOv] = std::to_string(before[kCellOv] - 25);
    const std::size_t setsBefore = count(isSet);
    const std::size_t snapshotsBefore = snapshots().size();
    std::optional<ParameterResult> result;
    ASSERT_TRUE(window->writeParameters(texts, [&](const ParameterResult& r) { result = r; }));
    if (c.pullPortAfterSet) {
      runUntil([&] { return count(isSet) > setsBefore; });
      line.pullPort("device removed");
    }
    runUntil([&] { return result.has_value(); });
    ASSERT_TRUE(result);
    EXPECT_EQ(result->outcome, c.outcome) << describe(*result);
    EXPECT_TRUE(result->wrote);
    EXPECT_EQ(count(isSet), setsBefore + 1);
    EXPECT_EQ(box(kCellOv), "--") << "the session's answers reached the page";
    EXPECT_NE(alarmForm.text(AlarmId::Status), "Set successful!");
    ASSERT_EQ(snapshots().size(), snapshotsBefore + 1);
    EXPECT_EQ(readParameterFile(snapshots().back().path).values, parameterTexts(before));
    EXPECT_NE(writes().find(std::to_string(before[kCellOv]) + "→" + texts[kCellOv]), std::string::npos);
  }
  EXPECT_TRUE(alarmForm.messages().empty());
}

TEST_F(MainWindowParameters, thePageSetKeepsTheLastReadAsASnapshotBeforeItsBytesOrSaysItKeptNone) {
  std::vector<std::size_t> snapshotsWhenSetWritten;
  line.onWrite = [&](const Bytes& block) {
    if (isSet(block)) snapshotsWhenSetWritten.push_back(snapshots().size());
  };
  window->alarmPage().showValues(parameterTexts(test::boardValues(board)));
  const AlarmValues factory = test::boardValues(board);

  // No Read on this connection: the Set goes as before, with no snapshot.
  setBox(kCellOv, "3640");
  clickOnPage(AlarmId::Set);
  EXPECT_EQ(alarmForm.text(AlarmId::Status), "No snapshot kept: press Read first");
  runFor(500);
  EXPECT_EQ(alarmForm.text(AlarmId::Status), "Set successful!");

  // After a Read, the Set keeps what that Read showed, and sends nothing extra for it.
  clickOnPage(AlarmId::Read);
  runFor(500);
  const AlarmValues read = test::boardValues(board);
  ASSERT_EQ(read[kCellOv], 3640);
  setBox(kCellOv, "3600");
  clickOnPage(AlarmId::Set);
  EXPECT_EQ(alarmForm.text(AlarmId::Status), "Read successful!") << "the Set said it kept no snapshot";
  runFor(500);
  EXPECT_EQ(alarmForm.text(AlarmId::Status), "Set successful!");

  // The board may hold the sent values now: the Read before no longer tells what it holds.
  setBox(kCellOv, "3590");
  clickOnPage(AlarmId::Set);
  EXPECT_EQ(alarmForm.text(AlarmId::Status), "No snapshot kept: press Read first");
  runFor(500);

  EXPECT_EQ(snapshotsWhenSetWritten, (std::vector<std::size_t>{0, 1, 1}));
  ASSERT_EQ(snapshots().size(), 1u);
  EXPECT_EQ(readParameterFile(snapshots()[0].path).values, parameterTexts(read));
  EXPECT_EQ(count(isRead), 1u);
  const std::string record = writes();
  EXPECT_NE(record.find("?→3640"), std::string::npos) << record;
  EXPECT_NE(record.find("3640→3600"), std::string::npos) << record;
  EXPECT_NE(record.find("?→3590"), std::string::npos) << record;
  EXPECT_EQ(factory[kCellOv], 3650);
  EXPECT_TRUE(alarmForm.messages().empty());
}

TEST_F(MainWindowParameters, aPageSetWhileASessionRunsIsHeldBackWithAMessage) {
  window->alarmPage().showValues(parameterTexts(test::boardValues(board)));
  ASSERT_TRUE(window->readBoardParameters(nullptr));
  clickOnPage(AlarmId::Set);
  ASSERT_EQ(alarmForm.messages().size(), 1u);
  EXPECT_NE(alarmForm.messages()[0].text.find("Nothing was sent"), std::string::npos);
  runFor(3000);
  EXPECT_EQ(count(isSet), 0u);
  EXPECT_TRUE(snapshots().empty());
  EXPECT_EQ(writes(), "");
}

}  // namespace
}  // namespace orlo
