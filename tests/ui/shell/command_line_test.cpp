// Orlo_PC's command line: what it accepts and what it refuses with a message.

#include "ui/shell/command_line.h"

#include <gtest/gtest.h>

namespace orlo::ui {
namespace {

TEST(CommandLine, noArgumentsMeansAPlainInteractiveRun) {
  const auto r = parseCommandLine({});
  ASSERT_TRUE(r.ok);
  EXPECT_TRUE(r.options.ports.empty());
  EXPECT_EQ(r.options.openPort, 0);
  EXPECT_FALSE(r.options.stats);
  EXPECT_EQ(r.options.quitAfter, 0);
}

TEST(CommandLine, portsMapRepeatedlyAndTheLastMappingOfAPortWins) {
  const auto r = parseCommandLine({"--port", "COM1=/dev/ttyUSB0", "--port", "COM16=/tmp/a=b", "--port",
                                   "COM1=/dev/pts/3", "--open", "COM16"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.options.ports, (std::map<int, std::string>{{1, "/dev/pts/3"}, {16, "/tmp/a=b"}}));
  EXPECT_EQ(r.options.openPort, 16);
}

TEST(CommandLine, portNamesAreReadInAnyCaseAsThePortMapReadsThem) {
  const auto r = parseCommandLine({"--port", "com3=/dev/ttyS0", "--open", "Com3"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.options.ports, (std::map<int, std::string>{{3, "/dev/ttyS0"}}));
  EXPECT_EQ(r.options.openPort, 3);
}

TEST(CommandLine, everyOptionWithAValueIsRead) {
  const auto r = parseCommandLine({"--open", "COM2", "--log", "/tmp/x.csv", "--interval", "5", "--stats",
                                   "--quit-after", "2.5", "--screenshot", "s.png", "--screenshot-delay", "3",
                                   "--tab", "4", "--trace-updates", "t.txt"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.options.logPath, "/tmp/x.csv");
  EXPECT_EQ(r.options.logInterval, 5);
  EXPECT_TRUE(r.options.stats);
  EXPECT_DOUBLE_EQ(r.options.quitAfter, 2.5);
  EXPECT_EQ(r.options.screenshot, "s.png");
  EXPECT_DOUBLE_EQ(r.options.screenshotDelay, 3);
  EXPECT_EQ(r.options.tab, 3);
  EXPECT_EQ(r.options.traceFile, "t.txt");
}

TEST(CommandLine, openLogTakesOneOrTwoFiles) {
  EXPECT_EQ(parseCommandLine({"--open-log", "a.csv", "b.csv", "--quit-after", "1"}).options.openLogs,
            (std::vector<std::string>{"a.csv", "b.csv"}));
  EXPECT_EQ(parseCommandLine({"--open-log", "a.csv", "--tab", "2"}).options.openLogs,
            std::vector<std::string>{"a.csv"});
  EXPECT_FALSE(parseCommandLine({"--open-log"}).ok);
}

TEST(CommandLine, theLongestSpansTheTimersCanHoldAreAccepted) {
  const auto r = parseCommandLine({"--open", "COM1", "--log", "x.csv", "--interval", "86400", "--quit-after",
                                   "2147483", "--screenshot-delay", "2147483"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.options.logInterval, 86400);
  EXPECT_DOUBLE_EQ(r.options.quitAfter, 2147483);
  EXPECT_DOUBLE_EQ(r.options.screenshotDelay, 2147483);
}

TEST(CommandLine, helpIsRecognisedAnywhere) {
  EXPECT_TRUE(parseCommandLine({"--stats", "--help"}).options.help);
  EXPECT_TRUE(parseCommandLine({"-h"}).options.help);
  EXPECT_NE(usageText().find("--port COMn=PATH"), std::string::npos);
}

TEST(CommandLine, badArgumentsAreRefusedWithAMessageNamingTheProblem) {
  struct Case {
    std::vector<std::string> args;
    const char* mentions;
  } cases[] = {
      {{"--bogus"}, "unknown option '--bogus'"},
      {{"--port"}, "--port needs a value"},
      {{"--port", "COM0=/dev/x"}, "COMn=PATH"},
      {{"--port", "COM17=/dev/x"}, "COMn=PATH"},
      {{"--port", "COM1"}, "COMn=PATH"},
      {{"--port", "COM1="}, "COMn=PATH"},
      {{"--open", "COM1x"}, "--open wants COM1 ... COM16"},
      {{"--open", "1"}, "--open wants COM1 ... COM16"},
      {{"--quit-after", "-1"}, "--quit-after wants a positive number"},
      {{"--quit-after", "nan"}, "--quit-after wants a positive number"},
      {{"--quit-after", "2s"}, "--quit-after wants a positive number"},
      {{"--interval", "1.5", "--log", "x"}, "whole positive number"},
      // Longer than a Qt timer can count in milliseconds, or than the data log takes.
      {{"--quit-after", "2147483.5"},
       "--quit-after wants a positive number of seconds up to 2147483, not '2147483.5'"},
      {{"--screenshot-delay", "1e7"},
       "--screenshot-delay wants a positive number of seconds up to 2147483, not '1e7'"},
      {{"--quit-after", "inf"}, "not 'inf'"},
      {{"--interval", "86401", "--log", "x", "--open", "COM1"}, "up to 86400, not '86401'"},
      {{"--log", "x.csv", "--open", "COM1"}, "--log needs --interval"},
      {{"--interval", "3"}, "--interval goes with --log"},
      {{"--log", "x.csv", "--interval", "3"}, "--log needs --open"},
      {{"--tab", "5"}, "--tab wants 1, 2, 3 or 4"},
      {{"--tab", "0"}, "--tab wants 1, 2, 3 or 4"},
  };
  for (const auto& c : cases) {
    const auto r = parseCommandLine(c.args);
    EXPECT_FALSE(r.ok) << c.args[0];
    EXPECT_NE(r.error.find(c.mentions), std::string::npos) << r.error;
  }
}

}  // namespace
}  // namespace orlo::ui
