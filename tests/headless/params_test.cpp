// orlo-bms params end to end: the real program against orlo-bms-sim on pseudo-terminals, one
// simulator per failure mode, all cases at once so the slow ones (three 2 s time-outs) overlap.

#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <regex>

#include "mqtt_harness.h"

namespace orlo::headless {
namespace {

using namespace test;
using orlo::test::readFile;
using orlo::test::ScratchDir;
using orlo::test::writeFile;

// key=value lines of a simulator's --report.
std::map<std::string, std::string> report(const std::string& path) {
  std::map<std::string, std::string> out;
  std::istringstream in(readFile(path));
  for (std::string line; std::getline(in, line);) {
    const auto eq = line.find('=');
    if (eq != std::string::npos) out[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return out;
}

std::size_t filesIn(const std::string& folder) {
  std::error_code ignored;
  std::size_t n = 0;
  for (auto it = std::filesystem::directory_iterator(folder, ignored);
       it != std::filesystem::directory_iterator(); ++it)
    ++n;
  return n;
}

class Params : public ::testing::Test {
 protected:
  // A simulator whose device is dir/NAME, with its counters in dir/NAME.report at exit.
  std::unique_ptr<Child> simulator(const std::string& name, std::vector<std::string> extra = {}) {
    std::vector<std::string> argv{binary("src/sim/orlo-bms-sim"), "--link", dir.file(name), "--report",
                                  dir.file(name + ".report")};
    argv.insert(argv.end(), extra.begin(), extra.end());
    auto child = std::make_unique<Child>(argv, dir.file(name + ".sim.log"));
    EXPECT_TRUE(waitForPath(dir.file(name), 5000)) << readFile(dir.file(name + ".sim.log"));
    return child;
  }
  // `orlo-bms params ARGS` with its own data folder dir/NAME.data and its output in dir/NAME.log.
  std::unique_ptr<Child> params(const std::string& name, const std::vector<std::string>& args) {
    std::vector<std::string> argv{"/usr/bin/env", "XDG_DATA_HOME=" + dir.file(name + ".data"),
                                  binary("src/headless/orlo-bms"), "params"};
    argv.insert(argv.end(), args.begin(), args.end());
    return std::make_unique<Child>(argv, dir.file(name + ".log"));
  }
  int run(const std::string& name, const std::vector<std::string>& args) {
    return params(name, args)->wait(15000);
  }

  ScratchDir dir{"orlo-params"};
};

TEST_F(Params, readDiffAndEveryFailureModeOfAWriteEndWithTheirExitStatus) {
  auto reference = simulator("ref");
  ASSERT_EQ(run("read", {"read", "--device", dir.file("ref"), dir.file("board.csv")}), 0)
      << readFile(dir.file("read.log"));
  const std::string board = readFile(dir.file("board.csv"));
  EXPECT_EQ(std::count(board.begin(), board.end(), '\n'), 44);
  ASSERT_NE(board.find("\r\nCell OV,3650,mV\r\n"), std::string::npos) << board;
  ASSERT_EQ(run("stdout", {"read", "--device", dir.file("ref")}), 0);
  EXPECT_EQ(readFile(dir.file("stdout.log")), board) << "without FILE the file goes to standard output alone";

  // Cell OV lowered by 50 mV: a change that a Set not kept shows on reading back.
  const std::string lowered = std::regex_replace(board, std::regex("\nCell OV,3650,"), "\nCell OV,3600,");
  writeFile(dir.file("lowered.csv"), lowered);
  writeFile(dir.file("out-of-range.csv"),
            std::regex_replace(board, std::regex("\nCell OV,3650,"), "\nCell OV,70000,"));

  EXPECT_EQ(run("same", {"diff", "--device", dir.file("ref"), dir.file("board.csv")}), 0);
  EXPECT_EQ(readFile(dir.file("same.log")), "");
  EXPECT_EQ(run("diff", {"diff", "--device", dir.file("ref"), dir.file("lowered.csv")}), 1);
  EXPECT_EQ(readFile(dir.file("diff.log")),
            "Cell OV (\"Value\" in \"Cell OV Protect(Range)\"): board 3650 mV, file 3600 mV\n");

  struct Case {
    const char* name;
    std::vector<std::string> fail;  // the simulator's options
    const char* file;
    int exit;
    std::string said;  // in the program's output
    int sets;          // Set requests the simulator received
  };
  const Case cases[] = {
      {"verified", {}, "lowered.csv", 0, "Verified: 43 values written and read back", 1},
      {"late-answers", {"--fail", "delay=0x0C:1500"}, "lowered.csv", 0, "Verified", 1},
      {"not-applied",
       {"--fail", "set-not-applied"},
       "lowered.csv",
       3,
       "Cell OV (\"Value\" in \"Cell OV Protect(Range)\"): written 3600, read back 3650",
       1},
      {"off-by-one", {"--fail", "set-off-by-one=7"}, "lowered.csv", 3, "written 3600, read back 3601", 1},
      {"no-ack", {"--fail", "no-answer=0x47"}, "lowered.csv", 4, "did not acknowledge the Set", 1},
      {"no-read-answer", {"--fail", "no-answer=0x0C"}, "lowered.csv", 4, "No answer from the board", 0},
      {"short-answers", {"--fail", "short-alarm-answer"}, "lowered.csv", 4, "No answer from the board", 0},
      {"bad-file", {}, "out-of-range.csv", 2, "Line 7", 0},
      {"no-file", {}, "missing.csv", 2, "missing.csv", 0},
      {"in-use",
       {},
       "lowered.csv",
       4,
       "cannot open " + dir.file("in-use") + ": in use by another program",
       0},
  };
  std::vector<std::unique_ptr<Child>> sims, programs;
  for (const Case& c : cases) sims.push_back(simulator(c.name, c.fail));
  // Another program holds that line, locked as terminal programs lock theirs.
  const int held = ::open(dir.file("in-use").c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
  for (const Case& c : cases)
    programs.push_back(params(c.name, {"write", "--device", dir.file(c.name), dir.file(c.file)}));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    const int status = programs[i]->wait(15000);
    const std::string said = readFile(dir.file(std::string(c.name) + ".log"));
    EXPECT_EQ(status, c.exit) << c.name << ": " << said;
    EXPECT_NE(said.find(c.said), std::string::npos) << c.name << ": " << said;
    sims[i]->signal(SIGTERM);
    sims[i]->wait();
    auto counters = report(dir.file(std::string(c.name) + ".report"));
    EXPECT_EQ(counters["requests_cmd_47"], std::to_string(c.sets)) << c.name;
    if (c.exit == 2) {
      EXPECT_EQ(counters["requests_total"], "0") << c.name << ": bad input reaches no board";
    }
  }

  ::close(held);

  // The verified write kept what the board held and recorded itself.
  const std::string data = dir.file("verified.data/Orlo_PC");
  ASSERT_EQ(filesIn(data + "/snapshots"), 1u);
  const auto snapshot = std::filesystem::directory_iterator(data + "/snapshots")->path().string();
  EXPECT_EQ(readFile(snapshot), board);
  EXPECT_NE(readFile(data + "/writes.csv").find("Cell OV 3650→3600,Verified"), std::string::npos)
      << readFile(data + "/writes.csv");
  EXPECT_EQ(filesIn(dir.file("bad-file.data/Orlo_PC")), 0u) << "a refused file leaves no record";
}

}  // namespace
}  // namespace orlo::headless
