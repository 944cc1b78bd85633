#include "app/trend_buffer.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <locale>
#include <sstream>
#include <string>

#include "app/trend_recorder.h"
#include "link/requests.h"
#include "support/frame_image.h"
#include "support/hex.h"

namespace orlo {
namespace {

TrendSample sampleAt(std::int64_t t, float cell1 = 0) {
  TrendSample s;
  s.timeMs = t;
  s.values[0] = cell1;
  return s;
}

// A Live data frame carrying every field the trends read, with a valid checksum.
Bytes liveFrame() {
  return test::FrameImage()
      .u16(10, 3301)
      .u16(12, 3302)
      .u16(14, 3303)
      .u16(16, 3310)
      .u16(18, static_cast<std::uint16_t>(-5))
      .u16(20, 41)
      .u32(22, 87)
      .u32(26, 13216)
      .u32(30, 1500)  // discharging 1.5 A shows as -1.5
      .u16(54, 3310)
      .u16(58, 3301)
      .frame();
}

// ---- bounds ----------------------------------------------------------------------------------

TEST(TrendBuffer, DefaultCapacityHoldsOneDayAtOneSamplePerSecond) {
  EXPECT_EQ(TrendBuffer().capacity(), 86400u);
}

TEST(TrendBuffer, FullBufferDropsTheOldestSamplesAndKeepsOrder) {
  TrendBuffer b(3);
  for (int i = 0; i < 5; ++i) b.add(sampleAt(i * 1000, static_cast<float>(i)));
  ASSERT_EQ(b.size(), 3u);
  EXPECT_EQ(b.at(0).timeMs, 2000);
  EXPECT_EQ(b.at(1).timeMs, 3000);
  EXPECT_EQ(b.newest().timeMs, 4000);
  EXPECT_EQ(b.newest().values[0], 4.0f);
}

TEST(TrendBuffer, ClockSteppingBackDoesNotUnsortTheSamples) {
  TrendBuffer b(10);
  b.add(sampleAt(5000));
  b.add(sampleAt(1000));
  EXPECT_EQ(b.at(1).timeMs, 5000);
}

// ---- gaps ------------------------------------------------------------------------------------

TEST(TrendBuffer, GapIsMoreThanFourSecondsWithoutASample) {
  struct Case {
    std::int64_t interval;
    bool gap;
  } cases[] = {{1000, false}, {4000, false}, {4001, true}, {60000, true}};
  for (const auto& c : cases) {
    TrendBuffer b(4);
    b.add(sampleAt(10000));
    b.add(sampleAt(10000 + c.interval));
    EXPECT_EQ(b.gapBefore(1), c.gap) << "interval " << c.interval;
    EXPECT_FALSE(b.gapBefore(0));
  }
}

TEST(TrendBuffer, GapSurvivesTheRingWrapping) {
  TrendBuffer b(3);
  b.add(sampleAt(0));
  b.add(sampleAt(1000));
  b.add(sampleAt(9000));
  b.add(sampleAt(10000));
  EXPECT_TRUE(b.gapBefore(1));
  EXPECT_FALSE(b.gapBefore(2));
}

// ---- visible span and hover ------------------------------------------------------------------

TEST(TrendBuffer, VisibleSpanTakesSamplesInsideTheWindowInclusive) {
  TrendBuffer b(100);
  for (int i = 0; i <= 10; ++i) b.add(sampleAt(i * 1000));
  TrendRange r = b.visible(8000, 3000);
  EXPECT_EQ(b.at(r.first).timeMs, 5000);
  EXPECT_EQ(b.at(r.last - 1).timeMs, 8000);
  EXPECT_EQ(r.size(), 4u);
  EXPECT_TRUE(b.visible(-1, 1000).empty());
  EXPECT_EQ(b.visible(INT64_MAX, INT64_MAX / 2).size(), 0u);
  EXPECT_EQ(b.visible(20000, 100000).size(), 11u);
}

TEST(TrendBuffer, NearestPicksTheCloserSampleAndStaysInTheRange) {
  TrendBuffer b(100);
  for (int i = 0; i <= 10; ++i) b.add(sampleAt(i * 1000));
  TrendRange r = b.visible(8000, 3000);
  EXPECT_EQ(b.at(b.nearest(r, 6400)).timeMs, 6000);
  EXPECT_EQ(b.at(b.nearest(r, 6600)).timeMs, 7000);
  EXPECT_EQ(b.at(b.nearest(r, 0)).timeMs, 5000);
  EXPECT_EQ(b.at(b.nearest(r, 99999)).timeMs, 8000);
  EXPECT_EQ(b.nearest(TrendRange{}, 5000), 0u);
}

// ---- decoding --------------------------------------------------------------------------------

TEST(TrendRecorder, LiveDataFrameBecomesOneSampleWithHeaderSignsAndSpread) {
  TrendBuffer b(10);
  TrendRecorder rec(b, [] { return std::int64_t{1234}; });
  Bytes f = liveFrame();
  rec.onFrameDispatched(f.data(), f.size());
  ASSERT_EQ(b.size(), 1u);
  const TrendSample& s = b.newest();
  EXPECT_EQ(s.timeMs, 1234);
  EXPECT_EQ(s.value(TrendSeries::Cell1), 3301);
  EXPECT_EQ(s.value(TrendSeries::Cell4), 3310);
  EXPECT_EQ(s.value(TrendSeries::Temp1), -5);
  EXPECT_EQ(s.value(TrendSeries::Temp2), 41);
  EXPECT_EQ(s.value(TrendSeries::Soc), 87);
  EXPECT_EQ(s.value(TrendSeries::Total), 13216);
  EXPECT_FLOAT_EQ(s.value(TrendSeries::Current), -1.5f);
  EXPECT_EQ(s.value(TrendSeries::Spread), 9);
}

TEST(TrendRecorder, OtherCommandsAndShortFramesAddNothing) {
  TrendBuffer b(10);
  TrendRecorder rec(b, [] { return std::int64_t{0}; });
  Bytes poll = pollRequest();
  rec.onFrameDispatched(poll.data(), poll.size());
  Bytes stub = test::hex("AA 55");
  rec.onFrameDispatched(stub.data(), stub.size());
  rec.onFrameDispatched(nullptr, 0);
  EXPECT_EQ(b.size(), 0u);
}

TEST(TrendRecorder, TruncatedLiveDataReadsMissingFieldsAsZero) {
  TrendBuffer b(10);
  TrendRecorder rec(b, [] { return std::int64_t{0}; });
  Bytes f = test::hex("AA 55 4D 00 00 00 00 00 00 00 E4 0C");
  rec.onFrameDispatched(f.data(), f.size());
  ASSERT_EQ(b.size(), 1u);
  EXPECT_EQ(b.newest().value(TrendSeries::Cell1), 3300);
  EXPECT_EQ(b.newest().value(TrendSeries::Cell2), 0);
  EXPECT_EQ(b.newest().value(TrendSeries::Spread), 0);
}

// ---- CSV -------------------------------------------------------------------------------------

class TrendCsv : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    savedTz_ = tz ? tz : "";
    hadTz_ = tz != nullptr;
    setenv("TZ", "UTC-1", 1);  // POSIX sign: one hour east of Greenwich
    tzset();
  }
  void TearDown() override {
    if (hadTz_)
      setenv("TZ", savedTz_.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
    std::setlocale(LC_ALL, "C");
    std::locale::global(std::locale::classic());
  }
  std::string csvOfOneSample() {
    TrendBuffer b(4);
    TrendSample s = sampleAt(1796636809123);  // 2026-12-07T09:46:49.123Z
    s.values = {3301, 3302, 3303, 3304, -1.5f, 87, -5, 41, 13210, 3};
    b.add(s);
    std::ostringstream out;
    b.writeCsv(out, b.visible(INT64_MAX, INT64_MAX));
    return out.str();
  }
  // de_DE uses ',' as its decimal point: the locale that would break a careless exporter.
  bool useGermanLocale() {
    if (std::setlocale(LC_ALL, "de_DE.UTF-8")) return true;
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / "orlo_trend_locales";
    fs::create_directories(dir);
    std::string cmd = "localedef -i de_DE -f UTF-8 '" + (dir / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
    if (!fs::exists(dir / "de_DE.UTF-8") && std::system(cmd.c_str()) != 0) return false;
    setenv("LOCPATH", dir.c_str(), 1);
    return std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
  }

 private:
  std::string savedTz_;
  bool hadTz_ = false;
};

TEST_F(TrendCsv, HeaderNamesEverySeriesWithItsUnitInUtf8) {
  std::string csv = csvOfOneSample();
  std::string header = csv.substr(0, csv.find('\n'));
  EXPECT_EQ(header,
            "Time (ISO 8601),Cell 1 (mV),Cell 2 (mV),Cell 3 (mV),Cell 4 (mV),Current (A),SOC (%),"
            "Temperature 1 (\xC2\xB0"
            "C),Temperature 2 (\xC2\xB0"
            "C),Total voltage (mV),Cell spread (mV)");
}

TEST_F(TrendCsv, RowCarriesLocalIsoTimeWithOffsetAndPointDecimals) {
  std::string csv = csvOfOneSample();
  std::string row = csv.substr(csv.find('\n') + 1);
  EXPECT_EQ(row, "2026-12-07T10:46:49.123+01:00,3301,3302,3303,3304,-1.500,87,-5,41,13210,3\n");
}

TEST_F(TrendCsv, GermanLocaleStillGetsPointDecimals) {
  if (!useGermanLocale()) GTEST_SKIP() << "no de_DE.UTF-8 locale and localedef could not make one";
  std::locale::global(std::locale("de_DE.UTF-8"));
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 1.5);
  ASSERT_STREQ(probe, "1,5") << "the locale did not take effect";
  std::string csv = csvOfOneSample();
  EXPECT_NE(csv.find(",-1.500,"), std::string::npos) << csv;
  EXPECT_EQ(csv.find("1,5"), std::string::npos) << csv;
  EXPECT_NE(csv.find(",13210,"), std::string::npos) << "no digit grouping: " << csv;
}

TEST(FormatDecimal, UsesFixedDigitsAndNeverShowsMinusZero) {
  struct Case {
    double v;
    int decimals;
    const char* text;
  } cases[] = {{1.5, 3, "1.500"},
               {-0.0004, 3, "0.000"},
               {-0.0, 0, "0"},
               {1e9, 0, "1000000000"},
               {-2147483648.0, 0, "-2147483648"},
               {std::nan(""), 2, ""}};
  for (const auto& c : cases) EXPECT_EQ(formatDecimal(c.v, c.decimals), c.text) << c.v;
}

}  // namespace
}  // namespace orlo
