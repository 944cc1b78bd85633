#include "core/parameter_workflow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/alarm_parameter_file.h"
#include "link/frame_bytes.h"
#include "sim/board_model.h"
#include "support/board_defaults.h"
#include "support/fixed_clock.h"
#include "support/scratch_files.h"
#include "support/session_frames.h"
#include "support/sim_serial_control.h"

namespace orlo {
namespace {

bool isSet(const Bytes& block) {
  return block.size() > 2 && block[2] == frame_bytes::kAlarmSet;
}

struct Case {
  const char* name;
  std::function<void(test::SimSerialControl&, std::string& snapshotFolder)> arrange;
  std::function<void(std::vector<std::string>&)> edit;
  ParameterOutcome outcome;
  bool snapshot;         // a snapshot file is left
  const char* recorded;  // the outcome's start in writes.csv; nullptr: no line at all
};

TEST(ParameterWorkflow, EveryWriteKeepsTheBoardFirstAndLeavesOneLineSayingHowItEnded) {
  const auto moveCellOv = [](std::vector<std::string>& t) { t[6] = "3600"; };
  const Case cases[] = {
      {"verified", [](auto&, auto&) {}, moveCellOv, ParameterOutcome::Verified, true, "Verified"},
      {"no acknowledge",
       [](test::SimSerialControl& line, std::string&) {
         line.alterAnswers = [](const Bytes& q, std::vector<Bytes> a) {
           return isSet(q) ? std::vector<Bytes>{} : a;
         };
       },
       moveCellOv, ParameterOutcome::NoAnswer, true, "No answer: The board did not acknowledge"},
      {"snapshot folder unusable", [](auto&, std::string& folder) { test::writeFile(folder, "in the way"); },
       moveCellOv, ParameterOutcome::NotKept, false, "Snapshot failed"},
      {"refused", [](auto&, auto&) {}, [](std::vector<std::string>& t) { t[39] = "101"; },
       ParameterOutcome::Refused, false, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::ScratchDir scratch("orlo-workflow");
    std::string snapshotFolder = scratch.file("snapshots");
    sim::BoardModel board;
    const AlarmValues before = test::boardValues(board);
    test::SimSerialControl line(board);
    ParameterSession session(line);
    test::SessionFrames frames(session);
    test::SimEventLoop loop(line, frames);
    loop.onTick = [&](std::int64_t now) { session.tick(now); };
    test::FixedClock clock;
    clock.now.tm_year = 126;
    clock.now.tm_mday = 1;
    c.arrange(line, snapshotFolder);
    ParameterWorkflow workflow(session, SnapshotStore(snapshotFolder),
                               WriteRecord(scratch.file("writes.csv")), clock);
    bool snapshotBeforeSet = true;
    line.onWrite = [&](const Bytes& block) {
      if (isSet(block)) snapshotBeforeSet = workflow.snapshots().list().size() == 1;
    };

    std::vector<std::string> texts = parameterTexts(before);
    c.edit(texts);
    std::optional<ParameterResult> result;
    ASSERT_TRUE(
        workflow.write(texts, "/dev/ttyUSB0", loop.nowMs(), [&](const ParameterResult& r) { result = r; }));
    loop.runUntil([&] { return result.has_value(); }, 30000);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->outcome, c.outcome) << describe(*result);
    EXPECT_TRUE(snapshotBeforeSet);
    EXPECT_EQ(!workflow.lastSnapshot().empty(), c.snapshot);
    if (c.snapshot) {
      EXPECT_EQ(test::readFile(workflow.lastSnapshot()), formatAlarmParameterFile(parameterTexts(before)));
    } else {
      EXPECT_EQ(std::count_if(line.written.begin(), line.written.end(), isSet), 0);
    }

    const std::string record = test::readFile(scratch.file("writes.csv"));
    EXPECT_TRUE(workflow.recordProblem().empty()) << workflow.recordProblem();
    if (!c.recorded) {
      EXPECT_EQ(record, "");
      continue;
    }
    EXPECT_NE(record.find("2026-01-01T00:00:00+0000,/dev/ttyUSB0,1,Cell OV 3650→3600,"), std::string::npos)
        << record;
    EXPECT_NE(record.find(std::string(",") + c.recorded), std::string::npos) << record;
  }
}

}  // namespace
}  // namespace orlo
