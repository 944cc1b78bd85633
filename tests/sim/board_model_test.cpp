// The board's answers, byte for byte, against the payload layouts of the protocol.

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "sim/board_model.h"
#include "sim_test_frames.h"
#include "support/hex.h"

namespace orlo::sim {
namespace {

using orlo::test::hex;
using orlo::test::toHex;
using test::kPoll;
const Bytes kAlarmRead = hex("AA 55 0C 00 00 00 B0 01 00 00 00 00 00 00 B1 00 55 AA");
const Bytes kBalanceRead = hex("AA 55 18 00 00 00 0E 00 00 00 00 00 00 00 0E 00 55 AA");
const Bytes kManualOff = hex("AA 55 18 00 00 00 0D 00 00 00 00 00 00 00 0D 00 55 AA");

std::int32_t s32(const Bytes& f, std::size_t at) {
  return static_cast<std::int32_t>(readU32(f, at));
}
std::int16_t s16(const Bytes& f, std::size_t at) {
  return static_cast<std::int16_t>(readU16(f, at));
}

Bytes only(const std::vector<Bytes>& answers) {
  EXPECT_EQ(answers.size(), 1u);
  return answers.empty() ? Bytes{} : answers.front();
}

Bytes pollAt(BoardModel& board, std::int64_t ms) {
  return only(board.handle(kPoll, ms));
}

// ---- live data ----

TEST(LiveDataEncoding, everyFieldSitsAtItsOffsetLittleEndian) {
  LiveData d;
  d.cellMv = {3301, 3302, 3303, 3304};
  d.temperature1 = -10;
  d.temperature2 = 26;
  d.soc = 100;
  d.totalMv = 13210;
  d.currentMa = -2500;
  d.dischargeMah = 10500;
  d.chargeMah = 11250;
  d.cycles = 12;
  d.busMv = 13100;
  d.remainingCentiAh = 999;
  d.maxCellMv = 3300;
  d.meanCellMv = 3325;
  d.minCellMv = 3350;
  d.maxCellIndex = 3;
  d.minCellIndex = 255;
  d.mosStatus = 18;
  d.alarmFlags = 0x00020001;
  d.balanceFlags = 0x8001;
  d.systemMode = 2;
  const Bytes f = encodeLiveData(d);
  ASSERT_EQ(f.size(), 83u);
  EXPECT_EQ(toHex(Bytes(f.begin(), f.begin() + 10)), "AA 55 4D 00 00 00 00 00 00 00");
  EXPECT_EQ(toHex(Bytes(f.begin() + 10, f.begin() + 22)), "E5 0C E6 0C E7 0C E8 0C F6 FF 1A 00");
  EXPECT_EQ(toHex(Bytes(f.begin() + 22, f.begin() + 34)), "64 00 00 00 9A 33 00 00 3C F6 FF FF");
  EXPECT_EQ(toHex(Bytes(f.begin() + 34, f.begin() + 50)), "04 29 00 00 F2 2B 00 00 0C 00 2C 33 00 00 E7 03");
  EXPECT_EQ(toHex(Bytes(f.begin() + 50, f.begin() + 62)), "00 00 00 00 E4 0C FD 0C 16 0D 03 FF");
  EXPECT_EQ(toHex(Bytes(f.begin() + 62, f.begin() + 79)),
            "00 00 00 00 00 00 00 00 12 01 00 02 00 01 80 00 02");
  EXPECT_TRUE(hasValidChecksum(f));
}

TEST(LiveDataEncoding, statisticsComeFromTheFourCells) {
  LiveData d;
  d.cellMv = {3310, 3290, 3350, 3300};
  fillCellStatistics(d);
  EXPECT_EQ(d.maxCellMv, 3350);
  EXPECT_EQ(d.minCellMv, 3290);
  EXPECT_EQ(d.meanCellMv, 3312);
  EXPECT_EQ(d.maxCellIndex, 2);
  EXPECT_EQ(d.minCellIndex, 1);
  EXPECT_EQ(d.totalMv, 13250);
}

TEST(BoardModel, pollIsAnsweredWithALiveDataFrameOfPlausibleValues) {
  BoardModel board;
  const Bytes f = pollAt(board, 1000);
  ASSERT_EQ(f.size(), 83u);
  EXPECT_EQ(f[2], 0x4D);
  EXPECT_TRUE(hasValidChecksum(f));
  EXPECT_EQ(static_cast<std::uint32_t>(s32(f, 26)), test::cellSumWithin(f, 3150, 3450));
  EXPECT_NEAR(s16(f, 18), 25, 5);
  EXPECT_EQ(s32(f, 22), 80);
  EXPECT_EQ(readU16(f, 42), 12u);
}

// Over three simulated minutes the pack goes through discharge, rest and charge, and every
// frame stays consistent with itself.
TEST(BoardModel, liveValuesCycleThroughEveryModeAndStayConsistent) {
  BoardModel board;
  std::set<int> modes;
  std::set<int> mosCodes;
  int lastSoc = -1;
  std::int32_t lastDischarged = 0;
  for (std::int64_t ms = 1000; ms <= 200000; ms += 1000) {
    const Bytes f = pollAt(board, ms);
    const std::int32_t current = s32(f, 30);
    const int mode = f[78];
    modes.insert(mode);
    mosCodes.insert(f[70]);
    EXPECT_EQ(mode, current > 500 ? 1 : current < -500 ? 2 : 0) << ms;
    EXPECT_EQ(f[70], mode == 1 ? 3 : mode == 2 ? 18 : 19) << ms;
    const std::uint32_t cells[4] = {readU16(f, 10), readU16(f, 12), readU16(f, 14), readU16(f, 16)};
    EXPECT_EQ(readU16(f, 54), cells[f[60]]);
    EXPECT_EQ(readU16(f, 58), cells[f[61]]);
    EXPECT_EQ(readU16(f, 56), (cells[0] + cells[1] + cells[2] + cells[3]) / 4);
    if (mode == 1 && lastSoc >= 0) {
      EXPECT_LE(s32(f, 22), lastSoc);
    }
    if (mode == 1) {
      EXPECT_GE(s32(f, 34), lastDischarged);
    }
    lastSoc = s32(f, 22);
    lastDischarged = s32(f, 34);
    EXPECT_EQ(readU32(f, 71), 0u) << "no alarm with the default parameters";
  }
  EXPECT_EQ(modes, (std::set<int>{0, 1, 2}));
  EXPECT_EQ(mosCodes, (std::set<int>{3, 18, 19}));
}

// ---- alarm parameters ----

TEST(BoardModel, alarmReadResultCarriesTheRecordAtItsBytePositions) {
  BoardModel board;
  const Bytes f = only(board.handle(kAlarmRead, 0));
  ASSERT_EQ(f.size(), 82u);
  EXPECT_EQ(f[2], 0x47);
  EXPECT_TRUE(hasValidChecksum(f));
  struct Expect {
    std::size_t offset;
    int width;
    int value;
  };
  const Expect fields[] = {{7, 16, 30000}, {9, 8, 5},    {17, 16, 3650},  {22, 16, 2500}, {42, 16, -20},
                           {45, 16, -15},  {4, 8, 1},    {57, 16, 14600}, {67, 8, 10},    {68, 8, 80},
                           {69, 16, 50},   {71, 16, 12}, {73, 16, 75},    {75, 8, 5},     {76, 16, 65}};
  for (const Expect& e : fields) {
    const int raw = e.width == 8 ? static_cast<int>(readU8(f, e.offset)) : s16(f, e.offset);
    EXPECT_EQ(raw, e.value) << "offset " << e.offset;
  }
  EXPECT_EQ(toHex(Bytes(f.begin() + 42, f.begin() + 44)), "EC FF");
}

Bytes alarmSetRequest(const Bytes& data7to77) {
  FrameBuilder b(0x47, 82);
  b.put8(6, 0xB1);
  for (std::size_t i = 0; i < data7to77.size(); ++i) b.put8(7 + i, data7to77[i]);
  return b.finish();
}

TEST(BoardModel, alarmSetIsStoredAcknowledgedAndReadBackUnchanged) {
  BoardModel board;
  const Bytes read = only(board.handle(kAlarmRead, 0));
  Bytes data(read.begin() + 7, read.begin() + 78);
  auto at = [&](std::size_t offset) -> std::uint8_t& { return data[offset - 7]; };
  at(17) = 0x10;  // Cell OV 3600 (0x0E10)
  at(18) = 0x0E;
  at(42) = 0xE2;  // DSG UT -30
  at(68) = 55;    // SOC
  at(71) = 0x2C;  // cycles 300
  at(72) = 0x01;
  const Bytes ack = only(board.handle(alarmSetRequest(data), 10));
  EXPECT_EQ(ack[2], 0x48);
  EXPECT_TRUE(hasValidChecksum(ack));
  const Bytes back = only(board.handle(kAlarmRead, 20));
  EXPECT_EQ(toHex(Bytes(back.begin() + 7, back.begin() + 78)), toHex(data));
  EXPECT_EQ(board.alarmRecord().value(kDsgUtValue), -30);
  EXPECT_EQ(s32(pollAt(board, 30), 22), 55) << "the SOC is re-based";
  EXPECT_EQ(readU16(pollAt(board, 40), 42), 300u);
}

struct AlarmCase {
  const char* name;
  int row;
  int value;
  int bit;
  int delayRow;
  int mos;  // 3: the charge FET must be off; 18: the discharge FET must be off; 0: no check
};

class ProtectionFromParameters : public ::testing::TestWithParam<AlarmCase> {};

TEST_P(ProtectionFromParameters, flagRisesAfterItsDelayAndHoldsTheFetOff) {
  const AlarmCase& c = GetParam();
  BoardModel board;
  const Bytes read = only(board.handle(kAlarmRead, 0));
  Bytes data(read.begin() + 7, read.begin() + 78);
  for (const AlarmField& f : alarmFields()) {
    if (f.row != c.row) continue;
    data[f.offset - 7] = static_cast<std::uint8_t>(c.value & 0xFF);
    if (f.width == 16) data[f.offset - 6] = static_cast<std::uint8_t>((c.value >> 8) & 0xFF);
  }
  board.handle(alarmSetRequest(data), 0);
  const std::int64_t delayMs = c.delayRow ? board.alarmRecord().value(c.delayRow) * 1000 : 0;
  if (delayMs > 0) {
    EXPECT_EQ(readU32(pollAt(board, delayMs / 2), 71) & (1u << c.bit), 0u);
  }
  const Bytes f = pollAt(board, delayMs + 500);
  EXPECT_EQ(readU32(f, 71), 1u << c.bit);
  if (c.mos != 0) {
    EXPECT_TRUE((f[70] & (c.mos == 18 ? 0x01 : 0x10)) == 0) << "FET held off, status " << int(f[70]);
  }
}

INSTANTIATE_TEST_SUITE_P(Alarms, ProtectionFromParameters,
                         ::testing::Values(AlarmCase{"CellOv", kCellOvValue, 3000, 0, kCellOvDelay, 3},
                                           AlarmCase{"CellUv", kCellUvValue, 3600, 1, kCellUvDelay, 18},
                                           AlarmCase{"OvDiffer", kOvDifferValue, 0, 2, kOvDifferDelay, 0},
                                           AlarmCase{"DsgOt", kDsgOtValue, 10, 4, kDsgOtDelay, 18},
                                           AlarmCase{"BusOv", kBusOvValue, 5000, 8, kBusOvDelay, 3},
                                           AlarmCase{"SocLow", kSocWarning, 90, 11, 0, 0},
                                           AlarmCase{"FetOt", kMosOtValue, 10, 15, kMosOtDelay, 0}),
                         [](const ::testing::TestParamInfo<AlarmCase>& p) {
                           return std::string(p.param.name);
                         });

// ---- balance ----

TEST(BoardModel, balanceSetIsStoredAndReadBackAtItsOffsets) {
  BoardModel board;
  EXPECT_TRUE(board.handle(hex("AA 55 18 00 00 00 0F 10 0E 1E DE 0D 00 00 36 01 55 AA"), 0).empty());
  const Bytes f = only(board.handle(kBalanceRead, 10));
  EXPECT_EQ(f[2], 0x18);
  EXPECT_EQ(f[6], 0x0E);
  EXPECT_EQ(toHex(Bytes(f.begin() + 7, f.begin() + 12)), "10 0E 1E DE 0D");
  EXPECT_TRUE(hasValidChecksum(f));
}

TEST(BoardModel, manualBalanceLightsTheCellBleedsItAndTurnsOff) {
  BoardModel board;
  // Keep automatic balancing out of the way.
  board.handle(hex("AA 55 18 00 00 00 0F FF FF 1E FF FF 00 00 2A 02 55 AA"), 0);
  const Bytes before = pollAt(board, 100);
  EXPECT_EQ(readU16(before, 75), 0u);
  EXPECT_TRUE(board.handle(hex("AA 55 18 00 00 00 0D 01 04 00 00 00 00 00 12 00 55 AA"), 200).empty());
  const Bytes during = pollAt(board, 300);
  EXPECT_EQ(readU16(during, 75), 0x0004u);
  const Bytes later = pollAt(board, 60300);
  const auto spreadOf3 = [](const Bytes& f) { return int(readU16(f, 14)) - int(readU16(f, 10)); };
  EXPECT_LT(spreadOf3(later), spreadOf3(during)) << "cell 3 bleeds down against cell 1";
  board.handle(kManualOff, 60400);
  EXPECT_EQ(readU16(pollAt(board, 60500), 75), 0u);
}

// ---- calibration ----

TEST(BoardModel, calibrationReadAnswersTheStoredPointWithReadFlag) {
  BoardModel board;
  const Bytes f = only(board.handle(hex("AA 55 07 00 00 01 00 00 00 00 00 00 01 00 55 AA"), 0));
  EXPECT_EQ(toHex(f), toHex(hex("AA 55 15 00 00 00 00 00 00 00 01 E8 03 00 00 D0 07 00 00 C3 01 55 AA")));
}

TEST(BoardModel, calibrationPointMakesTheCurrentFollowTheReferenceWithinTolerance) {
  BoardModel board;
  const auto answers = board.handle(hex("AA 55 07 00 00 00 01 01 10 27 00 00 39 00 55 AA"), 5000);
  ASSERT_EQ(answers.size(), 2u);
  const Bytes& live = answers[0];
  const Bytes& result = answers[1];
  EXPECT_EQ(live[2], 0x4D);
  EXPECT_LT(s32(live, 30), 0) << "charge direction";
  EXPECT_LE(std::abs(10000 + s32(live, 30)), 500);
  EXPECT_EQ(result[2], 0x15);
  EXPECT_TRUE(hasValidChecksum(result));
  EXPECT_EQ(toHex(Bytes(result.begin() + 8, result.begin() + 11)), "01 01 00");
  EXPECT_EQ(s32(result, 15), 10000);
  const std::uint32_t coefficient = readU32(result, 11);
  EXPECT_NEAR(coefficient, 988, 5) << "1000 / sensor gain of the charge direction";
  EXPECT_LE(std::abs(10000 + s32(pollAt(board, 30000), 30)), 500) << "still following";
  const Bytes back = only(board.handle(hex("AA 55 07 00 00 01 01 01 00 00 00 00 03 00 55 AA"), 31000));
  EXPECT_EQ(back[10], 1);
  EXPECT_EQ(readU32(back, 11), coefficient);
  EXPECT_EQ(s32(back, 15), 10000);
}

// ---- requests a board ignores ----

TEST(BoardModel, malformedOrUnknownRequestsGetNoAnswer) {
  const char* ignored[] = {
      "AA 55 06 00 00 00 01 00 02 00 55 AA",                    // bad checksum
      "AA 55 33 00 00 00 01 00 01 00 55 AA",                    // unknown command
      "AA 55 06 00 00 00 01 00 00 01 00 55 AA",                 // poll of the wrong length
      "AA 55 18 00 00 00 10 00 00 00 00 00 00 00 10 00 55 AA",  // unknown balance sub-command
      "AA 55 07 00 00 01 04 00 00 00 00 00 05 00 55 AA",        // calibration point 5
      "AA 55 07 00 00 01 00 02 00 00 00 00 03 00 55 AA",        // direction 2
  };
  for (const char* request : ignored) {
    BoardModel board;
    EXPECT_TRUE(board.handle(hex(request), 0).empty()) << request;
  }
  BoardModel board;
  EXPECT_FALSE(board.understands(hex(ignored[1])));
  EXPECT_TRUE(board.understands(kPoll));
}

}  // namespace
}  // namespace orlo::sim
