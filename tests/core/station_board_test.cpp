// The station engine against the simulator's board model in simulated time: the ways out of the
// balance step the end-to-end run cannot time (Stop, a port pulled mid-cell), and the flag for
// a board that already passed today.

#include <gtest/gtest.h>

#include "core/station_board.h"
#include "link/receiver.h"
#include "link/requests.h"
#include "support/fixed_clock.h"
#include "support/scratch_files.h"
#include "support/sim_serial_control.h"

namespace orlo {
namespace {

using test::ScratchDir;

struct Listener : SerialListener {
  explicit Listener(StationBoard& b) : board(b) {}
  void onBytesReceived(const std::uint8_t* data, std::size_t size) override {
    receiver.onBytes(data, size);
    while (receiver.frameTick(board)) {
    }
  }
  void onCommEvent() override {}
  void onPortLost(const std::string& reason) override { board.onPortLost(reason); }
  StationBoard& board;
  Receiver receiver;
};

struct Silent : StationOperator {
  void askReading(const std::string&) override {}
};

class StationBoardTest : public ::testing::Test {
 protected:
  StationBoardTest() {
    model.setAtRest(true);
    model.setBoardId(7);
    recipe.name = "bench";
    recipe.recordDir = dir.file("records");
    recipe.balance.waitMs = 1000;
    clock.now.tm_year = 126;
    clock.now.tm_mon = 11;
    clock.now.tm_mday = 8;
    clock.now.tm_hour = 9;
  }

  // Runs one board until it finishes or `at` ms pass, then calls `then` once.
  const BoardReport& run(std::int64_t at = -1, const std::function<void(StationBoard&)>& then = {}) {
    boards.push_back(std::make_unique<StationBoard>(
        serial, recipe,
        StationSetup{"s", "o", "/dev/sim1", "A-1", dir.file("snapshots"), dir.file("writes.csv"), {}, {}},
        person, record, clock));
    StationBoard& board = *boards.back();
    Listener listener(board);
    serial.setListener(&listener);
    board.start(serial.nowMs());
    for (int i = 0; i < 2000 && !board.finished(); ++i) {
      serial.advanceTo(serial.nowMs() + 10);
      board.tick(serial.nowMs());
      if (at >= 0 && serial.nowMs() >= at && then) {
        then(board);
        at = -1;
      }
    }
    serial.setListener(nullptr);
    return board.report();
  }

  // The manual balance requests written, last first.
  Bytes lastManualBalance() const {
    for (auto it = serial.written.rbegin(); it != serial.written.rend(); ++it) {
      if (it->size() == 18 && (*it)[2] == 0x18 && (*it)[6] == 0x0D) return *it;
    }
    return {};
  }

  sim::BoardModel model;
  test::SimSerialControl serial{model};
  ScratchDir dir{"orlo-station-board"};
  Recipe recipe;
  StationRecord record{dir.file("records")};
  test::FixedClock clock;
  Silent person;
  std::vector<std::unique_ptr<StationBoard>> boards;
};

TEST_F(StationBoardTest, everyWayOutOfTheBalanceStepLeavesManualBalanceOffOrSaysItCouldNot) {
  model.failures().balanceNever(3);
  // Stop pressed while cell 3 is awaited: the off request is the last manual balance request.
  const BoardReport& stopped = run(500, [](StationBoard& b) { b.stop("Stop pressed"); });
  ASSERT_NE(stopped.failedStep(), nullptr);
  EXPECT_EQ(stopped.failedStep()->step, StationStep::Balance);
  EXPECT_NE(stopped.failedStep()->message.find("Stop pressed"), std::string::npos);
  EXPECT_EQ(stopped.failedStep()->values["manual_balance_off"], "sent");
  EXPECT_EQ(lastManualBalance(), manualBalanceOffRequest());
  EXPECT_FALSE(model.manualBalanceOn());

  // The port pulled mid-cell: nothing can be sent, and the report says so.
  const BoardReport& lost =
      run(serial.nowMs() + 500, [this](StationBoard&) { serial.pullPort("cable out"); });
  ASSERT_NE(lost.failedStep(), nullptr);
  EXPECT_EQ(lost.failedStep()->step, StationStep::Balance);
  EXPECT_EQ(lost.failedStep()->values["manual_balance_off"],
            "could not be sent: the port went away: cable out");
  EXPECT_EQ(lost.result, BoardResult::Fail);
}

TEST_F(StationBoardTest, aBoardThatPassedTodayIsFlaggedBeforeAnythingIsWritten) {
  recipe.balance.cells = {};  // no cells: no balance step
  const BoardReport& first = run();
  ASSERT_EQ(first.result, BoardResult::Pass) << reportJson(first).dump(1);
  EXPECT_EQ(first.find(StationStep::Balance)->result, StepResult::Skipped);
  EXPECT_EQ(first.find(StationStep::Identify)->values["passed_today"], "");
  const BoardReport& again = run();
  EXPECT_EQ(again.find(StationStep::Identify)->values["passed_today"], "board ID 7");
  EXPECT_NE(again.find(StationStep::Identify)->message.find("already passed"), std::string::npos);

  clock.now.tm_mday = 9;  // another day: nothing to flag
  const BoardReport& tomorrow = run();
  EXPECT_EQ(tomorrow.find(StationStep::Identify)->values["passed_today"], "");
}

TEST_F(StationBoardTest, aScannedLabelThatIsNotUtf8IsRecordedReplacedNotRefused) {
  BoardReport report;
  report.label = "A\xff,1";
  report.result = BoardResult::Pass;
  record.save(report);
  EXPECT_EQ(report.result, BoardResult::Pass) << report.error;
  const std::string csv = test::readFile(record.csvPath());
  EXPECT_NE(csv.find("\"A\xef\xbf\xbd,1\""), std::string::npos) << csv;
}

// The board that answers after the last one starts at once only when the label shown is not
// the last board's, or when the station runs without labels.
TEST(StationLabels, aNewLabelOrNoLabelsAtAllStartTheBoardAtOnce) {
  const struct {
    std::optional<std::string> last;
    const char* typed;
    bool atOnce;
  } cases[] = {
      {std::nullopt, "", false}, {std::nullopt, "L1", true}, {"L1", "L1", false},
      {"L1", "L2", true},        {"L1", "", true},           {"", "", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(startsAtOnce(c.last, c.typed), c.atOnce)
        << c.last.value_or("(none)") << " -> '" << c.typed << "'";
}

}  // namespace
}  // namespace orlo
