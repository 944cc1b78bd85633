#include "core/parameter_session.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/alarm_parameter_file.h"
#include "core/snapshot_store.h"
#include "link/frame_bytes.h"
#include "link/requests.h"
#include "sim/board_model.h"
#include "support/board_defaults.h"
#include "support/scratch_files.h"
#include "support/session_frames.h"
#include "support/sim_serial_control.h"

namespace orlo {
namespace {

using test::SessionFrames;
using test::SimSerialControl;
using Outcome = ParameterOutcome;
using Step = ParameterStep;

constexpr std::size_t kCellOv = 6;  // zero-based rows in record order
constexpr std::size_t kCellUv = 9;
constexpr std::size_t kBoardId = 37;

// A valid frame made of the first `length - 4` bytes of `frame`, with checksum and tail.
Bytes cutTo(const Bytes& frame, std::size_t length) {
  Bytes out(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(length - 4));
  out.resize(length);
  const std::uint16_t sum = frameChecksum(out.data(), length - 4);
  out[length - 4] = static_cast<std::uint8_t>(sum & 0xFF);
  out[length - 3] = static_cast<std::uint8_t>(sum >> 8);
  out[length - 2] = frame_bytes::kTail0;
  out[length - 1] = frame_bytes::kTail1;
  return out;
}

bool isCommand(const Bytes& frame, std::uint8_t command) {
  return frame.size() > frame_bytes::kCommandAt && frame[frame_bytes::kCommandAt] == command;
}

class ParameterSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    loop.onTick = [this](std::int64_t now) { session.tick(now); };
    loop.onLost = [this](const std::string& reason) { session.onPortLost(reason); };
  }

  ParameterSession::Done keep() {
    return [this](const ParameterResult& r) { result = r; };
  }
  ParameterResult runToEnd() {
    loop.runUntil([this] { return result.has_value(); }, 30000);
    EXPECT_TRUE(result.has_value()) << "the session never finished";
    return result.value_or(ParameterResult{});
  }
  AlarmValues boardValues() const { return test::boardValues(board); }
  // The board's values with Cell OV and Cell UV moved, as texts.
  std::vector<std::string> changedTexts() const {
    AlarmValues values = boardValues();
    values[kCellOv] = 3600;
    values[kCellUv] = 2600;
    return parameterTexts(values);
  }
  int writesOf(std::uint8_t command) const {
    int n = 0;
    for (const auto& block : line.written) n += isCommand(block, command) ? 1 : 0;
    return n;
  }

  sim::BoardModel board;
  SimSerialControl line{board};
  ParameterSession session{line};
  SessionFrames frames{session};
  test::SimEventLoop loop{line, frames};
  std::optional<ParameterResult> result;
};

// ---- the board behaves ----

TEST_F(ParameterSessionTest, ReadGivesTheBoardsValuesWithoutWritingAnythingElse) {
  ASSERT_TRUE(session.read(loop.nowMs(), keep()));
  const ParameterResult r = runToEnd();
  EXPECT_EQ(r.outcome, Outcome::Done);
  ASSERT_TRUE(r.haveBoard);
  EXPECT_EQ(r.board, boardValues());
  ASSERT_EQ(line.written.size(), 1u);
  EXPECT_EQ(line.written[0], alarmParameterReadRequest());
}

TEST_F(ParameterSessionTest, WriteReadsSetsReadsBackAndIsVerifiedWithTheBoardHoldingTheValues) {
  const AlarmValues before = boardValues();
  ASSERT_TRUE(session.write(changedTexts(), loop.nowMs(), keep()));
  const ParameterResult r = runToEnd();
  EXPECT_EQ(r.outcome, Outcome::Verified) << describe(r);
  EXPECT_EQ(describe(r), "Verified: 43 values written and read back");
  EXPECT_EQ(r.board, before);
  EXPECT_EQ(board.alarmRecord().value(7), 3600);
  EXPECT_EQ(board.alarmRecord().value(10), 2600);
  EXPECT_EQ(r.readBack[kCellOv], 3600);
  ASSERT_EQ(line.written.size(), 3u);
  EXPECT_TRUE(isCommand(line.written[0], frame_bytes::kAlarmRead));
  EXPECT_TRUE(isCommand(line.written[1], frame_bytes::kAlarmSet));
  EXPECT_TRUE(isCommand(line.written[2], frame_bytes::kAlarmRead));
}

