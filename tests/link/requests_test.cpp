#include "link/requests.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/hex.h"

namespace orlo {
namespace {

using test::hex;
using test::toHex;

// ---- reference byte strings --------------------------------------------------------------

struct Reference {
  const char* name;
  Bytes built;
  const char* expected;
};

std::vector<Reference> references() {
  return {
      {"poll", pollRequest(), "AA 55 06 00 00 00 01 00 01 00 55 AA"},
      {"alarm parameter read", alarmParameterReadRequest(),
       "AA 55 0C 00 00 00 B0 01 00 00 00 00 00 00 B1 00 55 AA"},
      {"balance read", balanceReadRequest(), "AA 55 18 00 00 00 0E 00 00 00 00 00 00 00 0E 00 55 AA"},
      {"balance set 3600/30/3550", balanceSetRequest(3600, 30, 3550),
       "AA 55 18 00 00 00 0F 10 0E 1E DE 0D 00 00 36 01 55 AA"},
      {"balance set threshold 70000 keeps its low 16 bits",
       balanceSetRequest(static_cast<std::uint16_t>(70000), 1, 0),
       "AA 55 18 00 00 00 0F 70 11 01 00 00 00 00 91 00 55 AA"},
      {"manual cell 1", manualBalanceRequest(1), "AA 55 18 00 00 00 0D 01 01 00 00 00 00 00 0F 00 55 AA"},
      {"manual cell 2", manualBalanceRequest(2), "AA 55 18 00 00 00 0D 01 02 00 00 00 00 00 10 00 55 AA"},
      {"manual cell 3", manualBalanceRequest(3), "AA 55 18 00 00 00 0D 01 04 00 00 00 00 00 12 00 55 AA"},
      {"manual cell 4", manualBalanceRequest(4), "AA 55 18 00 00 00 0D 01 08 00 00 00 00 00 16 00 55 AA"},
      {"manual off", manualBalanceOffRequest(), "AA 55 18 00 00 00 0D 00 00 00 00 00 00 00 0D 00 55 AA"},
      {"calibration read point 1 discharge", calibrationReadRequest(0, 0),
       "AA 55 07 00 00 01 00 00 00 00 00 00 01 00 55 AA"},
      {"calibration point 2 charge 10000 mA", calibrationPointRequest(1, 1, 10000),
       "AA 55 07 00 00 00 01 01 10 27 00 00 39 00 55 AA"},
      {"calibration point 4 discharge -1 mA", calibrationPointRequest(3, 0, -1),
       "AA 55 07 00 00 00 03 00 FF FF FF FF FF 03 55 AA"},
  };
}

TEST(RequestBytes, EveryRequestEncodesToItsReferenceByteString) {
  for (const auto& r : references()) EXPECT_EQ(toHex(r.built), r.expected) << r.name;
}

TEST(RequestBytes, AManualRequestForANonexistentCellSendsAllOffInstead) {
  EXPECT_EQ(manualBalanceRequest(0), manualBalanceOffRequest());
  EXPECT_EQ(manualBalanceRequest(5), manualBalanceOffRequest());
}

TEST(RequestBytes, AlarmSetRequestOfAllZeroDataCarriesOnlyTheSubCommandInItsChecksum) {
  const Bytes frame = alarmParameterSetRequest(AlarmSetData{});
  ASSERT_EQ(frame.size(), 82u);
  EXPECT_EQ(toHex(Bytes(frame.begin(), frame.begin() + 7)), "AA 55 47 00 00 00 B1");
  for (std::size_t i = 7; i <= 77; ++i) EXPECT_EQ(frame[i], 0) << "offset " << i;
  EXPECT_EQ(toHex(Bytes(frame.begin() + 78, frame.end())), "B1 00 55 AA");
}

TEST(RequestBytes, AlarmSetRequestPlacesItsDataAtOffsetSevenAndSumsBytesFourToSeventySeven) {
  AlarmSetData data{};
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i + 1);
  const Bytes frame = alarmParameterSetRequest(data);
  ASSERT_EQ(frame.size(), 82u);
  EXPECT_EQ(frame[7], 1);
  EXPECT_EQ(frame[77], 71);
  // 0xB1 + (1 + ... + 71) = 177 + 2556 = 2733 = 0x0AAD
  EXPECT_EQ(frame[78], 0xAD);
  EXPECT_EQ(frame[79], 0x0A);
  EXPECT_EQ(frame[80], 0x55);
  EXPECT_EQ(frame[81], 0xAA);
}

// ---- checksum ----------------------------------------------------------------------------

TEST(FrameChecksum, ASumAbove255StoresItsHighByteBeforeTheTail) {
  const Bytes frame = hex("AA 55 0C 00 00 00 B1 FF 00 00 00 00 00 00 B0 01 55 AA");
  EXPECT_EQ(frameChecksum(frame.data(), 14), 0x01B0);
  EXPECT_EQ(toHex(buildFrame(0x0C, 0x00, 0xB1, hex("FF 00 00 00 00 00 00"))),
            "AA 55 0C 00 00 00 B1 FF 00 00 00 00 00 00 B0 01 55 AA");
}

TEST(FrameChecksum, IgnoresHeadCommandAndByteThree) {
  const Bytes a = hex("AA 55 0C 00 00 00 B0 01 00 00 00 00 00 00");
  const Bytes b = hex("12 34 18 FF 00 00 B0 01 00 00 00 00 00 00");
  EXPECT_EQ(frameChecksum(a.data(), a.size()), frameChecksum(b.data(), b.size()));
  EXPECT_EQ(buildFrame(0x0C, 0, 0xB0, hex("01 00 00 00 00 00 00"))[14],
            buildFrame(0x18, 0, 0xB0, hex("01 00 00 00 00 00 00"))[14]);
}

TEST(FrameChecksum, WrapsModulo65536) {
  const Bytes ones(4 + 300, 0xFF);  // 300 x 255 = 76500 = 65536 + 10964
  EXPECT_EQ(frameChecksum(ones.data(), ones.size()), 10964);
}

TEST(FrameChecksum, AnEmptyRangeSumsToZero) {
  const Bytes head = hex("AA 55 06 00 FF");
  EXPECT_EQ(frameChecksum(head.data(), 4), 0);
}

TEST(BuildFrame, LengthIsElevenPlusTheData) {
  for (std::size_t n : {1u, 5u, 7u, 71u, 89u})
    EXPECT_EQ(buildFrame(0x01, 0, 0, Bytes(n, 0x33)).size(), 11 + n);
}

}  // namespace
}  // namespace orlo
