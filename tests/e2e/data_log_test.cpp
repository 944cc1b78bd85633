// The data log against orlo-bms-sim: logging started the way --log/--interval starts it writes
// UTF-16LE rows whose values are those of Live data frames the simulator sent.

#include <set>

#include "e2e/e2e_fixture.h"

namespace orlo::test {
namespace {

const std::string kHeader =
    "TIME,NUMBER,Cell1-V(mV),Cell2-V(mV),Cell3-V(mV),Cell4-V(mV),Diff(mV),Total,MosTemp,PackTemp,SOC,Circle,"
    "Current,Balance,DischgCap,ChgCap,RemainCap,error,MosStatus,Mode";

// Columns 3 to 20 of the row a Live data frame should give.
std::string expectedColumns(const std::vector<std::uint8_t>& f) {
  const long long total = u16(f, 10) + u16(f, 12) + u16(f, 14) + u16(f, 16);
  const std::vector<std::string> columns = {std::to_string(u16(f, 10)),
                                            std::to_string(u16(f, 12)),
                                            std::to_string(u16(f, 14)),
                                            std::to_string(u16(f, 16)),
                                            std::to_string(u16(f, 54) - u16(f, 58)),
                                            std::to_string(total),
                                            fmt("%f", static_cast<std::int16_t>(u16(f, 18))),
                                            fmt("%f", static_cast<std::int16_t>(u16(f, 20))),
                                            std::to_string(f[22]),
                                            std::to_string(u16(f, 42)),
                                            fmt("%f", -(static_cast<float>(s32(f, 30)) / 1000)),
                                            std::to_string(u16(f, 75)),
                                            fmt("%.2f", static_cast<float>(s32(f, 34)) / 1000),
                                            fmt("%.2f", static_cast<float>(s32(f, 38)) / 1000),
                                            fmt("%.2f", static_cast<float>(u16(f, 48)) / 100),
                                            std::to_string(s32(f, 71)),
                                            std::to_string(f[70]),
                                            std::to_string(f[78])};
  std::string out;
  for (const std::string& c : columns) out += (out.empty() ? "" : ",") + c;
  return out;
}

class LiveFrames : public DispatchWatcher {
 public:
  void onFrameDispatched(const std::uint8_t* frame, std::size_t size) override {
    if (size >= 79 && frame[2] == 0x4D) expected.insert(expectedColumns({frame, frame + size}));
  }
  std::set<std::string> expected;
};

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

class DataLogEndToEnd : public EndToEnd {};

TEST_F(DataLogEndToEnd, loggedRowsCarryTheValuesOfFramesTheSimulatorSent) {
  LiveFrames frames;
  startBoth();
  app->addReceiveObserver(&frames);
  ASSERT_TRUE(openCom1()) << lastMessage();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !frames.expected.empty(); }, 5000)) << "no live data arrived";

  const std::string path = workDir.filePath("log.csv").toStdString();
  ASSERT_TRUE(app->dlg().dataLog().StartUnattended(path, 1)) << lastMessage();
  ASSERT_TRUE(QTest::qWaitFor([&] { return readLog(path).size() >= 4; }, 8000));
  app->mainForm().setChecked(main_ids::kSaveFile, false);
  app->dlg().dataLog().OnSaveFile();

  const std::vector<std::string> lines = readLog(path);
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[0], kHeader);
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::vector<std::string> fields = fieldsOf(lines[i]);
    ASSERT_EQ(fields.size(), 20u) << lines[i];
    EXPECT_EQ(fields[0].size(), 8u) << lines[i];
    EXPECT_EQ(fields[1], std::to_string(i - 1));
    const std::string values = lines[i].substr(fields[0].size() + fields[1].size() + 2);
    EXPECT_TRUE(frames.expected.count(values)) << "row " << i << " matches no frame: " << values;
  }
  EXPECT_TRUE(messages.empty()) << messages.front();
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

}  // namespace
}  // namespace orlo::test