TEST_F(ParameterSessionTest, SnapshotOfTheBoardIsOnDiskBeforeTheFirstSetByteIsWritten) {
  test::ScratchDir scratch("orlo-session");
  const SnapshotStore store(scratch.file("snapshots"));
  const AlarmValues before = boardValues();
  session.setKeepBoard([&](const AlarmValues& values, const ParameterSession::Kept& kept) {
    const Result<std::string> saved = store.save(values, "/dev/ttyUSB0", std::tm{});
    kept(saved ? Status{} : fail(saved.error()));
  });
  int setsSeen = 0;
  line.onWrite = [&](const Bytes& block) {
    if (!isCommand(block, frame_bytes::kAlarmSet)) return;
    ++setsSeen;
    const auto kept = store.list();
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(test::readFile(kept[0].path), formatAlarmParameterFile(parameterTexts(before)));
    EXPECT_EQ(kept[0].boardId, before[kBoardId]);
  };
  session.write(changedTexts(), loop.nowMs(), keep());
  const ParameterResult r = runToEnd();
  EXPECT_EQ(r.outcome, Outcome::Verified) << describe(r);
  EXPECT_EQ(setsSeen, 1);
}

TEST_F(ParameterSessionTest, ASnapshotThatCannotBeKeptStopsTheWriteBeforeTheSet) {
  session.setKeepBoard(
      [](const AlarmValues&, const ParameterSession::Kept& kept) { kept(fail("disk full")); });
  session.write(changedTexts(), loop.nowMs(), keep());
  const ParameterResult r = runToEnd();
  EXPECT_EQ(r.outcome, Outcome::NotKept);
  EXPECT_EQ(r.step, Step::KeepBoard);
  EXPECT_FALSE(r.wrote);
  EXPECT_EQ(writesOf(frame_bytes::kAlarmSet), 0);
  EXPECT_NE(describe(r).find("disk full"), std::string::npos);
  EXPECT_EQ(board.alarmRecord().value(7), boardValues()[kCellOv]);
}

// The command line's station keeps the snapshot on a worker: the board waits for it however
// long the disk takes, and a port lost meanwhile ends the write with nothing more sent.
TEST_F(ParameterSessionTest,
       AKeepThatEndsLaterHoldsTheSetBackWithoutTimingOutAndALateOneAfterALostPortSendsNothing) {
  ParameterSession::Kept later;
  session.setKeepBoard([&](const AlarmValues&, ParameterSession::Kept kept) { later = std::move(kept); });
  session.write(changedTexts(), loop.nowMs(), keep());
  ASSERT_TRUE(loop.runUntil([&] { return later != nullptr; }, 10000));
  loop.runFor(3 * ParameterSession::kAnswerTimeoutMs);
  EXPECT_FALSE(result.has_value());
  EXPECT_EQ(writesOf(frame_bytes::kAlarmSet), 0);
  EXPECT_EQ(writesOf(frame_bytes::kAlarmRead), 1) << "no read is sent again while the snapshot is kept";
  later({});
  EXPECT_EQ(runToEnd().outcome, Outcome::Verified);

  result.reset();
  later = nullptr;
  session.write(changedTexts(), loop.nowMs(), keep());
  ASSERT_TRUE(loop.runUntil([&] { return later != nullptr; }, 10000));
  session.onPortLost("unplugged");
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(result->outcome, Outcome::PortLost);
  EXPECT_EQ(result->step, Step::KeepBoard);
  EXPECT_FALSE(result->wrote);
  later({});
  EXPECT_EQ(writesOf(frame_bytes::kAlarmSet), 1);
}

// ---- refused before sending ----

