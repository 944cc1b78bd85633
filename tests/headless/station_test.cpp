// orlo-bms station end to end: the real program against orlo-bms-sim on pseudo-terminals. One
// simulator per case, all cases at once, so the run takes about as long as its slowest case.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "mqtt_harness.h"

namespace orlo::headless {
namespace {

using namespace test;
using orlo::test::readFile;
using orlo::test::ScratchDir;
using orlo::test::writeFile;

constexpr char kOffRequest[] = "AA 55 18 00 00 00 0D 00 00 00 00 00 00 00 0D 00 55 AA";

// The last manual balance request (0x18, sub-command 0x0D) the simulator received, as hex.
std::string lastManualBalance(const std::string& record) {
  std::istringstream in(record);
  std::string last;
  for (std::string line; std::getline(in, line);) {
    const auto at = line.find("AA 55 18 00 00 00 0D");
    if (at != std::string::npos) last = line.substr(at);
  }
  return last;
}

std::vector<nlohmann::json> reports(const std::string& folder) {
  std::vector<nlohmann::json> out;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
    if (entry.path().extension() == ".json")
      out.push_back(nlohmann::json::parse(readFile(entry.path().string())));
  }
  return out;
}

const nlohmann::json& stepOf(const nlohmann::json& report, const std::string& name) {
  for (const auto& step : report["steps"]) {
    if (step["name"] == name) return step;
  }
  static const nlohmann::json none;
  return none;
}

class Station : public ::testing::Test {
 protected:
  std::unique_ptr<Child> simulator(const std::string& name, std::vector<std::string> extra) {
    std::vector<std::string> argv{binary("src/sim/orlo-bms-sim"),
                                  "--rest",
                                  "--link",
                                  dir.file(name),
                                  "--record",
                                  dir.file(name + ".requests"),
                                  "--report",
                                  dir.file(name + ".report")};
    argv.insert(argv.end(), extra.begin(), extra.end());
    auto child = std::make_unique<Child>(argv, dir.file(name + ".sim.log"));
    EXPECT_TRUE(waitForPath(dir.file(name), 5000)) << readFile(dir.file(name + ".sim.log"));
    return child;
  }
  // A recipe whose records go to dir/NAME.records, with `extra` TOML appended.
  std::string recipe(const std::string& name, const std::string& extra, const std::string& recordDir = "") {
    const std::string records = recordDir.empty() ? name + ".records" : recordDir;
    writeFile(dir.file(name + ".toml"),
              "name = \"" + name + "\"\nrecord_dir = \"" + records + "\"\n" + extra +
                  "[rest]\ncell_mv = [3000, 3600]\nspread_mv = 50\ntemp_c = [5, 45]\n");
    return dir.file(name + ".toml");
  }
  // orlo-bms station on the named simulators' devices; `readings` go to its standard input.
  std::unique_ptr<Child> station(const std::string& name, const std::string& recipePath,
                                 const std::vector<std::string>& devices, const std::string& readings = "") {
    writeFile(dir.file(name + ".in"), readings);
    std::string command = "exec env XDG_DATA_HOME=" + dir.file(name + ".data") + " " +
                          binary("src/headless/orlo-bms") + " station --recipe " + recipePath;
    for (std::size_t i = 0; i < devices.size(); ++i)
      command += " --device " + dir.file(devices[i]) + " --label L" + std::to_string(i + 1);
    return std::make_unique<Child>(
        std::vector<std::string>{"/bin/sh", "-c", command + " < " + dir.file(name + ".in")},
        dir.file(name + ".log"));
  }

  // params.csv: the parameters of the board on `device` with Cell OV lowered, a write the read
  // back can tell apart.
  bool writeLoweredParameters(const std::string& device) {
    if (Child({binary("src/headless/orlo-bms"), "params", "read", "--device", dir.file(device),
               dir.file("params.csv")},
              dir.file("read.log"))
            .wait(10000) != 0)
      return false;
    std::string params = readFile(dir.file("params.csv"));
    const std::size_t at = params.find("Cell OV,3650");
    if (at == std::string::npos) return false;
    params.replace(at, 12, "Cell OV,3600");
    writeFile(dir.file("params.csv"), params);
    return true;
  }

