// The time axes' tick steps: round, and never more ticks than the labels have room for.

#include "core/time_ticks.h"

#include <gtest/gtest.h>

namespace orlo {
namespace {

TEST(TimeTicks, theSmallestRoundStepThatKeepsTheTicksFew) {
  constexpr std::int64_t kS = 1000, kM = 60 * kS, kH = 60 * kM, kD = 24 * kH;
  const struct {
    std::int64_t spanMs;
    int maxTicks;
    std::int64_t step;
  } cases[] = {
      {kM, 6, 10 * kS},        // a minute in Trends
      {kM, 5, 15 * kS},        // 10 s would make six
      {kM, 0, kM},             // no room: one tick
      {0, 6, kS},              // nothing to span
      {kD, 6, 4 * kH},         // a day in Trends
      {90 * kM, 4, 30 * kM},   // 15 min would make six
      {30 * kD, 5, 7 * kD},    // a month's log
      {400 * kD, 3, 30 * kD},  // more than the steps go to: the largest
      {-kM, 6, kS},            // a reversed span asks for nothing
  };
  for (const auto& c : cases)
    EXPECT_EQ(timeTickStepMs(c.spanMs, c.maxTicks), c.step) << c.spanMs << " ms, " << c.maxTicks << " ticks";
}

}  // namespace
}  // namespace orlo
