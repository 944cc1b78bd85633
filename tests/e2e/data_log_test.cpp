// The data log of Orlo_PC, the real program, against orlo-bms-sim over a pseudo-terminal:
// --log/--interval from the command line, under a decimal-comma locale and under a file-size
// limit. That the rows carry the values of the frames the board sent is checked against the
// board in simulated time (tests/integration).

#include <sys/resource.h>

#include <QProcessEnvironment>
#include <QRegularExpression>
#include <clocale>
#include <csignal>

#include "e2e/e2e_fixture.h"

namespace orlo::test {
namespace {

const std::string kHeader =
    "TIME,NUMBER,Cell1-V(mV),Cell2-V(mV),Cell3-V(mV),Cell4-V(mV),Diff(mV),Total,MosTemp,PackTemp,SOC,Circle,"
    "Current,Balance,DischgCap,ChgCap,RemainCap,error,MosStatus,Mode";

// The lines of a UTF-16LE file; fails the test on a byte order mark, a CR or a non-ASCII unit.
std::vector<std::string> readLog(const std::string& path) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QByteArray bytes = file.readAll();
  EXPECT_EQ(bytes.size() % 2, 0);
  EXPECT_TRUE(bytes.endsWith(QByteArray("\n\0", 2)));
  std::string text;
  for (int i = 0; i + 1 < bytes.size(); i += 2) {
    EXPECT_EQ(bytes[i + 1], 0) << "at byte " << i + 1;
    EXPECT_NE(bytes[i], '\r');
    text += bytes[i];
  }
  std::vector<std::string> lines;
  for (const QByteArray& line : QByteArray::fromStdString(text).split('\n'))
    if (!line.isEmpty()) lines.push_back(line.toStdString());
  return lines;
}

std::vector<std::string> fieldsOf(const std::string& row) {
  std::vector<std::string> out;
  for (const QByteArray& f : QByteArray::fromStdString(row).split(',')) out.push_back(f.toStdString());
  return out;
}

class DataLogEndToEnd : public EndToEnd {
 protected:
  // Runs Orlo_PC on the simulator, logging to `path` every second for `seconds`.
  void logFromTheCommandLine(QProcess& tool, const std::string& path, int seconds,
                             const QStringList& more = {}) {
    startOrloPc(tool, com1OnSimulator() +
                          QStringList{"--log", QString::fromStdString(path), "--interval", "1",
                                      "--quit-after", QString::number(seconds)} +
                          more);
    ASSERT_TRUE(tool.waitForFinished(20000 + seconds * 1000));
  }
};

// A locale whose decimal separator is a comma, made for the test when the system has none;
// LOCPATH (set here for this process and its children) finds it. Empty when none can be had.
std::string decimalCommaLocale() {
  const char* name = "de_DE.UTF-8";
  const bool installed = std::setlocale(LC_NUMERIC, name) != nullptr;
  std::setlocale(LC_NUMERIC, "C");
  if (installed) return name;
  static QTemporaryDir dir;
  const QString made = dir.filePath(name);
  const std::string command = "localedef -i de_DE -f UTF-8 '" + made.toStdString() + "' >/dev/null 2>&1";
  if (!QFileInfo::exists(made) && std::system(command.c_str()) != 0) return {};
  setenv("LOCPATH", dir.path().toLocal8Bit().constData(), 1);
  const bool usable = std::setlocale(LC_NUMERIC, name) != nullptr;
  std::setlocale(LC_NUMERIC, "C");
  return usable ? name : "";
}

TEST_F(DataLogEndToEnd, orloPcLogsUnattendedFromTheCommandLine) {
  ASSERT_TRUE(sim.start());
  const std::string path = workDir.filePath("cli.csv").toStdString();
  QProcess tool;
  startOrloPc(tool, com1OnSimulator() + QStringList{"--log", QString::fromStdString(path), "--interval", "1",
                                                    "--quit-after", "5"});
  ASSERT_TRUE(tool.waitForFinished(20000));
  EXPECT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();

  const std::vector<std::string> lines = readLog(path);
  ASSERT_GE(lines.size(), 3u) << "header and at least two rows in 5 s";
  EXPECT_EQ(lines[0], kHeader);
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::vector<std::string> f = fieldsOf(lines[i]);
    ASSERT_EQ(f.size(), 20u) << lines[i];
    EXPECT_EQ(f[1], std::to_string(i - 1));
    const long long sum = std::stoll(f[2]) + std::stoll(f[3]) + std::stoll(f[4]) + std::stoll(f[5]);
    EXPECT_EQ(std::to_string(sum), f[7]) << lines[i];
  }
  // Rows after the first frame carry the pack's cells, not the zeros of a silent line.
  EXPECT_NE(fieldsOf(lines.back())[2], "0") << lines.back();
}

