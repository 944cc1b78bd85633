// The command line of orlo-bms-sim: what each option sets, and clear refusals.

#include <gtest/gtest.h>

#include "sim/sim_options.h"

namespace orlo::sim {
namespace {

SimOptions parsed(const std::vector<std::string>& args) {
  SimOptions options;
  std::string error;
  EXPECT_TRUE(parseOptions(args, options, error)) << error;
  return options;
}

TEST(SimOptions, everyOptionSetsItsSetting) {
  const SimOptions o = parsed({"--link",
                               "/tmp/x",
                               "--split",
                               "random",
                               "--corrupt",
                               "0.25",
                               "--garbage=0.5",
                               "--delay",
                               "150",
                               "--silent-after",
                               "3.5",
                               "--unplug-after",
                               "7",
                               "--reopen-after",
                               "2",
                               "--seed",
                               "99",
                               "--flood",
                               "--record",
                               "r.txt",
                               "--stamp-live",
                               "s.txt",
                               "--report",
                               "p.txt",
                               "--verbose"});
  EXPECT_EQ(o.linkPath, "/tmp/x");
  EXPECT_EQ(o.settings.faults.split, SplitMode::Random);
  EXPECT_DOUBLE_EQ(o.settings.faults.corruptRatio, 0.25);
  EXPECT_DOUBLE_EQ(o.settings.faults.garbageRatio, 0.5);
  EXPECT_EQ(o.settings.faults.delayMs, 150);
  EXPECT_DOUBLE_EQ(o.settings.silentAfterS, 3.5);
  EXPECT_DOUBLE_EQ(o.settings.unplugAfterS, 7);
  EXPECT_DOUBLE_EQ(o.settings.reopenAfterS, 2);
  EXPECT_EQ(o.settings.faults.seed, 99u);
  EXPECT_TRUE(o.settings.flood);
  EXPECT_EQ(o.recordPath, "r.txt");
  EXPECT_EQ(o.stampPath, "s.txt");
  EXPECT_EQ(o.reportPath, "p.txt");
  EXPECT_TRUE(o.verbose);
  EXPECT_FALSE(o.help);
}

TEST(SimOptions, defaultsAreAQuietWellBehavedBoard) {
  const SimOptions o = parsed({});
  EXPECT_EQ(o.settings.faults.split, SplitMode::Whole);
  EXPECT_EQ(o.settings.faults.corruptRatio, 0);
  EXPECT_EQ(o.settings.faults.delayMs, 0);
  EXPECT_LT(o.settings.silentAfterS, 0);
  EXPECT_LT(o.settings.unplugAfterS, 0);
  EXPECT_FALSE(o.settings.flood);
  EXPECT_TRUE(parsed({"-h"}).help);
}

struct BadCase {
  std::vector<std::string> args;
  const char* message;
};

TEST(SimOptions, badOptionsAreRefusedWithAMessageNamingThem) {
  const BadCase cases[] = {
      {{"--bogus"}, "unknown option '--bogus'"},
      {{"--split", "sideways"}, "bad value 'sideways' for --split MODE"},
      {{"--corrupt", "1.5"}, "bad value '1.5' for --corrupt RATIO"},
      {{"--garbage", "-0.1"}, "bad value '-0.1' for --garbage RATIO"},
      {{"--delay", "10ms"}, "bad value '10ms' for --delay MS"},
      {{"--seed", "1.5"}, "bad value '1.5' for --seed N"},
      {{"--seed", "4294967296"}, "bad value '4294967296' for --seed N"},
      {{"--silent-after", "nan"}, "bad value 'nan' for --silent-after SECONDS"},
      {{"--link"}, "option --link needs a value PATH"},
      {{"--flood=yes"}, "option --flood takes no value"},
      {{"--link", "a", "--device", "/dev/ttyUSB0"}, "--link applies to the pseudo-terminal"},
  };
  for (const BadCase& c : cases) {
    SimOptions options;
    std::string error;
    EXPECT_FALSE(parseOptions(c.args, options, error)) << c.args[0];
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
  }
}

TEST(SimOptions, helpDocumentsEveryOptionAndTheReportKeys) {
  const std::string help = helpText();
  for (const char* name :
       {"--link",  "--device",       "--split",        "--corrupt",         "--garbage",
        "--delay", "--silent-after", "--unplug-after", "--reopen-after",    "--seed",
        "--flood", "--record",       "--stamp-live",   "--report",          "--verbose",
        "--help",  "SIGUSR1",        "SIGUSR2",        "valid_frames_sent", "garbage_bytes_sent"}) {
    EXPECT_NE(help.find(name), std::string::npos) << name;
  }
}

}  // namespace
}  // namespace orlo::sim