  ScratchDir dir{"orlo-station"};
};

TEST_F(Station, aGoodBoardPassesAndEachFaultFailsItsStepWithManualBalanceLeftOff) {
  auto reference = simulator("ref", {});
  ASSERT_TRUE(writeLoweredParameters("ref"));
  const std::string calibration =
      "[calibration]\ndischarge_ma = [5000, 10000]\ncharge_ma = [5000]\nmax_error = 0.02\n";
  const std::string quick = "[balance]\nwait_s = 1\n";

  struct Case {
    const char* name;
    std::vector<std::string> sim;
    std::string recipeExtra;
    const char* readings;
    int exit;
    const char* result;      // in the JSON report
    const char* failedStep;  // "" for none
    const char* message;     // in the failed step's message
    const char* offRequest;  // the report's manual_balance_off
  };
  const Case cases[] = {
      {"good",
       {"--id", "21"},
       "parameters = \"params.csv\"\n" + quick + calibration,
       "5000\n10000\n5000\n",
       0,
       "PASS",
       "",
       "",
       "sent"},
      {"never",
       {"--fail", "balance-never=2"},
       quick,
       "",
       1,
       "FAIL",
       "balance",
       "cell 2 never showed balancing",
       "sent"},
      {"wrong-cell",
       {"--fail", "balance-wrong-cell=3"},
       quick,
       "",
       1,
       "FAIL",
       "balance",
       "cell 3 showed cell 4 balancing instead",
       "sent"},
      {"current-off",
       {"--fail", "current-off=20"},
       quick + calibration,
       "5000\n10000\n5000\n",
       1,
       "FAIL",
       "calibration",
       "point 1 discharge is",
       "sent"},
      {"not-applied",
       {"--fail", "set-not-applied"},
       "parameters = \"params.csv\"\n" + quick,
       "",
       1,
       "FAIL",
       "parameters",
       "written 3600, read back 3650",
       "sent"},
      {"port-lost",
       {"--fail", "balance-never=1"},
       "[balance]\nwait_s = 3\n",
       "",
       1,
       "FAIL",
       "balance",
       "the port went away",
       "could not be sent: the port went away"},
      {"silent",
       {"--fail", "no-answer=0x0C"},
       quick,
       "",
       4,
       "FAIL",
       "identify",
       "No answer from the board",
       ""},
  };
  std::vector<std::unique_ptr<Child>> sims;
  std::vector<std::unique_ptr<Child>> runs;
  for (const Case& c : cases) sims.push_back(simulator(c.name, c.sim));
  for (const Case& c : cases)
    runs.push_back(station(c.name, recipe(c.name, c.recipeExtra), {c.name}, c.readings));
  // The port goes away while cell 1 is awaited (SIGUSR2 unplugs the simulator's line).
  const auto lost = std::find_if(std::begin(cases), std::end(cases),
                                 [](const Case& c) { return c.name == std::string("port-lost"); });
  const std::size_t lostIndex = static_cast<std::size_t>(lost - std::begin(cases));
  for (int i = 0; i < 500 && readFile(dir.file("port-lost.requests")).find("AA 55 18 00 00 00 0D 01 01") ==
                                 std::string::npos;
       ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  sims[lostIndex]->signal(SIGUSR2);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    const std::string name = c.name;
    EXPECT_EQ(runs[i]->wait(20000), c.exit) << name << ": " << readFile(dir.file(name + ".log"));
    const auto found = reports(dir.file(name + ".records"));
    ASSERT_EQ(found.size(), 1u) << name;
    const nlohmann::json& r = found.front();
    EXPECT_EQ(r["result"], c.result) << name << ": " << r.dump(1);
    EXPECT_EQ(r["failed_step"], c.failedStep) << name;
    if (*c.failedStep != '\0') {
      EXPECT_NE(stepOf(r, c.failedStep)["message"].get<std::string>().find(c.message), std::string::npos)
          << name << ": " << r.dump(1);
    }
    const auto off = stepOf(r, "balance")["values"].value("manual_balance_off", std::string());
    EXPECT_EQ(off.substr(0, std::string(c.offRequest).size()), c.offRequest) << name << ": " << r.dump(1);
    if (name != "port-lost" && *c.offRequest != '\0') {
      EXPECT_EQ(lastManualBalance(readFile(dir.file(name + ".requests"))), kOffRequest) << name;
    }
    const std::string row = readFile(dir.file(name + ".records/station.csv"));
    EXPECT_NE(row.find(std::string(",L1,") + c.result + "," + c.failedStep + ","), std::string::npos) << row;
  }

  // Every value of the good board is in its record.
  const nlohmann::json good = reports(dir.file("good.records")).front();
  EXPECT_EQ(good["board_id"], 21);
  EXPECT_EQ(stepOf(good, "rest")["values"]["cells_mv"].size(), 4u);
  EXPECT_EQ(stepOf(good, "balance")["values"]["cells_passed"], "4/4");
  const auto& points = stepOf(good, "calibration")["values"]["points"];
  ASSERT_EQ(points.size(), 3u);
  for (const auto& p : points) EXPECT_TRUE(p["within_tolerance"].get<bool>()) << p.dump();
  EXPECT_GT(points[0]["coefficient"].get<double>(), 0.9);
  EXPECT_EQ(stepOf(good, "parameters")["values"]["outcome"], "Verified");
  EXPECT_NE(stepOf(good, "parameters")["values"]["changes"].get<std::string>().find("Cell OV 3650→3600"),
            std::string::npos);
  const std::string row = readFile(dir.file("good.records/station.csv"));
  EXPECT_EQ(row.substr(0, 40), "time,station,operator,recipe,recipe_sha2");
  EXPECT_EQ(row.find('\r'), std::string::npos) << "LF line ends";
  EXPECT_NE(row.find(",good,"), std::string::npos);
}

TEST_F(Station, eightBoardsAtOnceEachGetTheirOwnReportAndRow) {
  std::vector<std::unique_ptr<Child>> sims;
  std::vector<std::string> devices;
  for (int i = 0; i < 8; ++i) {
    devices.push_back("board" + std::to_string(i));
    sims.push_back(simulator(devices.back(), {"--id", std::to_string(30 + i)}));
  }
  // Each board's snapshot and writes.csv line are written beside the poll loop: each must come
  // back to its own board, with the snapshot taken from that board.
  ASSERT_TRUE(writeLoweredParameters("board0"));
  auto run = station("eight", recipe("eight", "parameters = \"params.csv\"\n"), devices);
  ASSERT_EQ(run->wait(20000), 0) << readFile(dir.file("eight.log"));
  const auto found = reports(dir.file("eight.records"));
  ASSERT_EQ(found.size(), 8u);
  std::set<int> ids;
  for (const auto& r : found) {
    EXPECT_EQ(r["result"], "PASS");
    const std::string snapshot = stepOf(r, "parameters")["values"]["snapshot"];
    EXPECT_NE(snapshot.find("_ID" + std::to_string(r["board_id"].get<int>()) + "_"), std::string::npos)
        << snapshot;
    EXPECT_NE(readFile(snapshot).find("Cell OV,3650"), std::string::npos) << "kept before the write";
    ids.insert(r["board_id"].get<int>());
    EXPECT_EQ("L" + std::to_string(r["board_id"].get<int>() - 29), r["label"])
        << "each board keeps its own label";
  }
  EXPECT_EQ(ids.size(), 8u);
  const std::string csv = readFile(dir.file("eight.records/station.csv"));
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 9) << csv;
  const std::string writes = readFile(dir.file("eight.data/Orlo_PC/writes.csv"));
  EXPECT_EQ(std::count(writes.begin(), writes.end(), '\n'), 9) << writes;
}

