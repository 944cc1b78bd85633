// orlo-bms log export and summary on generated logs: the summary against figures worked out by
// hand, the export against the rows written, and what a bad option or file does to the output.

#include "headless/log_command.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "core/log_line.h"

namespace orlo::headless {
namespace {

struct GenRow {
  const char* time;
  int number;
  std::array<int, 4> cells;
  double current;
  int mode;
  std::int32_t error;
  int cycle;
};

std::string format(const GenRow& r) {
  const int total = r.cells[0] + r.cells[1] + r.cells[2] + r.cells[3];
  char line[256];
  std::snprintf(line, sizeof line,
                "%s,%d,%d,%d,%d,%d,0,%d,25.000000,26.000000,80,%d,%f,0,10.50,11.25,45.60,%d,3,%d", r.time,
                r.number, r.cells[0], r.cells[1], r.cells[2], r.cells[3], total, r.cycle, r.current, r.error,
                r.mode);
  return line;
}

std::string utf16(const std::string& ascii) {
  std::string out;
  for (char c : ascii) out += std::string{c, '\0'};
  return out;
}

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

Outcome run(const std::vector<std::string>& args) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  LogOptions options;
  int status = parseLogCommand(args, &options, out, err);
  if (status < 0) status = runLogCommand(options, out, err);
  const auto text = [](std::FILE* f) {
    std::fflush(f);
    std::string s(static_cast<std::size_t>(std::ftell(f)), '\0');
    std::rewind(f);
    s.resize(std::fread(s.data(), 1, s.size(), f));
    std::fclose(f);
    return s;
  };
  return {status, text(out), text(err)};
}

class LogCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string text = logHeaderText() + "\n";
    for (const GenRow& r : kRows) text += format(r) + "\n";
    std::ofstream(path_, std::ios::binary | std::ios::trunc) << utf16(text);
  }
  void TearDown() override { ::unlink(path_.c_str()); }
  std::string path_ = ::testing::TempDir() + "log_command_test.csv";

  // Two runs over midnight. Row 3 was written with the link down (cells 0); row 5 restarts the
  // numbering; error 1 is "Cell OV", 131073 adds bit 18, "afe R/W Error".
  const std::vector<GenRow> kRows = {
      {"23:59:58", 0, {3300, 3310, 3290, 3300}, 3.6, 2, 0, 5},
      {"23:59:59", 1, {3305, 3305, 3305, 3305}, 3.6, 2, 1, 5},
      {"00:00:09", 2, {0, 0, 0, 0}, -7.2, 1, 1, 5},
      {"00:00:19", 3, {3280, 3320, 3300, 3300}, -7.2, 1, 0, 5},
      {"00:00:20", 0, {3300, 3300, 3300, 3301}, 100, 0, 131073, 6},
      {"00:00:30", 1, {3300, 3300, 3300, 3300}, 0, 0, 0, 6},
  };
};

TEST_F(LogCommandTest, SummaryMatchesFiguresWorkedOutByHand) {
  const Outcome r = run({"summary", "--json", "--date", "2026-03-31", path_});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const nlohmann::json j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["rows"], 6);
  EXPECT_EQ(j["bad_rows"], 0);
  EXPECT_EQ(j["runs"], 2);
  EXPECT_EQ(j["first"], "2026-03-31T23:59:58");
  EXPECT_EQ(j["last"], "2026-04-01T00:00:30");
  EXPECT_EQ(j["run_list"][1]["first"], "2026-04-01T00:00:20");
  // Cell 1 over the five rows with cells: 3300 3305 3280 3300 3300.
  EXPECT_EQ(j["cells"][0]["min_mv"], 3280);
  EXPECT_EQ(j["cells"][0]["max_mv"], 3305);
  EXPECT_DOUBLE_EQ(j["cells"][0]["mean_mv"].get<double>(), 3297.0);
  EXPECT_EQ(j["cells"][1]["max_mv"], 3320);
  EXPECT_EQ(j["max_spread_mv"], 40);
  EXPECT_EQ(j["max_spread_at"], "2026-04-01T00:00:19");
  // Outcome 0: 3.6 A for 1 s and 10 s (0.011 Ah), -7.2 A for 10 s (0.02 Ah); run 1: 100 A for 10 s
  // (0.277778 Ah). The jump from run 0 to run 1 adds nothing.
  EXPECT_DOUBLE_EQ(j["charge_ah"].get<double>(), 0.289);
  EXPECT_DOUBLE_EQ(j["discharge_ah"].get<double>(), 0.02);
  // 13.2 V x 0.001 + 13.22 V x 0.01 + 13.201 V x 0.277778 = 3.812; the link-down row has 0 V.
  EXPECT_DOUBLE_EQ(j["charge_wh"].get<double>(), 3.812);
  EXPECT_DOUBLE_EQ(j["discharge_wh"].get<double>(), 0.0);
  EXPECT_EQ(j["mode_seconds"], nlohmann::json::parse(R"({"IDLE_MODE":10,"DSG_MODE":10,"CHG_MODE":11})"));
  EXPECT_EQ(j["alarms"]["Cell OV"]["count"], 2);
  EXPECT_EQ(j["alarms"]["Cell OV"]["first"], "2026-03-31T23:59:59");
  EXPECT_EQ(j["alarms"]["Cell OV"]["last"], "2026-04-01T00:00:20");
  EXPECT_EQ(j["alarms"]["afe R/W Error"]["count"], 1);
  EXPECT_EQ(j["alarms"].size(), 2u);
  EXPECT_EQ(j["cycle_change"], 1);
}

