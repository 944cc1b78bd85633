// The log line formats: header, the columns of a row, and the UTF-16LE bytes they are stored as.

#include "core/log_row.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "support/hex.h"

namespace orlo {
namespace {

using test::toHex;

std::tm at(int hour, int minute, int second) {
  std::tm t{};
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  return t;
}

// The values of the worked example: 14:05:09, row 0, raw current 1500 mA and so on.
LogValues exampleValues() {
  LogValues v;
  v.cellVoltage[0] = 3301;
  v.cellVoltage[1] = 3302;
  v.cellVoltage[2] = 3303;
  v.cellVoltage[3] = 3304;
  v.voltageDifference = 12;
  v.temperature1 = 25;
  v.temperature2 = 26;
  v.socLowByte = 80;
  v.cycleCount = 12;
  v.current = -1.5f;
  v.dischargeCapacity = 10500 / 1000.0f;
  v.chargeCapacity = 11250 / 1000.0f;
  v.remainingCapacity = 4560 / 100.0f;
  v.mosStatus = 3;
  v.systemMode = 1;
  return v;
}

// Independent of the encoder under test: ASCII only, a zero byte after each character.
Bytes asciiAsUtf16(const std::string& text) {
  Bytes out;
  for (char c : text) {
    out.push_back(static_cast<std::uint8_t>(c));
    out.push_back(0);
  }
  return out;
}

Bytes bytesOf(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

// ---- header and the worked example ----

TEST(LogRow, HeaderNamesTheTwentyColumnsInOrder) {
  EXPECT_EQ(logHeaderLine(),
            "TIME,NUMBER,Cell1-V(mV),Cell2-V(mV),Cell3-V(mV),Cell4-V(mV),Diff(mV),Total,MosTemp,PackTemp,SOC,"
            "Circle,Current,Balance,DischgCap,ChgCap,RemainCap,error,MosStatus,Mode\n");
}

TEST(LogRow, WorkedExampleComesOutByteForByteInUtf16) {
  const std::string expected =
      "14:05:09,0,3301,3302,3303,3304,12,13210,25.000000,26.000000,80,12,-1.500000,0,10.50,11.25,45.60,0,3,"
      "1\n";
  const Bytes bytes = bytesOf(toUtf16Le(formatLogRow(at(14, 5, 9), 0, exampleValues())));
  EXPECT_EQ(toHex(bytes), toHex(asciiAsUtf16(expected)));
  EXPECT_EQ(toHex(Bytes(bytes.end() - 4, bytes.end())), "31 00 0A 00");  // LF alone, no CR
}

// ---- single columns ----

struct ColumnCase {
  const char* what;
  void (*change)(LogValues&);
  int column;  // 0-based
  const char* expected;
};

const ColumnCase kColumnCases[] = {
    {"a zero current keeps the sign of its negation", [](LogValues& v) { v.current = -0.0f; }, 12,
     "-0.000000"},
    {"a charging current is positive", [](LogValues& v) { v.current = 2.25f; }, 12, "2.250000"},
    {"alarm bit 31 prints negative", [](LogValues& v) { v.alarmFlags = 0x80000001u; }, 17, "-2147483647"},
    {"balance flags print unsigned", [](LogValues& v) { v.balanceFlags = 0xFFFF; }, 13, "65535"},
    {"a negative voltage difference", [](LogValues& v) { v.voltageDifference = -7; }, 6, "-7"},
    {"total of four full-scale cells", [](LogValues& v) { std::fill_n(v.cellVoltage, 4, 65535); }, 7,
     "262140"},
    {"the largest cycle count", [](LogValues& v) { v.cycleCount = 65535; }, 11, "65535"},
    {"capacities round to two places", [](LogValues& v) { v.remainingCapacity = 2.0f / 3; }, 16, "0.67"},
    {"negative temperatures", [](LogValues& v) { v.temperature2 = -20; }, 9, "-20.000000"},
};

std::vector<std::string> fields(const std::string& row) {
  std::vector<std::string> out(1);
  for (char c : row.substr(0, row.size() - 1)) {
    if (c == ',') {
      out.emplace_back();
    } else {
      out.back() += c;
    }
  }
  return out;
}

TEST(LogRow, EachColumnUsesItsOwnFormat) {
  for (const ColumnCase& c : kColumnCases) {
    LogValues v = exampleValues();
    c.change(v);
    const std::vector<std::string> row = fields(formatLogRow(at(0, 0, 0), 0, v));
    ASSERT_EQ(row.size(), 20u) << c.what;
    EXPECT_EQ(row[static_cast<std::size_t>(c.column)], c.expected) << c.what;
  }
}

TEST(LogRow, TimeIsTwoDigitTwentyFourHourAndNumberIsTheCounter) {
  const std::vector<std::string> row = fields(formatLogRow(at(23, 0, 7), -5, LogValues{}));
  EXPECT_EQ(row[0], "23:00:07");
  EXPECT_EQ(row[1], "-5");
}

TEST(LogRow, HugeFloatsStillGiveWholeRowsOfTwentyFields) {
  LogValues v;
  v.temperature1 = -3.4e38f;
  v.current = 3.4e38f;
  v.chargeCapacity = 3.4e38f;
  const std::string row = formatLogRow(at(1, 2, 3), 0, v);
  EXPECT_EQ(fields(row).size(), 20u);
  EXPECT_EQ(row.back(), '\n');
  EXPECT_EQ(fields(row)[8].substr(0, 5), "-3399");
}

// A process switched to a decimal-comma locale (as a desktop session's setting would) still
// writes "." in the floats of a row, else each would split into two columns.
TEST(LogRow, ADecimalCommaLocaleChangesNothingInARow) {
  const std::string expected = formatLogRow(at(14, 5, 9), 0, exampleValues());
  std::filesystem::path dir = std::filesystem::temp_directory_path() / "orlo_log_row_locales";
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) {
    std::filesystem::create_directories(dir);
    const std::string made = (dir / "de_DE.UTF-8").string();
    const std::string command = "localedef -i de_DE -f UTF-8 '" + made + "' >/dev/null 2>&1";
    if (!std::filesystem::exists(made) && std::system(command.c_str()) != 0)
      GTEST_SKIP() << "no de_DE.UTF-8 locale and localedef could not make one";
    setenv("LOCPATH", dir.c_str(), 1);
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "the made locale does not load";
  }
  char probe[8];
  std::snprintf(probe, sizeof probe, "%.1f", 2.5);
  const std::string row = formatLogRow(at(14, 5, 9), 0, exampleValues());
  std::setlocale(LC_ALL, "C");
  ASSERT_STREQ(probe, "2,5") << "the locale did not take effect";
  EXPECT_EQ(row, expected);
  EXPECT_EQ(row,
            "14:05:09,0,3301,3302,3303,3304,12,13210,25.000000,26.000000,80,12,-1.500000,0,10.50,11.25,45.60,"
            "0,3,1\n");
}

// ---- the encoder ----

TEST(Utf16Le, EncodesBeyondAsciiIncludingSurrogatePairs) {
  EXPECT_EQ(toHex(bytesOf(toUtf16Le("A\xE4\xB8\xAD"))), "41 00 2D 4E");     // A, 中
  EXPECT_EQ(toHex(bytesOf(toUtf16Le("\xF0\x9F\x94\x8B"))), "3D D8 0B DD");  // U+1F50B
  EXPECT_EQ(toHex(bytesOf(toUtf16Le("\xC3\xA9"))), "E9 00");                // é
}

TEST(Utf16Le, MalformedBytesBecomeReplacementCharactersAndKeepTheGrid) {
  EXPECT_EQ(toHex(bytesOf(toUtf16Le("\xFF"
                                    "a"))),
            "FD FF 61 00");
  EXPECT_EQ(toHex(bytesOf(toUtf16Le("\xE4\xB8"
                                    "b"))),
            "FD FF 62 00");                                         // cut short
  EXPECT_EQ(toHex(bytesOf(toUtf16Le("\xC0\xAF"))), "FD FF FD FF");  // overlong '/'
  EXPECT_EQ(toHex(bytesOf(toUtf16Le("\xED\xA0\x80"))), "FD FF");    // lone surrogate
  EXPECT_EQ(toUtf16Le("").size(), 0u);
}

}  // namespace
}  // namespace orlo
