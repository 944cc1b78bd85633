// Orlo_PC started with options that name files it cannot use: it says which and why, and never
// hangs before its window or ends with 0 having written nothing.

#include <sys/stat.h>

#include "e2e/e2e_fixture.h"

namespace orlo::test {
namespace {

TEST(CommandLineRun, filesThatCannotBeWrittenAreRefusedWithTheirReason) {
  qtApp();
  QTemporaryDir dir;
  const std::string fifo = dir.filePath("fifo").toStdString();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const QString log = dir.filePath("never.csv");
  struct Case {
    const char* what;
    QStringList args;
    int exitCode;
    std::string mentions;
  } cases[] = {
      // With nobody reading, opening the pipe for writing would wait for ever.
      {"a FIFO nobody reads",
       {"--trace-updates", QString::fromStdString(fifo), "--quit-after", "30"},
       2,
       fifo + ": it is a pipe that no program reads"},
      {"a full device",
       {"--trace-updates", "/dev/full", "--quit-after", "1"},
       1,
       "/dev/full: No space left on device"},
      {"an interval past a day",
       {"--port", "COM1=/dev/null", "--open", "COM1", "--log", log, "--interval", "86401"},
       2,
       "not '86401'"},
      {"a timer past what Qt counts", {"--quit-after", "2147484"}, 2, "up to 2147483, not '2147484'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    QProcess tool;
    startOrloPc(tool, c.args);
    ASSERT_TRUE(tool.waitForFinished(20000)) << "still running";
    EXPECT_EQ(tool.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(tool.exitCode(), c.exitCode);
    const std::string errors = tool.readAllStandardError().toStdString();
    EXPECT_NE(errors.find(c.mentions), std::string::npos) << errors;
  }
  EXPECT_FALSE(QFileInfo::exists(log)) << "a refused command line creates nothing";
}

}  // namespace
}  // namespace orlo::test
