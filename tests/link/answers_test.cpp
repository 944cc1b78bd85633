#include <gtest/gtest.h>

#include <cmath>

#include "link/answers.h"
#include "link/requests.h"

namespace orlo {
namespace {

// A live data frame written byte by byte at the board's offsets, independently of the decoder.
Bytes handWrittenLiveFrame() {
  Bytes data(72, 0);
  auto put = [&](std::size_t at, std::uint32_t v, int width) {
    for (int i = 0; i < width; ++i)
      data.at(at - 7 + static_cast<std::size_t>(i)) = static_cast<std::uint8_t>(v >> (8 * i));
  };
  put(10, 3301, 2), put(12, 3302, 2), put(14, 3303, 2), put(16, 3304, 2);
  put(18, 0xFFEC, 2), put(20, 26, 2);  // -20 and 26 degrees
  put(22, 80, 4), put(26, 13210, 4), put(30, 1500, 4), put(34, 10500, 4), put(38, 11250, 4);
  put(42, 12, 2), put(44, 13190, 4), put(48, 4560, 2);
  put(54, 3304, 2), put(56, 3302, 2), put(58, 3301, 2), put(60, 3, 1), put(61, 0, 1);
  put(70, 3, 1), put(71, 0x00020801, 4), put(75, 0x8005, 2), put(78, 1, 1);
  return buildFrame(0x4D, 0, 0, data);
}

TEST(LiveDataDecode, EveryFieldComesFromItsOffsetAndTheEncoderWritesTheSameBytes) {
  const Bytes frame = handWrittenLiveFrame();
  const LiveData d = decodeLiveData(FrameView(frame.data(), frame.size()));
  EXPECT_EQ(d.cellMv, (std::array<std::uint16_t, 4>{3301, 3302, 3303, 3304}));
  EXPECT_EQ(d.temperatureC, (std::array<std::int16_t, 2>{-20, 26}));
  EXPECT_EQ(d.socPercent, 80);
  EXPECT_EQ(d.totalMv, 13210);
  EXPECT_EQ(d.currentMa(), 1500);
  EXPECT_FLOAT_EQ(d.currentA(), -1.5f);
  EXPECT_EQ(d.dischargeMah, 10500);
  EXPECT_EQ(d.chargeMah, 11250);
  EXPECT_EQ(d.cycleCount, 12);
  EXPECT_EQ(d.busMv, 13190);
  EXPECT_EQ(d.remainingCentiAh, 4560);
  EXPECT_EQ(d.maxCellMv, 3304);
  EXPECT_EQ(d.meanCellMv, 3302);
  EXPECT_EQ(d.minCellMv, 3301);
  EXPECT_EQ(d.maxCellIndex, 3);
  EXPECT_EQ(d.minCellIndex, 0);
  EXPECT_EQ(d.mosStatus, 3);
  EXPECT_EQ(d.systemMode, 1);
  EXPECT_TRUE(d.alarm(1) && d.alarm(12) && d.alarm(18));
  EXPECT_FALSE(d.alarm(2) || d.alarm(0) || d.alarm(19));
  EXPECT_TRUE(d.balancing(1) && d.balancing(3));
  EXPECT_FALSE(d.balancing(16)) << "bit 15 is no cell";
  EXPECT_EQ(encodeLiveData(d), frame);
}

TEST(LiveDataDecode, AnIdlePackShowsMinusZeroAndTheMostNegativeCurrentSurvives) {
  LiveData d;
  EXPECT_TRUE(std::signbit(d.currentA()));
  d.currentRaw = 0x80000000u;
  EXPECT_EQ(d.currentMa(), -2147483647 - 1);
  EXPECT_FLOAT_EQ(d.currentA(), 2147483.648f);
}

TEST(OtherAnswers, BalanceReadAndCalibrationResultDecodeTheirFields) {
  const Bytes balance = buildFrame(0x18, 0, 0x0E, {0x10, 0x0E, 0x1E, 0xDE, 0x0D});
  const auto c = decodeBalanceCondition(FrameView(balance.data(), balance.size()));
  ASSERT_TRUE(c);
  EXPECT_EQ(c->thresholdMv, 3600);
  EXPECT_EQ(c->differenceMv, 30);
  EXPECT_EQ(c->releaseMv, 3550);
  const Bytes other = buildFrame(0x18, 0, 0x0F, {0x10, 0x0E, 0x1E, 0xDE, 0x0D});
  EXPECT_FALSE(decodeBalanceCondition(FrameView(other.data(), other.size())));

  const Bytes cal =
      buildFrame(0x15, 0, 0, {0x00, 0x01, 0x04, 0x01, 0xE8, 0x03, 0, 0, 0x18, 0xFC, 0xFF, 0xFF});
  const CalibrationResult r = decodeCalibrationResult(FrameView(cal.data(), cal.size()));
  EXPECT_EQ(r.direction, 1);
  EXPECT_EQ(r.point, 4) << "passed on as sent; the page refuses it";
  EXPECT_TRUE(r.readAnswer);
  EXPECT_EQ(r.coefficientRaw, 1000u);
  EXPECT_EQ(r.referenceMa, -1000);
}

}  // namespace
}  // namespace orlo