TEST_F(Station, aBadRecipeSendsNothingAndAnUnwritableRecordGivesNoPass) {
  auto sim = simulator("sim", {});
  writeFile(dir.file("blocker"), "a file where the record folder should be");
  struct Case {
    const char* name;
    std::string recipeExtra;
    std::string recordDir;
    int exit;
    const char* said;
  };
  const Case cases[] = {
      {"typo", "[balance]\nwait_seconds = 3\n", "", 2, "typo.toml:4: unknown key 'balance.wait_seconds'"},
      {"cells", "[balance]\ncells = [1, 5]\n", "", 2,
       "cells.toml:4: balance.cells: expected a whole number 1 ... 4"},
      {"bad-file", "parameters = \"missing.csv\"\n", "", 2, "bad-file.toml:3: parameters:"},
      {"unwritable", "", "blocker/records", 1, "ERROR board"},
  };
  for (const Case& c : cases) {
    if (std::string(c.name) == "unwritable") {
      EXPECT_EQ(readFile(dir.file("sim.requests")), "") << "a bad recipe sends nothing";
    }
    auto run = station(c.name, recipe(c.name, c.recipeExtra, c.recordDir), {"sim"});
    EXPECT_EQ(run->wait(10000), c.exit) << c.name;
    const std::string said = readFile(dir.file(std::string(c.name) + ".log"));
    EXPECT_NE(said.find(c.said), std::string::npos) << c.name << ": " << said;
    EXPECT_EQ(said.find("PASS"), std::string::npos) << c.name << ": " << said;
  }
  EXPECT_NE(readFile(dir.file("sim.requests")), "") << "the unwritable case reached the board";
}

}  // namespace
}  // namespace orlo::headless
