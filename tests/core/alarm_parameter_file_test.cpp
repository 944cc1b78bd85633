#include "core/alarm_parameter_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <random>
#include <sstream>
#include <streambuf>

#include "core/alarm_parameter_record.h"

namespace orlo {
namespace {

std::vector<std::string> loadText(const std::string& text, std::vector<std::string> loaded) {
  std::istringstream in(text);
  readAlarmParameterLines(in, &loaded);
  return loaded;
}

// ---- reading lines -------------------------------------------------------------------------

TEST(AlarmParameterLines, TakeTheSecondFieldOfEachLineThatHoldsAComma) {
  struct Case {
    const char* text;
    const char* row1;
  } cases[] = {
      {"Charge OC,120,mA\r\n", "120"},
      {"Charge OC,120\r\n", "120"},
      {"Charge OC,120\n", "120"},
      {"Charge OC,,mA\r\n", ""},
      {"Charge OC,\r\n", ""},
      {"Charge OC,120", "120"},
      {"a,b,c,d\n", "b"},
      {",x\n", "x"},
      {"Charge OC 120\r\n", "old"},
      {"\r\n", "old"},
      {"", "old"},
      {"x, -20 ,C\n", " -20 "},
  };
  for (const auto& c : cases) {
    std::vector<std::string> loaded(kAlarmParameterCount, "old");
    EXPECT_EQ(loadText(c.text, loaded)[0], c.row1) << '"' << c.text << '"';
  }
}

TEST(AlarmParameterLines, AHeaderLineShiftsEveryValueByOneRow) {
  const auto loaded = loadText("Name,Value,Unit\r\nCharge OC,50,mA\r\nCharge OC Delay,2,S\r\n",
                               std::vector<std::string>(kAlarmParameterCount));
  EXPECT_EQ(loaded[0], "Value");
  EXPECT_EQ(loaded[1], "50");
  EXPECT_EQ(loaded[2], "2");
}

TEST(AlarmParameterLines, EmptyLinesCountAndLinesPastTheFortyFourthAreIgnored) {
  std::string text = "\nsecond,2\n";
  for (int i = 3; i <= 50; ++i) text += "row," + std::to_string(i) + "\n";
  const auto loaded = loadText(text, std::vector<std::string>(kAlarmParameterCount, "old"));
  EXPECT_EQ(loaded[0], "old");
  EXPECT_EQ(loaded[1], "2");
  EXPECT_EQ(loaded[43], "44");
}

// Of a longer line only its first 63 characters count, as the original's line reader keeps them.
TEST(AlarmParameterLines, LongLinesKeepTheirFirstSixtyThreeCharactersAndDoNotSpillIntoTheNextRow) {
  const std::string longLabel(200, 'L');
  const std::string longValue(100, '7');
  const std::string fits = "x," + std::string(61, '6');  // 63 characters exactly
  const auto loaded =
      loadText(longLabel + ",5,mV\n" + "x," + longValue + ",mV\r\n" + fits + "\r\n" + fits + "9\r\ny,9\n",
               std::vector<std::string>(kAlarmParameterCount, "old"));
  EXPECT_EQ(loaded[0], "old") << "its comma lies past the 63rd character";
  EXPECT_EQ(loaded[1], longValue.substr(0, 61));
  EXPECT_EQ(loaded[2], std::string(61, '6'));
  EXPECT_EQ(loaded[3], std::string(61, '6'));
  EXPECT_EQ(loaded[4], "9");
}

// Hands out `size` bytes of one line ("v,", then digits) and then a second line, a chunk at a
// time, as a huge file would; counts what was read.
class OneHugeLine : public std::streambuf {
 public:
  explicit OneHugeLine(std::uint64_t size) : size_(size) {}
  std::uint64_t handedOut = 0;

 protected:
  int_type underflow() override {
    if (handedOut >= size_ + kTail.size()) return traits_type::eof();
    std::size_t n = 0;
    for (; n < sizeof chunk_ && handedOut < size_ + kTail.size(); ++n, ++handedOut)
      chunk_[n] = handedOut < 2       ? "v,"[handedOut]
                  : handedOut < size_ ? char('0' + handedOut % 10)
                                      : kTail[handedOut - size_];
    setg(chunk_, chunk_, chunk_ + n);
    return traits_type::to_int_type(chunk_[0]);
  }

 private:
  const std::string kTail = "\nnext,42\n";
  std::uint64_t size_;
  char chunk_[1 << 16];
};

long peakKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

TEST(AlarmParameterLines, AOneLineFileOfGigabytesIsReadInBoundedMemoryAndTime) {
  constexpr std::uint64_t kSize = 3ull << 30;
  OneHugeLine source(kSize);
  std::istream in(&source);
  std::vector<std::string> loaded(kAlarmParameterCount, "old");
  const long before = peakKilobytes();
  readAlarmParameterLines(in, &loaded);
  EXPECT_LT(peakKilobytes() - before, 16 * 1024) << "the line was held in memory";
  EXPECT_LT(source.handedOut, 2ull << 20) << "read on through a line no parameter file has";
  std::string digits;
  for (std::uint64_t i = 2; i < kLongestAlarmFileLine; ++i) digits += char('0' + i % 10);
  EXPECT_EQ(loaded[0], digits);
  EXPECT_EQ(loaded[1], "old");
}

// Whatever bytes a file holds, reading ends, keeps 44 rows and touches no row it has no line for.
TEST(AlarmParameterLines, ArbitraryBytesNeverBreakTheRowCount) {
  std::mt19937 random(12345);
  const char alphabet[] = {',', '\r', '\n', 'a', '-', '7', '\0', '\xFF', ' '};
  for (int round = 0; round < 500; ++round) {
    std::string text(random() % 400, ' ');
    for (auto& c : text) c = alphabet[random() % sizeof alphabet];
    const auto loaded = loadText(text, std::vector<std::string>(kAlarmParameterCount, "old"));
    ASSERT_EQ(loaded.size(), kAlarmParameterCount);
    std::size_t lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
    for (std::size_t row = lines; row < kAlarmParameterCount; ++row) EXPECT_EQ(loaded[row], "old");
  }
}

}  // namespace
}  // namespace orlo
