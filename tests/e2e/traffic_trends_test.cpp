// The diagnostics windows on the running tool against orlo-bms-sim with a hostile line: the
// traffic counters add up to what the simulator says it injected, and the trends hold the
// values the simulator sent.

#include "app/trend_buffer.h"
#include "e2e/e2e_fixture.h"
#include "ui/diagnostics/diagnostics.h"
#include "ui/diagnostics/traffic_window.h"
#include "ui/diagnostics/trends_window.h"

namespace orlo::test {
namespace {

class TrafficTrends : public EndToEnd {
 protected:
  // Runs the tool against the simulator until it has answered `answers` polls, then stops the
  // simulator and lets the last bytes in.
  void runUntilAnswered(const QStringList& simOptions, std::uint64_t answers) {
    startBoth(simOptions);
    diagnostics = std::make_unique<ui::Diagnostics>();
    app->addReceiveObserver(diagnostics->observer());
    diagnostics->showTraffic();
    diagnostics->showTrends();
    openCom1();
    const TrafficCounters& c = diagnostics->trafficLog().counters();
    ASSERT_TRUE(QTest::qWaitFor([&] { return c.framesReceived + totalDropped() >= answers; }, 20000))
        << "the simulator's answers did not arrive";
    sim.stop();
    QTest::qWait(300);
    report = sim.report();
    ASSERT_FALSE(report.empty()) << "the simulator wrote no report";
  }
  std::uint64_t totalDropped() const {
    std::uint64_t n = 0;
    for (auto d : diagnostics->trafficLog().counters().drops) n += d;
    return n;
  }
  std::uint64_t dropped(DropReason r) const { return diagnostics->trafficLog().counters().drop(r); }
  std::uint64_t droppedBytes(DropReason r) const {
    return diagnostics->trafficLog().counters().dropBytes[static_cast<std::size_t>(r)];
  }

  void TearDown() override {
    // The receiver holds our observer: the tool goes first.
    app.reset();
    diagnostics.reset();
    EndToEnd::TearDown();
  }

  std::unique_ptr<ui::Diagnostics> diagnostics;
  std::map<std::string, long long> report;
};

TEST_F(TrafficTrends, CorruptedChecksumsAreCountedAsBadChecksumDrops) {
  runUntilAnswered({"--corrupt", "0.5", "--seed", "7"}, 6);
  const TrafficCounters& c = diagnostics->trafficLog().counters();
  const auto corrupted = static_cast<std::uint64_t>(report["corrupted_frames_sent"]);
  ASSERT_GT(corrupted, 0u) << "the simulator injected nothing";
  EXPECT_EQ(c.framesReceived, static_cast<std::uint64_t>(report["valid_frames_sent"]));
  // A bad frame is judged once 100 bytes follow its head, so the very last one may still wait.
  EXPECT_LE(dropped(DropReason::BadChecksum), corrupted);
  EXPECT_GE(dropped(DropReason::BadChecksum) + 1, corrupted);
  EXPECT_EQ(dropped(DropReason::NoTail), 0u);
  diagnostics->trafficWindow()->refresh();
  EXPECT_TRUE(diagnostics->trafficWindow()->countersLine().contains("Bad checksum: "));
}

TEST_F(TrafficTrends, GarbageBytesAreAllAccountedForAndNoFrameIsLost) {
  runUntilAnswered({"--garbage", "1", "--seed", "11"}, 6);
  const TrafficCounters& c = diagnostics->trafficLog().counters();
  const auto garbage = static_cast<std::uint64_t>(report["garbage_bytes_sent"]);
  ASSERT_GT(garbage, 0u) << "the simulator injected nothing";
  EXPECT_EQ(c.framesReceived, static_cast<std::uint64_t>(report["valid_frames_sent"]));
  // A stray AA 55 inside the garbage is a false head: it goes as one byte with its own reason.
  const std::uint64_t thrownAway = droppedBytes(DropReason::BytesBeforeHead) +
                                   droppedBytes(DropReason::NoTail) + droppedBytes(DropReason::BadChecksum);
  EXPECT_EQ(thrownAway, garbage);
}

TEST_F(TrafficTrends, TrendsHoldTheLiveValuesTheSimulatorSent) {
  runUntilAnswered({}, 4);
  ASSERT_TRUE(QTest::qWaitFor([&] { return lastFrame.dispatched >= 4; }, 5000));
  QCoreApplication::processEvents();
  const TrendBuffer& trends = diagnostics->trendBuffer();
  ASSERT_GE(trends.size(), 4u);
  EXPECT_EQ(trends.size(), static_cast<std::size_t>(report["live_frames_sent"]));
  const TrendSample wanted =
      trendSample(0, decodeLiveData(FrameView(lastFrame.bytes.data(), lastFrame.bytes.size())));
  for (const auto& info : trendSeriesTable())
    EXPECT_EQ(trends.newest().value(info.series), wanted.value(info.series)) << info.name;
  EXPECT_GT(trends.newest().value(TrendSeries::Cell1), 2000) << "a plausible cell voltage";
  ui::TrendsWindow* window = diagnostics->trendsWindow();
  window->refresh();
  EXPECT_EQ(window->visibleRange().size(), trends.size());
}

}  // namespace
}  // namespace orlo::test
