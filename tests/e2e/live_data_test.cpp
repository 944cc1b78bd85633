// Orlo_PC, the real program, against orlo-bms-sim over a pseudo-terminal, and its command line
// without one. Polling, link status, the header and the BMS parameter tab, a hostile line and a
// port that goes away run against the board in simulated time (tests/integration).

#include <gmock/gmock.h>

#include "e2e/e2e_fixture.h"

namespace orlo::test {
namespace {

using LiveData = EndToEnd;

TEST_F(LiveData, orloPcRunFromTheCommandLinePrintsItsReceiveCounters) {
  ASSERT_TRUE(sim.start());
  QProcess tool;
  startOrloPc(tool, com1OnSimulator() + QStringList{"--stats", "--quit-after", "3.5"});
  ASSERT_TRUE(tool.waitForFinished(15000));
  EXPECT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
  const std::string out = tool.readAllStandardOutput().toStdString();
  EXPECT_THAT(out, ::testing::HasSubstr("frames_dispatched="));
  EXPECT_THAT(out, ::testing::Not(::testing::HasSubstr("frames_dispatched=0\n")));
}

TEST_F(LiveData, anUnattendedRunEndsOnTimeEvenWithAFailedOpenReported) {
  QProcess tool;
  startOrloPc(tool,
              {"--port", "COM1=/nonexistent/orlo-port", "--open", "COM1", "--quit-after", "1.5", "--stats"});
  ASSERT_TRUE(tool.waitForFinished(15000)) << "the message box kept the tool from quitting";
  EXPECT_EQ(tool.exitCode(), 0);
  EXPECT_THAT(tool.readAllStandardOutput().toStdString(), ::testing::HasSubstr("frames_dispatched=0"));
}

TEST_F(LiveData, orloPcRefusesABadArgumentWithExitCodeTwo) {
  QProcess tool;
  startOrloPc(tool, {"--port", "COM99=/dev/null"});
  ASSERT_TRUE(tool.waitForFinished(10000));
  EXPECT_EQ(tool.exitCode(), 2);
  EXPECT_THAT(tool.readAllStandardError().toStdString(), ::testing::HasSubstr("COMn=PATH"));
}

}  // namespace
}  // namespace orlo::test
