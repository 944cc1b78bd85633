// Snapshots, the write record, the strict parameter file reader and the review before a write.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/alarm_parameter_file.h"
#include "core/parameter_file_check.h"
#include "core/parameter_review.h"
#include "core/parameter_session.h"
#include "core/snapshot_store.h"
#include "core/write_record.h"
#include "sim/board_model.h"
#include "support/board_defaults.h"
#include "support/scratch_files.h"

namespace orlo {
namespace {

std::tm decemberSeventh() {
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 11;
  t.tm_mday = 7;
  t.tm_hour = 14;
  t.tm_min = 15;
  t.tm_sec = 3;
  t.tm_gmtoff = 3600;
  return t;
}

std::vector<std::string> folderNames(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename());
  return names;
}

// ---- snapshots ----

TEST(SnapshotStore, SnapshotsAreParameterFilesNamedByTimeBoardAndPortAndNeverReplaced) {
  test::ScratchDir scratch("orlo-snap");
  const SnapshotStore store(scratch.file("data/Orlo_PC/snapshots"));
  const AlarmValues first = test::boardValues();
  AlarmValues second = first;
  second[6] = 3600;
  const auto a = store.save(first, "/dev/serial/by-id/usb-FTDI_A5,0", decemberSeventh());
  const auto b = store.save(second, "/dev/serial/by-id/usb-FTDI_A5,0", decemberSeventh());
  ASSERT_TRUE(a && b) << a.error() << b.error();
  EXPECT_EQ(*a, store.folder() + "/2026-12-07T141503+0100_ID1_serial-by-id-usb-FTDI-A5-0.csv");
  EXPECT_EQ(*b, store.folder() + "/2026-12-07T141503+0100_ID1_serial-by-id-usb-FTDI-A5-0~2.csv");
  EXPECT_EQ(test::readFile(*a), formatAlarmParameterFile(parameterTexts(first)));
  EXPECT_EQ(folderNames(store.folder()).size(), 2u) << "no temporary file may stay behind";

  // What a snapshot holds goes back to the board through the strict reader unchanged.
  const ParameterFileCheck back = readParameterFile(*b);
  ASSERT_TRUE(back.ok()) << back.message();
  EXPECT_EQ(back.values, parameterTexts(second));

  test::writeFile(store.folder() + "/notes.csv", "not a snapshot");
  const auto listed = store.list();
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].path, *a);
  EXPECT_EQ(listed[1].time, "2026-12-07T141503+0100");
  EXPECT_EQ(listed[1].boardId, 1);
  EXPECT_EQ(listed[1].port, "serial-by-id-usb-FTDI-A5-0");
}

TEST(SnapshotStore, AFolderThatCannotBeMadeIsReportedAndNothingIsWritten) {
  test::ScratchDir scratch("orlo-snap");
  test::writeFile(scratch.file("plain"), "a file, not a folder");
  const SnapshotStore store(scratch.file("plain/snapshots"));
  const auto saved = store.save(test::boardValues(), "/dev/ttyUSB0", decemberSeventh());
  EXPECT_FALSE(saved);
  EXPECT_NE(saved.error().find("plain"), std::string::npos) << saved.error();
  EXPECT_TRUE(store.list().empty());
}

TEST(SnapshotStore, TheDataFolderFollowsXdgDataHomeOnlyWhenItIsAbsolute) {
  const char* saved = std::getenv("XDG_DATA_HOME");
  const std::string keep = saved ? saved : "";
  ::setenv("HOME", "/home/ann", 1);
  ::setenv("XDG_DATA_HOME", "/data/ann", 1);
  EXPECT_EQ(SnapshotStore::defaultFolder(), "/data/ann/Orlo_PC/snapshots");
  ::setenv("XDG_DATA_HOME", "relative/data", 1);
  EXPECT_EQ(WriteRecord::defaultPath(), "/home/ann/.local/share/Orlo_PC/writes.csv");
  ::unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(orloDataFolder(), "/home/ann/.local/share/Orlo_PC");
  if (saved) ::setenv("XDG_DATA_HOME", keep.c_str(), 1);
}

