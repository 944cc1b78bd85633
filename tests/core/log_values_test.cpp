// The one mapping from a live data frame to a log row's values, which both programs log by.

#include "core/log_values.h"

#include <gtest/gtest.h>

namespace orlo {
namespace {

TEST(LogValues, ALiveDataFrameFillsEveryColumnWithItsScaleAndSign) {
  LiveData live;
  live.cellMv = {3301, 3302, 3303, 3304};
  live.temperatureC = {-10, 26};
  live.balanceFlags = 0x0005;
  live.currentRaw = 1500;   // discharge: the header shows it negative
  live.socPercent = 0x1FF;  // only the low byte is logged
  live.mosStatus = 3;
  live.maxCellMv = 3300;  // below the minimum: the difference goes negative
  live.minCellMv = 3350;
  live.cycleCount = 77;
  live.dischargeMah = 12345;
  live.chargeMah = 500;
  live.remainingCentiAh = 999;
  live.alarmFlags = 0x00020001u;
  live.systemMode = 3;  // no text for it, logged as it came

  const LogValues v = logValuesOf(live);
  EXPECT_EQ(v.cellVoltage[0], 3301);
  EXPECT_EQ(v.cellVoltage[3], 3304);
  EXPECT_FLOAT_EQ(v.temperature1, -10.0f);
  EXPECT_FLOAT_EQ(v.temperature2, 26.0f);
  EXPECT_EQ(v.balanceFlags, 0x0005);
  EXPECT_FLOAT_EQ(v.current, -1.5f);
  EXPECT_EQ(v.socLowByte, 0xFF);
  EXPECT_EQ(v.mosStatus, 3);
  EXPECT_EQ(v.voltageDifference, -50);
  EXPECT_EQ(v.cycleCount, 77);
  EXPECT_FLOAT_EQ(v.dischargeCapacity, 12.345f);
  EXPECT_FLOAT_EQ(v.chargeCapacity, 0.5f);
  EXPECT_FLOAT_EQ(v.remainingCapacity, 9.99f);
  EXPECT_EQ(v.alarmFlags, 0x00020001u);
  EXPECT_EQ(v.systemMode, 3);

  // The header's part leaves the rest as it was: the window takes it from frames it only shows.
  LogValues header = v;
  LiveData other;
  takeHeaderValues(other, &header);
  EXPECT_EQ(header.cellVoltage[0], 0);
  EXPECT_EQ(header.cycleCount, 77);
  EXPECT_EQ(header.voltageDifference, -50);
}

}  // namespace
}  // namespace orlo
