// The tool against the simulated board in simulated time: polling once a second, link status,
// the header and the BMS parameter tab showing what arrived (decoded here from the bytes,
// independently of the tool's own decoder), a hostile line, and a port that goes away.

#include <gmock/gmock.h>

#include <cstdio>
#include <map>

#include "link/frame_bytes.h"
#include "sim/line_shaper.h"
#include "support/frame_fields.h"
#include "support/hex.h"
#include "support/sim_run.h"

namespace orlo::test {
namespace {

// Field id -> the text the frame should have put there.
std::map<MainId, std::string> headerExpected(const Bytes& f) {
  return {{MainId::CellV1, std::to_string(u16(f, 10))},
          {MainId::CellV2, std::to_string(u16(f, 12))},
          {MainId::CellV3, std::to_string(u16(f, 14))},
          {MainId::CellV4, std::to_string(u16(f, 16))},
          {MainId::TempC1, fmt("%.1f", static_cast<double>(s16(f, 18)))},
          {MainId::TempC2, fmt("%.1f", static_cast<double>(s16(f, 20)))},
          {MainId::Soc, std::to_string(s32(f, 22))},
          {MainId::TotalVal, std::to_string(s32(f, 26))},
          {MainId::Current, fmt("%f", -(static_cast<float>(s32(f, 30)) / 1000))},
          {MainId::BusVolt, std::to_string(s32(f, 44))},
          {MainId::BalanVal, std::to_string(u16(f, 75))}};
}

std::map<BmsId, std::string> pageExpected(const Bytes& f) {
  return {{BmsId::CellV1, std::to_string(u16(f, 10))},     {BmsId::CellV4, std::to_string(u16(f, 16))},
          {BmsId::Soc, std::to_string(s32(f, 22))},        {BmsId::TotalVolt, std::to_string(s32(f, 26))},
          {BmsId::CycleIndex, std::to_string(u16(f, 42))}, {BmsId::MaxVolt, std::to_string(u16(f, 54))},
          {BmsId::MinVolt, std::to_string(u16(f, 58))},    {BmsId::MaxCell, std::to_string(f[60] + 1)},
          {BmsId::TempC1, fmt("%.1f", double(s16(f, 18)))}};
}

const Bytes kPoll = hex("AA 55 06 00 00 00 01 00 01 00 55 AA");

class LiveDataRun : public ::testing::Test {
 protected:
  std::vector<Bytes> liveFrames() const { return run.command(frame_bytes::kLiveData); }

  void expectFieldsMatchTheLastFrame() {
    const std::vector<Bytes> frames = liveFrames();
    ASSERT_FALSE(frames.empty()) << "no frame reached the tool";
    const Bytes& f = frames.back();
    ASSERT_GE(f.size(), 79u);
    for (const auto& [id, wanted] : headerExpected(f))
      EXPECT_EQ(run.form.text(id), wanted) << "header " << id;
    for (const auto& [id, wanted] : pageExpected(f))
      EXPECT_EQ(run.bmsForm.text(id), wanted) << "BMS Parameter field " << id;
    const auto alarms = static_cast<std::uint32_t>(s32(f, 71));
    for (std::size_t bit = 0; bit < bms_ids::kAlarmLamps.size(); ++bit) {
      const Icon wanted = (alarms >> bit) & 1 ? Icon::Red : Icon::Green;
      EXPECT_EQ(run.bmsForm.icon(bms_ids::kAlarmLamps[bit]), wanted) << "alarm lamp " << bit + 1;
    }
  }

