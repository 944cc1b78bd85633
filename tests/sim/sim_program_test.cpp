// orlo-bms-sim as a user and the other tools run it: its device line, options, signals,
// record and report files.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "host_end.h"
#include "sim_test_frames.h"
#include "support/scratch_files.h"

namespace orlo::sim {
namespace {

using namespace test;  // the host's end of the line and the frames it sends

std::string simulatorPath() {
  if (const char* dir = std::getenv("ORLO_BIN_DIR")) return std::string(dir) + "/src/sim/orlo-bms-sim";
  char self[PATH_MAX] = {};
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  std::string path(self, n > 0 ? static_cast<std::size_t>(n) : 0);
  return path.substr(0, path.rfind('/')) + "/../src/sim/orlo-bms-sim";
}

// The simulator as a child process with its stdout and stderr on pipes, optionally under a
// file-size limit in bytes.
class SimProcess {
 public:
  explicit SimProcess(const std::vector<std::string>& args, long fileSizeLimit = -1) {
    int out[2];
    int err[2];
    if (::pipe(out) != 0 || ::pipe(err) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      if (fileSizeLimit >= 0) {
        const rlimit limit{static_cast<rlim_t>(fileSizeLimit), static_cast<rlim_t>(fileSizeLimit)};
        ::setrlimit(RLIMIT_FSIZE, &limit);
      }
      ::dup2(out[1], 1);
      ::dup2(err[1], 2);
      std::vector<char*> argv;
      const std::string path = simulatorPath();
      argv.push_back(const_cast<char*>(path.c_str()));
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      ::execv(path.c_str(), argv.data());
      std::fprintf(stderr, "cannot run %s\n", path.c_str());
      ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    out_ = ::fdopen(out[0], "r");
    err_ = err[0];
  }
  ~SimProcess() {
    if (pid_ > 0 && status_ < 0) {
      ::kill(pid_, SIGKILL);
      wait();
    }
    if (out_) std::fclose(out_);
    if (err_ >= 0) ::close(err_);
  }

  std::string line() {
    char buffer[512] = {};
    if (out_ == nullptr || std::fgets(buffer, sizeof buffer, out_) == nullptr) return {};
    std::string text(buffer);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
  }
  std::string rest() {
    std::string text;
    char buffer[4096];
    while (out_ && std::fgets(buffer, sizeof buffer, out_)) text += buffer;
    return text;
  }
  std::string errors() {
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(err_, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
    return text;
  }
  void signal(int sig) { ::kill(pid_, sig); }
  pid_t pid() const { return pid_; }
  int wait() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return status_;
  }

 private:
  pid_t pid_ = -1;
  FILE* out_ = nullptr;
  int err_ = -1;
  int status_ = -1;
};

std::string deviceOf(const std::string& line) {
  const std::string prefix = "orlo-bms-sim: device ";
  return line.rfind(prefix, 0) == 0 ? line.substr(prefix.size()) : std::string();
}

// Each call waits for an answer to its own poll: an answer left from an earlier one does not count.
bool pollAnswered(HostEnd& host) {
  host.received.clear();
  host.send(kPoll);
  return pumpUntil([&] { host.collect(); }, [&] { return !validFrames(host.received).empty(); }, 2000);
}

TEST(SimProgram, helpListsTheOptionsAndExitsZero) {
  SimProcess sim({"--help"});
  const std::string help = sim.rest();
  EXPECT_EQ(sim.wait(), 0);
  EXPECT_NE(help.find("--split MODE"), std::string::npos) << help;
  EXPECT_NE(help.find("--reopen-after SECONDS"), std::string::npos);
  EXPECT_NE(help.find("SIGINT, SIGTERM and SIGHUP end the run"), std::string::npos);
  for (const char* mode :
       {"--fail MODE", "no-answer=CMD", "delay=CMD:MS", "short-alarm-answer[=LEN]", "set-not-applied",
        "set-off-by-one[=ROW]", "calibration-point-4", "balance-other-sub[=SUB]"}) {
    EXPECT_NE(help.find(mode), std::string::npos) << mode;
  }
}

TEST(SimProgram, badOptionIsExplainedAndExitsTwo) {
  SimProcess sim({"--corrupt", "lots"});
  EXPECT_EQ(sim.wait(), 2);
  EXPECT_NE(sim.errors().find("bad value 'lots' for --corrupt RATIO"), std::string::npos);
}

TEST(SimProgram, runsOnALinkSurvivesAnUnplugAndReportsOnTerm) {
  const orlo::test::ScratchDir dir("orlo-sim-prog");
  ASSERT_FALSE(dir.path().empty());
  const std::string link = dir.file("bms");
  const auto wallSeconds = [] {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
  };
  const double started = wallSeconds();
  SimProcess sim({"--link", link, "--record", dir.file("record.txt"), "--stamp-live", dir.file("stamps.txt"),
                  "--report", dir.file("report.txt")});
  const std::string first = deviceOf(sim.line());
  ASSERT_FALSE(first.empty());
  {
    HostEnd host(link);
    ASSERT_TRUE(host.isOpen());
    ASSERT_TRUE(pollAnswered(host));
    sim.signal(SIGUSR2);
    EXPECT_TRUE(host.hungUp(2000)) << "the host sees the pulled cable";
  }
  sim.signal(SIGUSR2);
  const std::string second = deviceOf(sim.line());
  EXPECT_FALSE(second.empty());
  {
    HostEnd host(link);
    ASSERT_TRUE(host.isOpen());
    EXPECT_TRUE(pollAnswered(host)) << "the same link path works again";
  }
  sim.signal(SIGTERM);
  EXPECT_EQ(sim.wait(), 0);
  const std::string report = orlo::test::readFile(dir.file("report.txt"));
  EXPECT_NE(report.find("requests_cmd_06=2\n"), std::string::npos) << report;
  EXPECT_NE(report.find("valid_frames_sent=2\n"), std::string::npos) << report;
  EXPECT_NE(report.find("unplugs=1\n"), std::string::npos) << report;
  const std::string record = orlo::test::readFile(dir.file("record.txt"));
  EXPECT_EQ(std::count(record.begin(), record.end(), '\n'), 2);
  EXPECT_NE(record.find(" AA 55 06 00 00 00 01 00 01 00 55 AA\n"), std::string::npos) << record;
  // One stamp per live data frame, in wall-clock seconds to the microsecond.
  std::istringstream stamps(orlo::test::readFile(dir.file("stamps.txt")));
  std::string stamp;
  int count = 0;
  for (; std::getline(stamps, stamp); ++count) {
    EXPECT_EQ(stamp.size(), stamp.find('.') + 7) << stamp;
    const double when = std::strtod(stamp.c_str(), nullptr);
    EXPECT_TRUE(when >= started && when <= wallSeconds()) << stamp;
  }
  EXPECT_EQ(count, 2);
}

std::string readLink(const std::string& path) {
  char target[PATH_MAX] = {};
  const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
  return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

bool exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// What is at the link path is never destroyed: a file is refused, a second simulator is refused,
// and a link someone else has taken over is neither repointed nor removed.
TEST(SimProgram, linkPathIsNeverTakenFromItsOwner) {
  const orlo::test::ScratchDir dir("orlo-sim-link");
  ASSERT_FALSE(dir.path().empty());
  const std::string notes = dir.file("notes.txt");
  std::ofstream(notes) << "keep me\n";
  {
    SimProcess sim({"--link", notes});
    EXPECT_EQ(sim.wait(), 2);
    EXPECT_NE(sim.errors().find("refusing to replace " + notes), std::string::npos);
    EXPECT_EQ(orlo::test::readFile(notes), "keep me\n");
  }
  const std::string link = dir.file("bms");
  ASSERT_EQ(::symlink(dir.file("gone").c_str(), link.c_str()), 0);  // left by a killed simulator
  SimProcess first({"--link", link});
  const std::string device = deviceOf(first.line());
  ASSERT_FALSE(device.empty());
  EXPECT_EQ(readLink(link), device) << "a dangling link is taken over";
  {
    SimProcess second({"--link", link});
    EXPECT_EQ(second.wait(), 2);
    EXPECT_NE(second.errors().find("refusing to replace the link " + link + ": it points to " + device),
              std::string::npos);
  }
  {
    HostEnd host(link);
    ASSERT_TRUE(host.isOpen());
    EXPECT_TRUE(pollAnswered(host)) << "the first simulator keeps its link";
  }
  first.signal(SIGTERM);
  EXPECT_EQ(first.wait(), 0);
  EXPECT_FALSE(exists(link)) << "its own link is removed at exit";

  SimProcess owner({"--link", link});
  ASSERT_FALSE(deviceOf(owner.line()).empty());
  ASSERT_EQ(::unlink(link.c_str()), 0);
  ASSERT_EQ(::symlink(notes.c_str(), link.c_str()), 0);  // someone else's now
  owner.signal(SIGUSR2);                                 // unplug
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  owner.signal(SIGUSR2);  // plug in again: the link is not its own any more
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  owner.signal(SIGTERM);
  EXPECT_EQ(owner.wait(), 0);
  EXPECT_NE(owner.errors().find("refusing to replace the link " + link), std::string::npos);
  EXPECT_EQ(readLink(link), notes);
  EXPECT_EQ(orlo::test::readFile(notes), "keep me\n");
}

long residentKb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

// A host that writes Polls back to back and never reads: the board drops what it cannot send
// instead of hoarding it (before the bound it grew by tens of MB a second).
TEST(SimProgram, unreadAnswersAreDroppedAndMemoryStaysBounded) {
  const orlo::test::ScratchDir dir("orlo-sim-flood");
  ASSERT_FALSE(dir.path().empty());
#if defined(ORLO_ADDRESS_SANITIZER)
  // AddressSanitizer keeps freed memory in a quarantine (256 MB by default) that would read as
  // growth here; without it the simulator's own memory is what is measured.
  ::setenv("ASAN_OPTIONS", "detect_leaks=0:quarantine_size_mb=0", 1);
#endif
  SimProcess sim({"--report", dir.file("report.txt")});
  const std::string device = deviceOf(sim.line());
  ASSERT_FALSE(device.empty());
  HostEnd host(device);
  ASSERT_TRUE(host.isOpen());
  const long before = residentKb(sim.pid());
  Bytes polls;
  for (int i = 0; i < 340; ++i) polls.insert(polls.end(), kPoll.begin(), kPoll.end());
  long peak = before;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(4);
  while (std::chrono::steady_clock::now() < end) {
    if (::write(host.fd(), polls.data(), polls.size()) < 0) ::usleep(500);
    peak = std::max(peak, residentKb(sim.pid()));
  }
  sim.signal(SIGTERM);
  EXPECT_EQ(sim.wait(), 0);
  EXPECT_GT(before, 0);
  EXPECT_LT(peak - before, 30 * 1024) << "RSS " << before << " kB before, " << peak << " kB at most";
  const std::string report = orlo::test::readFile(dir.file("report.txt"));
  const std::size_t at = report.find("answers_dropped=");
  ASSERT_NE(at, std::string::npos) << report;
  EXPECT_GT(std::strtoull(report.c_str() + at + 16, nullptr, 10), 1000u) << report;
}

TEST(SimProgram, aReportThatCannotBeWrittenIsAnErrorWithItsReason) {
  SimProcess full({"--report", "/dev/full"});
  ASSERT_FALSE(deviceOf(full.line()).empty());
  full.signal(SIGTERM);
  EXPECT_EQ(full.wait(), 1);
  EXPECT_NE(full.errors().find("cannot write the report /dev/full: No space left on device"),
            std::string::npos);
  SimProcess missing({"--report", "/nonexistent/report.txt"});
  EXPECT_EQ(missing.wait(), 1) << "refused before the run";
  EXPECT_NE(missing.errors().find("cannot open the report /nonexistent/report.txt: No such file"),
            std::string::npos);
}

// Past the file-size limit a write fails and is reported; the simulator is not killed by SIGXFSZ
// and the record keeps whole lines.
TEST(SimProgram, fileSizeLimitFailsWritesInsteadOfKilling) {
  const orlo::test::ScratchDir dir("orlo-sim-fsize");
  ASSERT_FALSE(dir.path().empty());
  SimProcess sim({"--record", dir.file("record.txt"), "--report", dir.file("report.txt")}, 100);
  const std::string device = deviceOf(sim.line());
  ASSERT_FALSE(device.empty());
  {
    HostEnd host(device);
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(pollAnswered(host));
  }
  sim.signal(SIGTERM);
  EXPECT_EQ(sim.wait(), 1) << "an exit status, not death by signal";
  const std::string errors = sim.errors();
  EXPECT_NE(errors.find("cannot write the record " + dir.file("record.txt") + ": File too large"),
            std::string::npos)
      << errors;
  EXPECT_NE(errors.find("cannot write the report " + dir.file("report.txt") + ": File too large"),
            std::string::npos)
      << errors;
  const std::string record = orlo::test::readFile(dir.file("record.txt"));
  EXPECT_EQ(std::count(record.begin(), record.end(), '\n'), 2) << record;
  EXPECT_EQ(record.back(), '\n');
}

}  // namespace
}  // namespace orlo::sim