// ---- the write record ----

TEST(WriteRecord, EachWriteAppendsOneQuotedUtf8LineUnderOneHeader) {
  test::ScratchDir scratch("orlo-writes");
  const WriteRecord record(scratch.file("Orlo_PC/writes.csv"));
  ParameterResult verified;
  verified.outcome = ParameterOutcome::Verified;
  verified.haveBoard = verified.haveWritten = verified.wrote = true;
  verified.board = test::boardValues();
  verified.written = verified.board;
  verified.written[6] = 3600;  // Cell OV
  verified.written[21] = -25;  // DisCharge UT
  verified.written[37] = 99;   // the ID is never written and never listed
  ParameterResult lost = verified;
  lost.outcome = ParameterOutcome::PortLost;
  lost.step = ParameterStep::SetAcknowledge;
  lost.detail = "adapter \"pulled\"";

  const Status first = record.append(writeEntryFor(verified, "/dev/ttyUSB0", decemberSeventh()));
  ASSERT_TRUE(first) << first.error();
  const Status second = record.append(writeEntryFor(lost,
                                                    "/dev/odd,\xff"
                                                    "name",
                                                    decemberSeventh()));
  ASSERT_TRUE(second) << second.error();
  EXPECT_EQ(
      test::readFile(record.path()),
      "time,port,board_id,changes,outcome\r\n"
      "2026-12-07T14:15:03+0100,/dev/ttyUSB0,1,Cell OV 3650→3600; DisCharge UT -20→-25,Verified\r\n"
      "2026-12-07T14:15:03+0100,\"/dev/odd,\xEF\xBF\xBDname\",1,Cell OV 3650→3600; DisCharge UT -20→-25,"
      "\"Port lost: The port went away (adapter \"\"pulled\"\") while waiting for the Set acknowledge. The "
      "Set "
      "request had been sent.\"\r\n");
}

TEST(WriteRecord, AWriteWithoutARecordOfTheBoardListsEveryWrittenValueAsUnknownBefore) {
  AlarmValues written = test::boardValues();
  const auto changes = changedFields(std::nullopt, written);
  EXPECT_EQ(changes.size(), 43u);
  WriteEntry entry;
  entry.changes = {changes[0]};
  entry.outcome = "Set acknowledged";
  EXPECT_NE(writeRecordLine(entry).find(",,Charge OC ?→30000,Set acknowledged\r\n"), std::string::npos);
}

// ---- the strict parameter file reader ----

std::string goodFile() {
  return formatAlarmParameterFile(parameterTexts(test::boardValues()));
}

std::string withLine(std::size_t index, const std::string& line) {
  std::string text = goodFile();
  std::size_t start = 0;
  for (std::size_t i = 0; i < index; ++i) start = text.find("\r\n", start) + 2;
  return text.replace(start, text.find("\r\n", start) - start, line);
}