TEST_F(ParameterSessionTest, RefusedValuesSendNothingAndNameTheField) {
  struct Case {
    const char* name;
    std::function<void(std::vector<std::string>&)> spoil;
    const char* refusedLabel;  // nullptr: the count is wrong
  };
  const Case cases[] = {
      {"one value missing", [](auto& t) { t.pop_back(); }, nullptr},
      {"one value too many", [](auto& t) { t.push_back("1"); }, nullptr},
      {"placeholder", [](auto& t) { t[kCellOv] = "--"; }, "Value"},
      {"SOC above 100", [](auto& t) { t[39] = "101"; }, "SOC(0~100)"},
      {"delay past 8 bits", [](auto& t) { t[1] = "256"; }, "Delay"},
      {"negative unsigned", [](auto& t) { t[kCellUv] = "-1"; }, "Value"},
      {"bus OV past 16 signed bits", [](auto& t) { t[30] = "40000"; }, "Value(1~16000)"},
      {"not a number", [](auto& t) { t[42] = "5s"; }, "Delay(1~60)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto texts = changedTexts();
    c.spoil(texts);
    result.reset();
    ASSERT_TRUE(session.write(texts, loop.nowMs(), keep()));
    ASSERT_TRUE(result.has_value()) << "a refusal must be known at once";
    EXPECT_EQ(result->outcome, Outcome::Refused);
    EXPECT_FALSE(result->wrote);
    if (c.refusedLabel) {
      ASSERT_NE(result->refused, nullptr);
      EXPECT_STREQ(result->refused->label, c.refusedLabel);
    } else {
      EXPECT_TRUE(result->wrongCount);
    }
    EXPECT_NE(describe(*result).find("Nothing was sent"), std::string::npos);
    EXPECT_FALSE(session.busy());
  }
  EXPECT_TRUE(line.written.empty());
}

TEST_F(ParameterSessionTest, TheIdIsNeverSentNorComparedWhateverTheTextHolds) {
  auto texts = changedTexts();
  texts[kBoardId] = "not a number at all";
  session.write(texts, loop.nowMs(), keep());
  EXPECT_EQ(runToEnd().outcome, Outcome::Verified);
  EXPECT_EQ(line.written[1][4], 0);
}

TEST_F(ParameterSessionTest, ASecondOperationIsRefusedWhileOneRuns) {
  ASSERT_TRUE(session.read(loop.nowMs(), keep()));
  EXPECT_FALSE(session.write(changedTexts(), loop.nowMs(), keep()));
  EXPECT_FALSE(session.read(loop.nowMs(), keep()));
  EXPECT_EQ(runToEnd().outcome, Outcome::Done);
  EXPECT_EQ(line.written.size(), 1u);
}

// ---- the line or the board misbehaves: never verified ----

struct LineFailure {
  const char* name;
  std::function<void(SimSerialControl&)> arrange;
  Outcome outcome;
  Step step;
  int reads;  // read requests written, retries included
  int sets;
  std::size_t mismatches;
};

// Changes one 16-bit value (Cell OV) in every alarm read answer after the first.
std::vector<Bytes> lieOnReadBack(int* answers, const Bytes& request, std::vector<Bytes> out) {
  if (!isCommand(request, frame_bytes::kAlarmRead) || (*answers)++ == 0) return out;
  for (auto& frame : out) {
    frame[17] = static_cast<std::uint8_t>(frame[17] + 1);
    frame = cutTo(frame, frame.size());
  }
  return out;
}

TEST_F(ParameterSessionTest, EveryLineFailureIsReportedAsItselfAndNeverAsVerified) {
  auto drop = [](std::uint8_t command) {
    return [command](SimSerialControl& l) {
      l.alterAnswers = [command](const Bytes& request, std::vector<Bytes> out) {
        return isCommand(request, command) ? std::vector<Bytes>{} : out;
      };
    };
  };
  auto cutAlarmAnswers = [](SimSerialControl& l) {
    l.alterAnswers = [](const Bytes& request, std::vector<Bytes> out) {
      if (isCommand(request, frame_bytes::kAlarmRead))
        for (auto& frame : out) frame = cutTo(frame, 50);
      return out;
    };
  };
  auto delayAll = [](std::int64_t ms) { return [ms](SimSerialControl& l) { l.answerDelayMs = ms; }; };
  int answers = 0;
  const LineFailure failures[] = {
      {"no answer to the read", drop(frame_bytes::kAlarmRead), Outcome::NoAnswer, Step::Read, 3, 0, 0},
      {"short read answers", cutAlarmAnswers, Outcome::NoAnswer, Step::Read, 3, 0, 0},
      {"no acknowledge", drop(frame_bytes::kAlarmSet), Outcome::NoAnswer, Step::SetAcknowledge, 2, 1, 0},
      {"read back differs in one field",
       [&](SimSerialControl& l) {
         l.alterAnswers = [&](const Bytes& q, std::vector<Bytes> a) { return lieOnReadBack(&answers, q, a); };
       },
       Outcome::Mismatch, Step::ReadBack, 2, 1, 1},
      {"every answer 1.5 s late", delayAll(1500), Outcome::Verified, Step::ReadBack, 2, 1, 0},
      {"every answer 2.5 s late", delayAll(2500), Outcome::NoAnswer, Step::SetAcknowledge, 4, 1, 0},
      {"port lost waiting for the acknowledge",
       [](SimSerialControl& l) {
         l.onWrite = [&l](const Bytes& b) {
           if (isCommand(b, frame_bytes::kAlarmSet))
             l.alterAnswers = [&l](const Bytes&, std::vector<Bytes>) {
               l.pullPort("adapter pulled");
               return std::vector<Bytes>{};
             };
         };
       },
       Outcome::PortLost, Step::SetAcknowledge, 1, 1, 0},
  };
  for (const auto& f : failures) {
    SCOPED_TRACE(f.name);
    sim::BoardModel freshBoard;
    SimSerialControl freshLine(freshBoard);
    ParameterSession freshSession(freshLine);
    SessionFrames freshFrames(freshSession);
    test::SimEventLoop freshLoop(freshLine, freshFrames);
    freshLoop.onTick = [&](std::int64_t now) { freshSession.tick(now); };
    freshLoop.onLost = [&](const std::string& why) { freshSession.onPortLost(why); };
    answers = 0;
    f.arrange(freshLine);
    std::optional<ParameterResult> r;
    freshSession.write(changedTexts(), freshLoop.nowMs(), [&](const ParameterResult& x) { r = x; });
    freshLoop.runUntil([&] { return r.has_value(); }, 30000);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->outcome, f.outcome) << describe(*r);
    EXPECT_EQ(r->step, f.step) << describe(*r);
    int reads = 0, sets = 0;
    for (const auto& block : freshLine.written) {
      reads += isCommand(block, frame_bytes::kAlarmRead) ? 1 : 0;
      sets += isCommand(block, frame_bytes::kAlarmSet) ? 1 : 0;
    }
    EXPECT_EQ(reads, f.reads);
    EXPECT_EQ(sets, f.sets);
    // An answer to a read sent before the Set must not pass for the read back.
    EXPECT_EQ(r->mismatches.size(), f.mismatches);
    if (f.outcome != Outcome::Verified) {
      EXPECT_EQ(describe(*r).find("Verified"), std::string::npos);
    }
  }
}

