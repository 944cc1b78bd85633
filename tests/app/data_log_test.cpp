// The data log driven through the main window's controls, writing real files in a scratch folder.

#include "app/data_log.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <functional>
#include <memory>
#include <sstream>

#include "support/fake_form.h"
#include "support/fake_serial_control.h"
#include "support/fixed_clock.h"
#include "support/scratch_files.h"
#include "view/main_window_ids.h"

namespace orlo {
namespace {

using namespace main_ids;

// ASCII as UTF-16LE, written out independently of the encoder under test.
std::string wide(const std::string& ascii) {
  std::string out;
  for (char c : ascii) {
    out += c;
    out += '\0';
  }
  return out;
}

const std::string kHeader = wide(
    "TIME,NUMBER,Cell1-V(mV),Cell2-V(mV),Cell3-V(mV),Cell4-V(mV),Diff(mV),Total,MosTemp,PackTemp,SOC,Circle,"
    "Current,Balance,DischgCap,ChgCap,RemainCap,error,MosStatus,Mode\n");

// Holds an exclusive lock on a file, as another copy of the tool writing a row would.
class ForeignLock {
 public:
  explicit ForeignLock(const std::string& path) : fd_(::open(path.c_str(), O_RDWR)) {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    EXPECT_EQ(::fcntl(fd_, F_OFD_SETLK, &lock), 0);
  }
  ~ForeignLock() { ::close(fd_); }

 private:
  int fd_;
};

// Whether some descriptor holds a write lock on the file, as the log does while it is on.
bool lockedByAWriter(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR);
  struct flock probe {};
  probe.l_type = F_WRLCK;
  const bool asked = fd >= 0 && ::fcntl(fd, F_OFD_GETLK, &probe) == 0;
  ::close(fd);
  return asked && probe.l_type != F_UNLCK;
}

class DataLogTest : public ::testing::Test {
 public:
  void SetUp() override {
    ASSERT_FALSE(dir.empty()) << "no scratch folder";
    serial.setOpen(true);
    clock.now.tm_hour = 14;
    clock.now.tm_min = 5;
    clock.now.tm_sec = 9;
  }

  void choose(const std::string& file) {
    form.queueFileAnswer(file);
    log.onPath();
  }
  void check(bool on, const std::string& interval = "1") {
    if (on) form.setText(MainId::TimeInterval, interval);
    form.setChecked(MainId::SaveFile, on);
    log.onSaveFile();
  }
  // Rows of the file after its header, as ASCII.
  std::vector<std::string> rows() const {
    std::string text;
    const std::string bytes = test::readFile(path).substr(kHeader.size());
    for (std::size_t i = 0; i < bytes.size(); i += 2) text += bytes[i];
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
  }
  void expectSwitchedOff() {
    EXPECT_FALSE(log.logging());
    EXPECT_FALSE(form.isChecked(MainId::SaveFile));
    EXPECT_EQ(form.timerPeriod(kLogTimer), 0);
    EXPECT_FALSE(form.isReadOnly(MainId::TimeInterval));
  }