TEST(ParameterFileCheck, AcceptsOnlyFortyFourRowsInOrderWithValuesInRange) {
  struct Case {
    const char* name;
    std::string content;
    std::size_t line;     // 0: accepted or the file as a whole
    const char* problem;  // nullptr: accepted
  };
  std::string lfOnly = goodFile();
  for (std::size_t at; (at = lfOnly.find('\r')) != std::string::npos;) lfOnly.erase(at, 1);
  const Case cases[] = {
      {"as saved", goodFile(), 0, nullptr},
      {"LF line ends and blank lines after", lfOnly + "\n\n", 0, nullptr},
      {"one line short", goodFile().substr(0, goodFile().rfind("Mosfet OT Release")), 0, "this one has 43"},
      {"a header line", "label,value,unit\r\n" + goodFile(), 0, "this one has 45"},
      {"rows swapped", withLine(6, "Cell OV Delay,2,S"), 7, "expected the row \"Cell OV\""},
      {"page unit instead of the file's", withLine(0, "Charge OC,30000,A"), 1, "must be \"mA\""},
      {"no unit field", withLine(0, "Charge OC,30000"), 1, "no unit field"},
      {"placeholder", withLine(9, "Cell UV,--,mV"), 10, "from 0 to 65535, found \"--\""},
      {"SOC over 100", withLine(39, "Soc,101,"), 40, "Soc must be a whole number from 0 to 100"},
      {"negative delay", withLine(1, "Charge OC Delay,-1,S"), 2, "from 0 to 255"},
      {"control bytes quoted safely",
       withLine(2,
                "Charge OC Release,1\x01"
                "2,mA"),
       3, "found \"1?2\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ParameterFileCheck check = checkParameterText(c.content);
    if (!c.problem) {
      ASSERT_TRUE(check.ok()) << check.message();
      EXPECT_EQ(check.values, parameterTexts(test::boardValues()));
      continue;
    }
    EXPECT_FALSE(check.ok());
    EXPECT_TRUE(check.values.empty());
    EXPECT_EQ(check.line, c.line) << check.message();
    EXPECT_NE(check.message().find(c.problem), std::string::npos) << check.message();
  }
}

TEST(ParameterFileCheck, TheIdRowIsNeverSentSoItsValueIsNotJudged) {
  EXPECT_TRUE(checkParameterText(withLine(37, "ID,--,")).ok());
}

TEST(ParameterFileCheck, MissingAndOversizedFilesAreRefusedUnread) {
  test::ScratchDir scratch("orlo-check");
  test::writeFile(scratch.file("big.csv"), std::string(kParameterFileMaxBytes + 1, 'x'));
  EXPECT_NE(readParameterFile(scratch.file("big.csv")).message().find("too large"), std::string::npos);
  EXPECT_FALSE(readParameterFile(scratch.file("missing.csv")).ok());
  EXPECT_FALSE(readParameterFile(scratch.path()).ok());
}

// ---- the review before a write ----

TEST(ParameterReview, ListsChangesRefusalsAndGuardedLimitsMovedByMoreThanATenth) {
  const AlarmValues board = test::boardValues();
  std::vector<std::string> proposed = parameterTexts(board);
  proposed[6] = "3300";   // Cell OV 3650 → 3300: 9.6 %, not called out
  proposed[3] = "56000";  // DSG OC 50000 → 56000: 12 %, guarded
  proposed[7] = "9";      // Cell OV delay 2 → 9: far more, but not a guarded limit
  proposed[39] = "150";   // SOC: refused
  proposed[31] = "x";     // BUS OV delay: refused
  proposed[37] = "200";   // the ID is never written, so it is no change
  const ParameterReview review = reviewParameters(board, proposed);
  ASSERT_EQ(review.changes.size(), 3u);
  EXPECT_STREQ(review.changes[0].row->group, "DSG OC Protect(Range)");
  EXPECT_EQ(review.changes[0].onBoard, 50000);
  EXPECT_EQ(review.changes[0].proposed, 56000);
  EXPECT_TRUE(review.changes[0].large);
  EXPECT_FALSE(review.changes[1].large);
  EXPECT_FALSE(review.changes[2].large);
  ASSERT_EQ(review.refused.size(), 2u);
  EXPECT_STREQ(review.refused[0].row->label, "Delay(1~60)");
  EXPECT_EQ(review.refused[1].range.max, 100);
  EXPECT_FALSE(review.mayWrite());
  EXPECT_TRUE(review.anyLarge());

  EXPECT_TRUE(reviewParameters(board, parameterTexts(board)).changes.empty());
  EXPECT_TRUE(reviewParameters(board, {"1"}).wrongCount);
}

}  // namespace
}  // namespace orlo