  SimRun run;
};

TEST_F(LiveDataRun, pollsGoOnceASecondAndTheLinkShowsCommOkAtEveryCheck) {
  run.form.traceTexts(MainId::LinkText);
  run.pressStartUp();
  ASSERT_TRUE(run.line.isOpen());
  run.advance(6500);
  EXPECT_THAT(run.form.tracedTexts, ::testing::ElementsAre("Comm OK!", "Comm OK!", "Comm OK!"));
  EXPECT_EQ(run.form.text(MainId::PortText), "Serial open!");
  EXPECT_EQ(run.form.icon(MainId::LinkLamp), Icon::Green);
  std::vector<std::int64_t> polls;
  for (std::size_t i = 0; i < run.line.written.size(); ++i)
    if (run.line.written[i] == kPoll) polls.push_back(run.line.writtenAtMs[i]);
  ASSERT_EQ(polls.size(), 6u) << "one poll a second";
  for (std::size_t i = 1; i < polls.size(); ++i) EXPECT_EQ(polls[i] - polls[i - 1], 1000) << "gap " << i;
  EXPECT_EQ(run.line.written.size(), polls.size()) << "nothing but polls";
  // The frame tick wakes for a frame waiting, not ten times a second, and keeps its beat.
  ASSERT_EQ(run.command(frame_bytes::kLiveData).size(), 6u);
  for (std::int64_t at : run.dispatchedAtMs) EXPECT_EQ(at % 100, 0) << "a frame shown off the beat at " << at;
  EXPECT_LE(run.timers.firings(SimRun::kMainForm, main_ids::kFrameTimer), 7);
}

TEST_F(LiveDataRun, headerAndBmsParameterFieldsShowWhatTheBoardSent) {
  std::uint64_t framesSent = 0;
  run.line.alterAnswers = [&](const Bytes&, std::vector<Bytes> answers) {
    framesSent += answers.size();
    return answers;
  };
  run.pressStartUp();
  ASSERT_TRUE(run.advanceUntil([&] { return !liveFrames().empty(); }, 5000));
  expectFieldsMatchTheLastFrame();
  const Bytes first = liveFrames().back();
  run.advance(1500);  // a second frame with moving values
  ASSERT_GE(liveFrames().size(), 2u);
  EXPECT_NE(liveFrames().back(), first) << "the board's values did not move";
  expectFieldsMatchTheLastFrame();
  run.click(MainId::StartUp);  // Stop, so nothing is in flight while the counts are compared
  run.advance(300);
  EXPECT_EQ(run.window().receiver().stats().framesDispatched, framesSent);
  EXPECT_EQ(run.dispatched.size(), framesSent);
}

TEST_F(LiveDataRun, randomSplitsAndCorruptedChecksumsStillDeliverValues) {
  sim::FaultSettings faults;
  faults.split = sim::SplitMode::Random;
  faults.corruptRatio = 0.3;
  faults.garbageRatio = 0.3;
  faults.seed = 7;
  sim::LineShaper shaper(faults);
  sim::SentCounts sent;
  run.line.alterAnswers = [&](const Bytes&, std::vector<Bytes> answers) {
    shaper.queue(answers, run.nowMs());
    std::vector<Bytes> pieces;
    for (; !shaper.empty(); shaper.popFront()) {
      sent.validFrames += shaper.front().counts.validFrames;
      sent.corruptedFrames += shaper.front().counts.corruptedFrames;
      sent.garbageBytes += shaper.front().counts.garbageBytes;
      pieces.push_back(shaper.front().bytes);
    }
    return pieces;
  };
  run.form.traceTexts(MainId::LinkText);
  run.pressStartUp();
  ASSERT_TRUE(run.advanceUntil([&] { return liveFrames().size() >= 3; }, 10000));
  expectFieldsMatchTheLastFrame();
  run.advance(2000);
  EXPECT_GT(sent.corruptedFrames, 0u) << "nothing was corrupted";
  EXPECT_GT(sent.garbageBytes, 0u) << "no garbage was sent";
  EXPECT_EQ(run.dispatched.size(), sent.validFrames);
  ASSERT_FALSE(run.form.tracedTexts.empty());
  EXPECT_EQ(run.form.tracedTexts.back(), "Comm OK!");
}

TEST_F(LiveDataRun, aPulledPortLeavesTheToolRunningAndStartUpOpensItAgain) {
  run.window().setReconnect(false);  // the user's own Start Up; reconnecting has its own tests
  run.pressStartUp();
  ASSERT_TRUE(run.advanceUntil([&] { return run.form.text(MainId::LinkText) == "Comm OK!"; }, 5000));
  run.line.pullPort("device removed");
  ASSERT_TRUE(run.advanceUntil([&] { return run.form.text(MainId::PortText) == "Serial not open!"; }, 2000))
      << "the lost port was not noticed at the next link check";
  EXPECT_EQ(run.form.text(MainId::StartUp), "Start Up");
  EXPECT_TRUE(run.form.isEnabled(MainId::SerialPorts));
  EXPECT_EQ(run.form.icon(MainId::PortLamp), Icon::Red);
  const std::size_t writtenWhileClosed = run.line.written.size();
  run.advance(3000);
  EXPECT_EQ(run.line.written.size(), writtenWhileClosed) << "polls went to a closed port";

  run.click(MainId::StartUp);
  ASSERT_TRUE(run.line.isOpen());
  const std::size_t before = liveFrames().size();
  EXPECT_TRUE(run.advanceUntil([&] { return liveFrames().size() > before; }, 3000));
  EXPECT_TRUE(run.advanceUntil([&] { return run.form.text(MainId::PortText) == "Serial open!"; }, 3000));
  EXPECT_THAT(run.messages(), ::testing::ElementsAre());
}

}  // namespace
}  // namespace orlo::test