  test::ScratchDir scratch{"orlo-log"};
  const std::string dir = scratch.path();
  std::string path = dir + "/data.csv";
  test::FakeForm form{"main"};
  test::FakeSerialControl serial;
  test::FixedClock clock;
  LogValues values;
  DataLog log{form, serial, clock, [this] { return values; }, "/tmp/orlo-no-such-desktop"};
};

// ---- choosing the file ----

TEST_F(DataLogTest, PathAsksForACsvFileWithOverwriteConfirmationInTheUserFolder) {
  choose(path);
  ASSERT_EQ(form.fileRequests().size(), 1u);
  const FileDialogRequest& request = form.fileRequests()[0];
  EXPECT_EQ(request.filter, "File (*.csv;)|*.csv;||");
  EXPECT_EQ(request.proposedName, "data.csv");
  EXPECT_EQ(request.startFolder, "/tmp/orlo-no-such-desktop");
  EXPECT_TRUE(request.confirmOverwrite);
  EXPECT_EQ(form.text(MainId::LogPath), path);
}

TEST_F(DataLogTest, ANewFileGetsOnlyTheHeader) {
  choose(path);
  EXPECT_EQ(test::readFile(path), kHeader);
}

TEST_F(DataLogTest, AnExistingFileIsAppendedToWithoutAHeader) {
  test::writeFile(path, wide("earlier\n"));
  choose(path);
  check(true);
  log.onTimer();
  EXPECT_EQ(test::readFile(path),
            wide("earlier\n14:05:09,0,0,0,0,0,0,0,0.000000,0.000000,0,0,0.000000,0,0.00,0.00,0.00,0,0,0\n"));
}

TEST_F(DataLogTest, ACancelledDialogPointsAtTheDefaultFileWithoutCreatingIt) {
  log.onPath();
  EXPECT_EQ(log.logPath(), "/tmp/orlo-no-such-desktop/data.csv");
  EXPECT_EQ(form.text(MainId::LogPath), "/tmp/orlo-no-such-desktop/data.csv");
  check(true);
  ASSERT_EQ(form.messages().size(), 1u);
  EXPECT_EQ(form.messages()[0].text, " Path is not be selected.");
}

// ---- switching on and off ----

TEST_F(DataLogTest, SwitchingOnRunsTheRowClockUpToADayAndFreezesTheInterval) {
  choose(path);
  check(true, " 5");
  EXPECT_TRUE(log.logging());
  EXPECT_EQ(form.timerPeriod(kLogTimer), 5000);
  EXPECT_TRUE(form.isReadOnly(MainId::TimeInterval));
  EXPECT_TRUE(form.messages().empty());
  check(false);
  expectSwitchedOff();
  check(true, "86400");
  EXPECT_EQ(form.timerPeriod(kLogTimer), 86400000);
  check(false);
  // Blanks and one "+" before the number, as the C runtime reads it.
  check(true, " \t+3 ");
  EXPECT_EQ(form.timerPeriod(kLogTimer), 3000);
  EXPECT_TRUE(form.messages().empty());
}

TEST_F(DataLogTest, EveryRefusalLeavesTheBoxUncheckedAndNoClockRunning) {
  struct Case {
    const char* what;
    std::function<void(DataLogTest&)> arrange;
    const char* interval;
    const char* message;
  };
  const char* kAskInterval = "Please enter the Time Interval as a whole number of seconds from 1 to 86400.";
  const std::vector<Case> cases = {
      {"port closed", [](DataLogTest& t) { t.serial.setOpen(false); }, "1", "Please open the serial port."},
      {"empty interval", nullptr, "", kAskInterval},
      {"zero interval", nullptr, "0", kAskInterval},
      {"words", nullptr, "abc", kAskInterval},
      {"trailing junk", nullptr, "5s", kAskInterval},
      {"fraction", nullptr, "1.5", kAskInterval},
      {"negative", nullptr, "-5", kAskInterval},
      {"plus alone", nullptr, " +", kAskInterval},
      {"two signs", nullptr, "++3", kAskInterval},
      {"blank after the sign", nullptr, "+ 3", kAskInterval},
      {"plus and a unit", nullptr, "+3s", kAskInterval},
      {"over a day", nullptr, "86401", kAskInterval},
      {"overflowing", nullptr, "99999999999999999999", kAskInterval},
      {"file removed", [](DataLogTest& t) { ::unlink(t.path.c_str()); }, "1", " Path is not be selected."},
      {"a folder",
       [](DataLogTest& t) {
         ::mkdir((t.path = t.dir + "/sub").c_str(), 0755);
         t.choose(t.path);
       },
       "1", " Path is not be selected."},
      {"held by another writer", nullptr, "1", "File is already open."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DataLogTest& t = *this;
    path = dir + "/data.csv";
    ::unlink(path.c_str());
    choose(path);
    form.clearMessages();
    if (c.arrange) c.arrange(t);
    {
      std::unique_ptr<ForeignLock> lock;
      if (std::string(c.message) == "File is already open.") lock = std::make_unique<ForeignLock>(path);
      check(true, c.interval);
    }
    ASSERT_EQ(form.messages().size(), 1u);
    EXPECT_EQ(form.messages()[0].text, c.message);
    expectSwitchedOff();
    serial.setOpen(true);
  }
}

// ---- rows ----

TEST_F(DataLogTest, NumberingContinuesAcrossOffAndOnAndANewPath) {
  choose(path);
  check(true);
  log.onTimer();
  log.onTimer();
  check(false);
  log.onTimer();  // a stray tick while off writes nothing
  choose(path);
  check(true);
  values.cellVoltage[0] = 3301;
  log.onTimer();
  const std::vector<std::string> r = rows();
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[0].substr(0, 11), "14:05:09,0,");
  EXPECT_EQ(r[1].substr(0, 11), "14:05:09,1,");
  EXPECT_EQ(r[2].substr(0, 16), "14:05:09,2,3301,");
  EXPECT_EQ(log.rowCounter(), 3);
}

// The folder going away with the file (an unplugged stick) leaves nowhere to start it again.
TEST_F(DataLogTest, ALostFolderIsReportedOnceAndTheCounterWaitsForItsReturn) {
  choose(path);
  check(true);
  log.onTimer();
  const std::string away = dir + "-away";
  ASSERT_EQ(::rename(dir.c_str(), away.c_str()), 0);
  for (int i = 0; i < 3; ++i) log.onTimer();
  ASSERT_EQ(::rename(away.c_str(), dir.c_str()), 0);
  ASSERT_EQ(form.messages().size(), 1u);
  EXPECT_NE(form.messages()[0].text.find(path), std::string::npos);
  EXPECT_NE(form.messages()[0].text.find("No such file or directory"), std::string::npos);
  EXPECT_EQ(log.rowCounter(), 1);
  EXPECT_TRUE(log.logging());

  log.onTimer();
  EXPECT_EQ(rows(), (std::vector<std::string>{
                        "14:05:09,0,0,0,0,0,0,0,0.000000,0.000000,0,0,0.000000,0,0.00,0.00,0.00,0,0,0",
                        "14:05:09,1,0,0,0,0,0,0,0.000000,0.000000,0,0,0.000000,0,0.00,0.00,0.00,0,0,0"}));
  ::rename(dir.c_str(), away.c_str());
  log.onTimer();
  ::rename(away.c_str(), dir.c_str());
  EXPECT_EQ(form.messages().size(), 2u) << "a new failure after a success is reported again";
}

TEST_F(DataLogTest, ADeletedFileIsStartedAgainWithItsHeaderAndSaidOnce) {
  choose(path);
  check(true);
  log.onTimer();
  for (int round = 0; round < 2; ++round) {
    ::unlink(path.c_str());
    log.onTimer();
    log.onTimer();
  }
  ASSERT_EQ(form.messages().size(), 1u) << "one word per run of logging, however often it goes";
  EXPECT_NE(form.messages()[0].text.find(path + "\nhad gone; it was created again"), std::string::npos);
  EXPECT_EQ(log.rowCounter(), 5);
  EXPECT_EQ(rows(), (std::vector<std::string>{
                        "14:05:09,3,0,0,0,0,0,0,0.000000,0.000000,0,0,0.000000,0,0.00,0.00,0.00,0,0,0",
                        "14:05:09,4,0,0,0,0,0,0,0.000000,0.000000,0,0,0.000000,0,0.00,0.00,0.00,0,0,0"}));
  EXPECT_TRUE(lockedByAWriter(path)) << "the new file is the one held";
}

TEST_F(DataLogTest, ARowThatDoesNotFitIsNotLeftHalfWritten) {
  choose(path);
  check(true);
  const std::string before = test::readFile(path);
  // Room for a few more bytes only: the write starts, then the file size limit stops it.
  struct rlimit old {};
  ::getrlimit(RLIMIT_FSIZE, &old);
  struct rlimit tight = old;
  tight.rlim_cur = before.size() + 10;
  std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
  log.onTimer();
  ::setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_EQ(test::readFile(path), before);
  EXPECT_EQ(log.rowCounter(), 0);
  EXPECT_EQ(form.messages().size(), 1u);
  log.onTimer();
  EXPECT_EQ(rows().size(), 1u);
}

TEST_F(DataLogTest, TheLockIsHeldWhileLoggingSoASecondCopyIsRefusedAtSwitchOn) {
  test::FakeForm otherForm{"main"};
  DataLog other{otherForm, serial, clock, [] { return LogValues{}; }, dir};
  const auto switchOnOther = [&] {
    otherForm.queueFileAnswer(path);
    other.onPath();
    otherForm.setText(MainId::TimeInterval, "1");
    otherForm.setChecked(MainId::SaveFile, true);
    other.onSaveFile();
  };
  choose(path);
  check(true);
  log.onTimer();  // between rows as much as during one
  EXPECT_TRUE(lockedByAWriter(path));
  switchOnOther();
  ASSERT_EQ(otherForm.messages().size(), 1u);
  EXPECT_EQ(otherForm.messages()[0].text, "File is already open.");
  EXPECT_FALSE(other.logging());
  log.onTimer();
  check(false);
  EXPECT_FALSE(lockedByAWriter(path));
  switchOnOther();
  EXPECT_TRUE(other.logging());
  other.onTimer();
  EXPECT_EQ(rows().size(), 3u);
  for (std::size_t i = 0; i < rows().size(); ++i)
    EXPECT_EQ(rows()[i].substr(9, 2), std::to_string(i < 2 ? i : 0) + ",") << "no interleaved rows";
}

// A file put in place of the log (deleted and made again by another program, which holds it)
// is neither written to nor replaced; once it is free, rows go there and its lock is ours.
TEST_F(DataLogTest, ARowIsSkippedWhileAnotherWriterHoldsAFileMadeInItsPlace) {
  choose(path);
  check(true);
  ::unlink(path.c_str());
  test::writeFile(path, kHeader);
  {
    ForeignLock lock(path);
    log.onTimer();
  }
  EXPECT_EQ(log.rowCounter(), 0);
  EXPECT_EQ(test::readFile(path), kHeader);
  ASSERT_EQ(form.messages().size(), 1u);
  EXPECT_NE(form.messages()[0].text.find("another program is writing to it"), std::string::npos);
  log.onTimer();
  EXPECT_EQ(rows().size(), 1u);
  EXPECT_TRUE(lockedByAWriter(path));
}

TEST_F(DataLogTest, AReadOnlyFileRefusesLoggingAndItsRows) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes to read-only files";
  choose(path);
  check(true);
  ::chmod(path.c_str(), 0444);
  log.onTimer();
  EXPECT_EQ(form.messages().size(), 1u);
  check(false);
  check(true);
  EXPECT_EQ(form.messages().back().text, "File is already open.");
}

// ---- the command line ----

TEST_F(DataLogTest, UnattendedStartCreatesTheFileAndSwitchesLoggingOn) {
  EXPECT_TRUE(log.startUnattended(path, 2));
  EXPECT_EQ(test::readFile(path), kHeader);
  EXPECT_EQ(form.text(MainId::LogPath), path);
  EXPECT_EQ(form.text(MainId::TimeInterval), "2");
  EXPECT_TRUE(form.isChecked(MainId::SaveFile));
  EXPECT_EQ(form.timerPeriod(kLogTimer), 2000);
}

TEST_F(DataLogTest, UnattendedStartWithABadIntervalIsRefusedAloud) {
  EXPECT_FALSE(log.startUnattended(path, 0));
  EXPECT_EQ(form.messages().size(), 1u);
  expectSwitchedOff();
  EXPECT_FALSE(log.startUnattended(path, 86401));
  EXPECT_EQ(form.messages().size(), 2u);
  EXPECT_EQ(test::readFile(path), "") << "a refused start creates no file";
  expectSwitchedOff();
}

}  // namespace
}  // namespace orlo
