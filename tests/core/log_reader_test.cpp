#include "core/log_reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <tuple>
#include <vector>

namespace orlo {
namespace {

const std::string kHeader = logHeaderText() + "\n";

std::string row(const std::string& time, int number, const std::string& current = "-1.500000") {
  return time + "," + std::to_string(number) + ",3301,3302,3303,3304,3,13210,25.000000,26.000000,80,12," +
         current + ",0,10.50,11.25,45.60,0,3,1\n";
}

std::string utf16(const std::string& ascii) {
  std::string out;
  for (char c : ascii) {
    out += c;
    out += '\0';
  }
  return out;
}

std::string crlf(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

// Each line's fields in double quotes, as a spreadsheet may save them.
std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool lineEnd = c == '\n';
    out += c == ',' ? "\",\"" : lineEnd ? "\"\n" : std::string(1, c);
    if (lineEnd && i + 1 < text.size()) out += '"';
  }
  return out;
}

class LogReaderTest : public ::testing::Test {
 protected:
  std::string write(const std::string& bytes) {
    std::ofstream(path_, std::ios::binary | std::ios::trunc) << bytes;
    return path_;
  }
  void append(const std::string& bytes) { std::ofstream(path_, std::ios::binary | std::ios::app) << bytes; }
  void TearDown() override { ::unlink(path_.c_str()); }
  std::string path_ = ::testing::TempDir() + "log_reader_test.csv";
};

struct Hostile {
  const char* name;
  std::string bytes;
  const char* openError;  // part of the message when the file is refused, else ""
  int rows;
  int badRows;
  bool torn;
  const char* problem;  // part of the first problem ("" for none)
};

TEST_F(LogReaderTest, HostileFilesGiveClearMessagesAndKeepTheGoodRows) {
  const std::string good = row("14:05:09", 0) + row("14:05:10", 1);
  const std::string decimalComma =
      "14:05:11,2,3301,3302,3303,3304,3,13210,25,500000,26,000000,80,12,-1,500000,0,"
      "10,50,11,25,45,60,0,3,1\n";
  const std::string oneMegabyte(1 << 20, '7');
  std::string accented = utf16(row("14:05:08", 0));
  accented[4] = '\xE9';  // 14:05:08 -> 14\u00e905:08
  const std::vector<Hostile> cases = {
      {"empty", "", "is empty", 0, 0, false, ""},
      {"events file", crlf("time,kind,event\n2026-12-01T10:00:00+01:00,alarm,Cell OV on\n"),
       ":1: this is an events file", 0, 0, false, ""},
      {"alarm parameter file", crlf("Charge OC,50,mA\nCharge OC Delay,2,S\n"),
       ":1: this looks like an alarm parameter", 0, 0, false, ""},
      {"other text", "hello\n", ":1: not a data log", 0, 0, false, ""},
      {"big-endian", "\xFE\xFF", "big-endian", 0, 0, false, ""},
      {"header without its line end", utf16(logHeaderText()), "no line end", 0, 0, false, ""},
      {"as written: UTF-16LE, LF", utf16(kHeader + good), "", 2, 0, false, ""},
      {"UTF-16LE with a byte order mark", "\xFF\xFE" + utf16(kHeader + good), "", 2, 0, false, ""},
      {"UTF-8 with BOM, CR LF", "\xEF\xBB\xBF" + crlf(kHeader + good), "", 2, 0, false, ""},
      {"UTF-8, LF, a blank line", kHeader + "\n" + good, "", 2, 0, false, ""},
      {"torn last row", utf16(kHeader + good + "14:05:1"), "", 2, 0, true, ""},
      {"odd last byte", utf16(kHeader + good) + "1", "", 2, 0, true, ""},
      {"decimal-comma row", kHeader + good + decimalComma, "", 3, 0, false, ""},
      {"decimal comma that fits no column",
       kHeader +
           "14:05:09,0,3301,3302,3303,3304,3,13210,25,5,26,0,80,12,-1,5,"
           "0,10,50,11,25,45,60,0,3,1\n" +
           good,
       "", 2, 1, false, ":2: 26 fields"},
      // 10,50,11,25 reads as 10.50 and 11, or as 10 and 50.11: refused, not guessed.
      {"decimal comma with two readings",
       kHeader +
           "14:05:09,0,3301,3302,3303,3304,3,13210,25.000000,26.000000,80,12,"
           "-1.500000,0,10,50,11,25,0,3,1\n" +
           good,
       "", 2, 1, false, ":2: 21 fields and no single decimal-comma reading"},
      {"NUL bytes", utf16(kHeader + row("14:05:08", 0)) + std::string(6, '\0') + utf16("\n" + good), "", 3, 1,
       false, ":3: NUL"},
      {"a line of a megabyte", kHeader + oneMegabyte + "\n" + good, "", 2, 1, false, ":2: a line of 1048576"},
      {"not ASCII", kHeader + "14:05:0\xC3\xA9,0\n" + good, "", 2, 1, false, ":2: characters"},
      {"not ASCII, UTF-16LE", utf16(kHeader) + accented + utf16(good), "", 2, 1, false, ":2: characters"},
      {"bad time", kHeader + row("25:00:00", 0) + good, "", 2, 1, false, ":2: TIME '25:00:00'"},
      {"a value that is no number", kHeader + row("14:05:08", 0, "x") + good, "", 2, 1, false,
       ":2: Current 'x'"},
      {"short row", kHeader + "14:05:08,0,3301\n" + good, "", 2, 1, false, ":2: 3 fields"},
      {"quoted fields, UTF-8 CR LF", crlf(quoted(kHeader + good)), "", 2, 0, false, ""},
      {"quoted fields, UTF-16LE", "\xFF\xFE" + utf16(quoted(kHeader + good)), "", 2, 0, false, ""},
      {"quoted decimal commas", kHeader + quoted(decimalComma) + good, "", 3, 0, false, ""},
      {"a quote inside a quoted field", kHeader + row("14:05:08", 0, "\"x\"\"y\"") + good, "", 2, 1, false,
       ":2: Current 'x\"y'"},
      {"a quote not closed on the line", utf16(kHeader + row("14:05:08", 0, "\"-1.5,0,1") + good), "", 2, 1,
       false, ":2: the quote at character 66 is not closed"},
      {"text after a closing quote", kHeader + row("14:05:08", 0, "\"-1.5\"0") + good, "", 2, 1, false,
       ":2: text after the closing quote"},
  };
  for (const Hostile& c : cases) {
    SCOPED_TRACE(c.name);
    bool unreadable = true;
    Result<LogReader> reader = LogReader::open(write(c.bytes), &unreadable);
    if (*c.openError) {
      ASSERT_FALSE(reader);
      EXPECT_FALSE(unreadable);
      EXPECT_NE(reader.error().find(path_), std::string::npos) << reader.error();
      EXPECT_NE(reader.error().find(c.openError), std::string::npos) << reader.error();
      continue;
    }
    ASSERT_TRUE(reader) << reader.error();
    std::vector<std::string> currents;
    ASSERT_TRUE(reader->readAvailable([&](const LogRecord& r) { currents.emplace_back(r.row.text[12]); }));
    EXPECT_EQ(reader->rows(), c.rows);
    EXPECT_EQ(reader->badRows(), c.badRows);
    EXPECT_EQ(reader->tornRow(), c.torn);
    if (*c.problem) {
      ASSERT_FALSE(reader->problems().empty());
      EXPECT_NE(reader->problems()[0].find(path_ + c.problem), std::string::npos) << reader->problems()[0];
    }
    for (const std::string& current : currents) EXPECT_EQ(current, "-1.500000");
  }
}

TEST_F(LogReaderTest, DaysRollOverRunsRestartAndStepsBackAreNamed) {
  // 23:59:59 -> 00:00:01 is the next day; NUMBER 0 starts run 1 (and its earlier time another
  // day); 10:00:00 -> 09:00:00 within a run is taken as the next day but named.
  const std::string rows = row("23:59:58", 7) + row("23:59:59", 8) + row("00:00:01", 9) + row("00:00:00", 0) +
                           row("10:00:00", 1) + row("09:00:00", 2);
  Result<LogReader> reader = LogReader::open(write(kHeader + rows));
  ASSERT_TRUE(reader);
  std::vector<CivilSeconds> seconds;
  std::vector<int> runs;
  ASSERT_TRUE(reader->readAvailable([&](const LogRecord& r) {
    seconds.push_back(r.seconds);
    runs.push_back(r.run);
  }));
  const CivilSeconds d = kSecondsPerDay;
  EXPECT_EQ(seconds, (std::vector<CivilSeconds>{86398, 86399, d + 1, 2 * d, 2 * d + 36000, 3 * d + 32400}));
  EXPECT_EQ(runs, (std::vector<int>{0, 0, 0, 1, 1, 1}));
  EXPECT_EQ(reader->runs(), 2);
  EXPECT_EQ(reader->backwardJumps(), 1);
  EXPECT_EQ(reader->badRows(), 0);
  ASSERT_EQ(reader->problems().size(), 1u);
  EXPECT_NE(reader->problems()[0].find(":7: the time goes back from 10:00:00 to 09:00:00"),
            std::string::npos);

  // The last row's day is the modification day: three days before it is the first row's.
  const std::time_t modified = reader->modificationTime();
  EXPECT_EQ(reader->firstDayFromModification(), localDayOf(modified) - 3 * d);
}

TEST_F(LogReaderTest, AGrowingLogIsReadToItsLastWholeRowAndAShrinkingOneStops) {
  Result<LogReader> reader = LogReader::open(write(utf16(kHeader + row("14:05:09", 0) + "14:05")));
  ASSERT_TRUE(reader);
  std::vector<std::int32_t> numbers;
  const auto sink = [&](const LogRecord& r) { numbers.push_back(r.row.number); };
  ASSERT_TRUE(reader->readAvailable(sink));
  EXPECT_TRUE(reader->tornRow());
  append(utf16(row(":10", 1)).substr(0, 5));  // an odd number of bytes: half a character
  ASSERT_TRUE(reader->readAvailable(sink));
  append(utf16(row(":10", 1)).substr(5));
  ASSERT_TRUE(reader->readAvailable(sink));
  EXPECT_EQ(numbers, (std::vector<std::int32_t>{0, 1}));
  EXPECT_FALSE(reader->tornRow());
  EXPECT_EQ(reader->badRows(), 0);

  write(utf16(kHeader));
  const Status shrunk = reader->readAvailable(sink);
  ASSERT_FALSE(shrunk);
  EXPECT_NE(shrunk.error().find(path_ + ": the file shrank"), std::string::npos) << shrunk.error();
}

TEST_F(LogReaderTest, ASecondThreadGivesTheSameRowsDatesRunsAndProblems) {
  // Six megabytes: rows 7 s apart (a new day every 12343 rows), a restart every 9000 rows, a
  // bad row every 4000, an hour back at row 21000, and a torn last row.
  std::string text = kHeader;
  for (int i = 0, number = 0; i < 30000; ++i, ++number) {
    const int t = (i * 7 - (i >= 21000 ? 3 * 3600 : 0)) % 86400;
    char time[16];
    std::snprintf(time, sizeof time, "%02d:%02d:%02d", t / 3600, t / 60 % 60, t % 60);
    if (i % 9000 == 8999) number = 0;
    text += i % 4000 == 3999 ? std::string("14:05:1x,0\n") : row(time, number, std::to_string(i) + ".5");
  }
  struct Read {
    std::vector<std::tuple<std::int64_t, CivilSeconds, int, std::int32_t, double>> records;
    std::int64_t emptyText = 0;
  };
  const auto read = [&](int threads, Read* out) {
    Result<LogReader> reader = LogReader::open(write(utf16(text + "14:0")));
    EXPECT_TRUE(reader);
    EXPECT_TRUE(reader->readAvailable(
        [&](const LogRecord& r) {
          out->records.emplace_back(r.line, r.seconds, r.run, r.row.number, r.row.current);
          out->emptyText += r.row.text[0].empty();
        },
        {}, threads));
    append(utf16("5:00,1,3301,3302,3303,3304,3,13210,25.0,26.0,80,12,1.0,0,1.0,1.0,1.0,0,3,1\n"));
    EXPECT_TRUE(reader->readAvailable([&](const LogRecord& r) {
      out->records.emplace_back(r.line, r.seconds, r.run, r.row.number, r.row.current);
    }));
    return std::move(reader).value();
  };
  Read one, two;
  const LogReader a = read(1, &one), b = read(2, &two);
  EXPECT_EQ(one.records, two.records);
  EXPECT_EQ(one.records.size(), 30000u - 7 + 1);
  EXPECT_GT(two.emptyText, 10000) << "the second half was not read on a thread of its own";
  EXPECT_EQ(a.problems(), b.problems());
  EXPECT_EQ(a.problemCount(), b.problemCount());
  EXPECT_EQ(a.badRows(), 7);
  EXPECT_EQ(b.badRows(), 7);
  EXPECT_EQ(a.backwardJumps(), 1);
  EXPECT_EQ(b.backwardJumps(), 1);
  EXPECT_EQ(a.runs(), b.runs());
  EXPECT_FALSE(b.tornRow());

  // A cancel stops both halves; the progress counts the bytes of both.
  std::int64_t calls = 0, lastDone = 0, lastTotal = -1;
  const auto progress = [&](std::int64_t done, std::int64_t total) {
    lastDone = done;
    lastTotal = total;
    return ++calls != 3;
  };
  const Status cancelled = LogReader::open(path_)->readAvailable([](const LogRecord&) {}, progress, 2);
  EXPECT_FALSE(cancelled);
  EXPECT_EQ(cancelled.error(), "cancelled");
  calls = 100;
  EXPECT_TRUE(LogReader::open(path_)->readAvailable([](const LogRecord&) {}, progress, 2));
  EXPECT_EQ(lastDone, lastTotal);
}

TEST_F(LogReaderTest, AFolderOrAMissingFileIsUnreadable) {
  for (const std::string& path : {::testing::TempDir(), ::testing::TempDir() + "no-such-log.csv"}) {
    bool unreadable = false;
    Result<LogReader> reader = LogReader::open(path, &unreadable);
    EXPECT_FALSE(reader);
    EXPECT_TRUE(unreadable) << path;
    EXPECT_NE(reader.error().find(path), std::string::npos) << reader.error();
  }
}

}  // namespace
}  // namespace orlo