TEST_F(ParameterSessionTest, AMismatchNamesTheFieldWithWrittenAndReadBackValues) {
  int answers = 0;
  line.alterAnswers = [&](const Bytes& q, std::vector<Bytes> a) { return lieOnReadBack(&answers, q, a); };
  session.write(changedTexts(), loop.nowMs(), keep());
  const ParameterResult r = runToEnd();
  ASSERT_EQ(r.mismatches.size(), 1u);
  EXPECT_STREQ(r.mismatches[0].row->group, "Cell OV Protect(Range)");
  EXPECT_EQ(r.mismatches[0].written, 3600);
  EXPECT_EQ(r.mismatches[0].readBack, 3601);
  EXPECT_NE(describe(r).find("\"Value\" in \"Cell OV Protect(Range)\": written 3600, read back 3601"),
            std::string::npos);
}

TEST_F(ParameterSessionTest, AClosedPortStopsAtOnceAndAPortClosedMidWayIsNoticedOnTheNextTick) {
  line.close();
  session.read(loop.nowMs(), keep());
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(result->outcome, Outcome::PortClosed);
  EXPECT_TRUE(line.written.empty());

  line.open(1);
  result.reset();
  line.onWrite = [&](const Bytes& b) {
    if (isCommand(b, frame_bytes::kAlarmSet))
      line.alterAnswers = [](const Bytes&, auto) { return std::vector<Bytes>{}; };
  };
  session.write(changedTexts(), loop.nowMs(), keep());
  loop.runUntil([&] { return line.written.size() == 2; }, 10000);
  line.close();
  const ParameterResult r = runToEnd();
  EXPECT_EQ(r.outcome, Outcome::PortLost);
  EXPECT_EQ(r.step, Step::SetAcknowledge);
  EXPECT_TRUE(r.wrote);
  EXPECT_NE(describe(r).find("The Set request had been sent"), std::string::npos);
}

}  // namespace
}  // namespace orlo
