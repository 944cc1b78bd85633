// The data log against the simulated board in simulated time: logging started the way
// --log/--interval starts it writes UTF-16LE rows whose values are those of live data frames
// the board sent.

#include <gmock/gmock.h>

#include <cstdio>
#include <set>
#include <sstream>

#include "link/frame_bytes.h"
#include "support/frame_fields.h"
#include "support/sim_run.h"

namespace orlo::test {
namespace {

const std::string kHeader =
    "TIME,NUMBER,Cell1-V(mV),Cell2-V(mV),Cell3-V(mV),Cell4-V(mV),Diff(mV),Total,MosTemp,PackTemp,SOC,Circle,"
    "Current,Balance,DischgCap,ChgCap,RemainCap,error,MosStatus,Mode";

// Columns 3 to 20 of the row a live data frame should give, decoded here from its bytes.
std::string expectedColumns(const Bytes& f) {
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

// The lines of a UTF-16LE file; fails the test on a byte order mark, a CR or a non-ASCII unit.
std::vector<std::string> readLog(const std::string& path) {
  const std::string bytes = readFile(path);
  EXPECT_EQ(bytes.size() % 2, 0u);
  EXPECT_TRUE(bytes.size() >= 2 && bytes.compare(bytes.size() - 2, 2, std::string("\n\0", 2)) == 0);
  std::string text;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    EXPECT_EQ(bytes[i + 1], 0) << "at byte " << i + 1;
    EXPECT_NE(bytes[i], '\r');
    text += bytes[i];
  }
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(line);
  return lines;
}

std::vector<std::string> fieldsOf(const std::string& row) {
  std::vector<std::string> out;
  std::istringstream in(row);
  for (std::string f; std::getline(in, f, ',');) out.push_back(f);
  if (!row.empty() && row.back() == ',') out.emplace_back();
  return out;
}

TEST(DataLogRun, loggedRowsCarryTheValuesOfFramesTheBoardSent) {
  SimRun run;
  run.pressStartUp();
  ASSERT_TRUE(run.line.isOpen());
  ASSERT_TRUE(run.advanceUntil([&] { return !run.command(frame_bytes::kLiveData).empty(); }, 5000))
      << "no live data arrived";

  const std::string path = run.files.file("log.csv");
  ASSERT_TRUE(run.window().dataLog().startUnattended(path, 1)) << ::testing::PrintToString(run.messages());
  ASSERT_TRUE(run.advanceUntil([&] { return readLog(path).size() >= 4; }, 8000));
  run.form.setChecked(MainId::SaveFile, false);
  run.window().dataLog().onSaveFile();
  run.advance(3000);  // logging has stopped: no row comes after this

  std::set<std::string> expected;
  for (const Bytes& f : run.command(frame_bytes::kLiveData))
    if (f.size() >= 79) expected.insert(expectedColumns(f));
  const std::vector<std::string> lines = readLog(path);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], kHeader);
  std::set<std::string> logged;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::vector<std::string> fields = fieldsOf(lines[i]);
    ASSERT_EQ(fields.size(), 20u) << lines[i];
    EXPECT_EQ(fields[0], "14:00:00") << lines[i];
    EXPECT_EQ(fields[1], std::to_string(i - 1));
    const std::string values = lines[i].substr(fields[0].size() + fields[1].size() + 2);
    EXPECT_TRUE(expected.count(values)) << "row " << i << " matches no frame: " << values;
    logged.insert(values);
  }
  EXPECT_EQ(logged.size(), 3u) << "one row a second, each with that second's frame";
  EXPECT_THAT(run.messages(), ::testing::ElementsAre());
}

}  // namespace
}  // namespace orlo::test
