// orlo-bms-sim as a user and the other tools run it: its device line, options, signals,
// record and report files.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>

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

// The simulator as a child process with its stdout and stderr on pipes.
class SimProcess {
 public:
  explicit SimProcess(const std::vector<std::string>& args) {
    int out[2];
    int err[2];
    if (::pipe(out) != 0 || ::pipe(err) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
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

bool pollAnswered(HostEnd& host) {
  host.send(kPoll);
  return pumpUntil([&] { host.collect(); }, [&] { return !validFrames(host.received).empty(); }, 2000);
}

TEST(SimProgram, helpListsTheOptionsAndExitsZero) {
  SimProcess sim({"--help"});
  const std::string help = sim.rest();
  EXPECT_EQ(sim.wait(), 0);
  EXPECT_NE(help.find("--split MODE"), std::string::npos) << help;
  EXPECT_NE(help.find("--reopen-after SECONDS"), std::string::npos);
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
  SimProcess sim({"--link", link, "--record", dir.file("record.txt"), "--report", dir.file("report.txt")});
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
}

}  // namespace
}  // namespace orlo::sim