// Under a decimal-comma locale every specified number keeps its "." : in the log's rows (else
// each float gains a column) and in the texts the window shows (seen through the update trace).
TEST_F(DataLogEndToEnd, aDecimalCommaLocaleChangesNoNumberInTheLogOrOnScreen) {
  const std::string locale = decimalCommaLocale();
  if (locale.empty()) GTEST_SKIP() << "no de_DE.UTF-8 locale and localedef could not make one";
  ASSERT_TRUE(sim.start());
  const std::string path = workDir.filePath("de.csv").toStdString();
  const QString trace = workDir.filePath("trace.txt");
  QProcess tool;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("LANG", QString::fromStdString(locale));
  env.insert("LC_ALL", QString::fromStdString(locale));
  tool.setProcessEnvironment(env);
  logFromTheCommandLine(tool, path, 4, {"--trace-updates", trace});
  EXPECT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();

  const std::vector<std::string> lines = readLog(path);
  ASSERT_GE(lines.size(), 2u);
  const QRegularExpression sixDecimals("^-?[0-9]+\\.[0-9]{6}$");
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::vector<std::string> f = fieldsOf(lines[i]);
    ASSERT_EQ(f.size(), 20u) << lines[i];
    for (int column : {8, 9, 12})
      EXPECT_TRUE(sixDecimals.match(QString::fromStdString(f[column])).hasMatch()) << lines[i];
  }
  QFile file(trace);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString shown = QString::fromUtf8(file.readAll());
  // "text <id> <text>": a temperature such as "25.0" or a current such as "-1.500".
  EXPECT_TRUE(shown.contains(QRegularExpression(" text [0-9]+ -?[0-9]+\\.[0-9]+\n"))) << "no decimal shown";
  EXPECT_FALSE(shown.contains(QRegularExpression(" text [0-9]+ -?[0-9]+,[0-9]+\n")))
      << shown.toStdString().substr(0, 2000);
}

// Past the file-size limit a row's write fails (EFBIG) instead of the signal killing the tool
// part-way through it: the log ends with whole rows only and the run comes to its normal end.
TEST_F(DataLogEndToEnd, aFileSizeLimitStopsTheRowsNotTheToolAndLeavesWholeRowsOnly) {
  ASSERT_TRUE(sim.start());
  const std::string path = workDir.filePath("limited.csv").toStdString();
  // In UTF-16: the header, two rows of about 100 characters and half a row more.
  const rlim_t limit = 2 * (kHeader.size() + 1 + 250);
  QProcess tool;
  tool.setChildProcessModifier([limit] {
    // As a shell's "ulimit -f" leaves it: the limit set and the signal at its default.
    std::signal(SIGXFSZ, SIG_DFL);
    struct rlimit tight {
      limit, limit
    };
    setrlimit(RLIMIT_FSIZE, &tight);
  });
  logFromTheCommandLine(tool, path, 5);
  EXPECT_EQ(tool.exitStatus(), QProcess::NormalExit) << "killed by a signal";
  EXPECT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();

  EXPECT_LE(QFileInfo(QString::fromStdString(path)).size(), static_cast<qint64>(limit));
  const std::vector<std::string> lines = readLog(path);  // ends with a whole line
  ASSERT_GE(lines.size(), 2u) << "no row fitted";
  EXPECT_EQ(lines[0], kHeader);
  for (std::size_t i = 1; i < lines.size(); ++i) EXPECT_EQ(fieldsOf(lines[i]).size(), 20u) << lines[i];
}

}  // namespace
}  // namespace orlo::test