TEST_F(LogCommandTest, ExportGivesBackEveryRowWithItsDate) {
  const Outcome csv = run({"export", path_, "--date", "2026-03-31"});
  ASSERT_EQ(csv.status, 0) << csv.err;
  std::string expected = logHeaderText() + "\n";
  for (std::size_t i = 0; i < kRows.size(); ++i) {
    const std::string line = format(kRows[i]);
    expected += (i < 2 ? "2026-03-31T" : "2026-04-01T") + line + "\n";
  }
  EXPECT_EQ(csv.out, expected);

  // JSON lines hold the same names and values; --from and --until keep both ends.
  const Outcome jsonl = run({"export", path_, "--to", "jsonl", "--date", "2026-03-31", "--from",
                             "2026-03-31T23:59:59", "--until", "2026-04-01T00:00:19"});
  ASSERT_EQ(jsonl.status, 0) << jsonl.err;
  std::istringstream lines(jsonl.out);
  std::vector<nlohmann::json> objects;
  for (std::string line; std::getline(lines, line);) objects.push_back(nlohmann::json::parse(line));
  ASSERT_EQ(objects.size(), 3u);
  EXPECT_EQ(objects[0]["TIME"], "2026-03-31T23:59:59");
  EXPECT_EQ(objects[2]["TIME"], "2026-04-01T00:00:19");
  EXPECT_EQ(objects[1]["Cell1-V(mV)"], 0);
  EXPECT_DOUBLE_EQ(objects[1]["Current"].get<double>(), -7.2);
  EXPECT_EQ(objects[1].size(), kLogColumnCount);

  // Without --date the last row's day is the file's modification day.
  struct stat info {};
  ASSERT_EQ(::stat(path_.c_str(), &info), 0);
  const std::string lastDay = formatCivil(localDayOf(info.st_mtime)).substr(0, 10);
  const Outcome dated = run({"export", path_});
  ASSERT_EQ(dated.status, 0);
  EXPECT_NE(dated.out.find(lastDay + "T00:00:30,1,"), std::string::npos) << dated.out;
}

TEST_F(LogCommandTest, BadInputPrintsNothingAndSaysWhy) {
  const std::string events = ::testing::TempDir() + "log_command_events.csv";
  std::ofstream(events) << "time,kind,event\r\n";
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* message;
  };
  const std::vector<Case> cases = {
      {{"export", path_, "--to", "xml"}, 2, "xml"},
      {{"export", path_, "--date", "2026-02-30"}, 2, "no date"},
      {{"export", path_, "--from", "yesterday"}, 2, "no date-time"},
      {{"summary", path_, events}, 2, "events file"},
      {{"summary", path_, "/no/such/log.csv"}, 3, "/no/such/log.csv"},
      {{"export"}, 2, "file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    const Outcome r = run(c.args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
  ::unlink(events.c_str());
}

// The program itself hands `log` to its own parser and returns its status.
TEST_F(LogCommandTest, OrloBmsRunsTheLogCommand) {
  const char* dir = std::getenv("ORLO_BIN_DIR");
  const std::string program = std::string(dir ? dir : ".") + "/src/headless/orlo-bms";
  const auto shell = [&](const std::string& args, std::string* out) {
    std::FILE* pipe = ::popen((program + " " + args + " 2>/dev/null").c_str(), "r");
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out->append(buffer, n);
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  std::string out;
  ASSERT_EQ(shell("log summary --json --date 2026-03-31 " + path_, &out), 0);
  EXPECT_EQ(nlohmann::json::parse(out)["rows"], 6);
  out.clear();
  EXPECT_EQ(shell("log export /no/such/log.csv", &out), 3);
  EXPECT_EQ(out, "");
  EXPECT_EQ(shell("--help", &out), 0);
  EXPECT_NE(out.find("  log  "), std::string::npos) << out;
}

}  // namespace
}  // namespace orlo::headless
