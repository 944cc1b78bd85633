#include "core/alarm_parameter_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <random>
#include <sstream>
#include <streambuf>

#include "core/alarm_parameter_record.h"
#include "pages/alarm_parameter_page.h"
#include "support/fake_form.h"
#include "support/fake_serial_control.h"
#include "support/scratch_files.h"
#include "util/platform.h"
#include "view/alarm_parameter_ids.h"

namespace orlo {
namespace {

namespace fs = std::filesystem;
using namespace alarm_ids;

constexpr const char* kTemplateMissing = "参数模板文件不存在，未能保存!";
constexpr const char* kSaveRefused = "保存失败，请关闭文件后才操作!";

// ---- the page's save and load --------------------------------------------------------------

class AlarmParameterFile : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir.empty()) << "no scratch folder";
    fs::create_directory(dir + "/work");
    fs::create_directory(dir + "/user");
    test::writeFile(dir + "/work/AlarmParameterExample.csv", "template\r\n");
    serial.setOpen(true);
    page.initPage(dir + "/work", dir + "/user");
  }

  std::vector<std::string> boxes() const {
    std::vector<std::string> values;
    page.collectValues(&values);
    return values;
  }

  test::ScratchDir scratch{"orlo-alarm-file"};
  const std::string dir = scratch.path();
  test::FakeForm form{"alarm_parameter"};
  test::FakeSerialControl serial;
  AlarmParameterPage page{form, serial};
};

TEST_F(AlarmParameterFile, SaveRightAfterStartWritesFortyFourPlaceholderLinesWithCrLf) {
  const std::string path = dir + "/user/AlarmParameter.csv";
  ASSERT_TRUE(page.saveParameterFile(path));
  const std::string text = test::readFile(path);
  EXPECT_EQ(text.rfind("Charge OC,--,mA\r\nCharge OC Delay,--,S\r\n", 0), 0u);
  EXPECT_NE(text.find("\r\nNominal Capacity,--,Ah\r\nID,--,\r\nCircle,--,\r\nSoc,--,\r\nLow "
                      "Soc,--,\r\nMosfet OT,--,C\r\n"),
            std::string::npos);
  const std::string last = "Mosfet OT Release,--,C\r\n";
  EXPECT_EQ(text.compare(text.size() - last.size(), last.size(), last), 0);
  std::size_t crlf = 0, lf = 0;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (text[i] == '\n') ++lf, crlf += i > 0 && text[i - 1] == '\r';
  EXPECT_EQ(lf, 44u);
  EXPECT_EQ(crlf, 44u);
  EXPECT_TRUE(form.messages().empty());
}

TEST_F(AlarmParameterFile, SaveThenLoadGivesBackTheSameFortyFourTexts) {
  std::vector<std::string> values;
  for (const auto& row : alarmParameterRecord()) values.push_back(std::to_string(row.row * 11 - 100));
  values[37] = "BMS 7";
  values[2] = "";
  page.showValues(values);
  const std::string path = dir + "/user/p.csv";
  ASSERT_TRUE(page.saveParameterFile(path));
  page.showPlaceholders();
  ASSERT_TRUE(page.loadParameterFile(path));
  EXPECT_EQ(boxes(), values);
}

TEST_F(AlarmParameterFile, AnIdWithACommaIsSavedAsItIsAndLoadsBackUpToTheComma) {
  form.setText(AlarmId::BoardId, "7,8");
  const std::string path = dir + "/user/p.csv";
  ASSERT_TRUE(page.saveParameterFile(path));
  EXPECT_NE(test::readFile(path).find("\r\nID,7,8,\r\n"), std::string::npos);
  ASSERT_TRUE(page.loadParameterFile(path));
  EXPECT_EQ(form.text(AlarmId::BoardId), "7");
}

TEST_F(AlarmParameterFile, AFirstPartialLoadEmptiesTheOtherRowsAndALaterOneKeepsThem) {
  std::string ten;
  for (int i = 1; i <= 10; ++i) ten += "r," + std::to_string(i) + ",u\r\n";
  test::writeFile(dir + "/ten.csv", ten);
  test::writeFile(dir + "/two.csv", "r,A\r\nr,B\r\n");
  ASSERT_TRUE(page.loadParameterFile(dir + "/ten.csv"));
  EXPECT_EQ(form.text(AlarmId::ChgOcValue), "1");
  EXPECT_EQ(form.text(AlarmId::CellUvValue), "10");
  EXPECT_EQ(form.text(AlarmId::CellUvDelay), "");
  EXPECT_EQ(form.text(AlarmId::MosfetOtRelease), "");
  ASSERT_TRUE(page.loadParameterFile(dir + "/two.csv"));
  EXPECT_EQ(form.text(AlarmId::ChgOcValue), "A");
  EXPECT_EQ(form.text(AlarmId::ChgOcRelease), "3");
  EXPECT_EQ(form.text(AlarmId::CellUvValue), "10");
}

TEST_F(AlarmParameterFile, ALoadThatCannotOpenItsFileSaysSoAndLeavesTheBoxes) {
  form.setText(AlarmId::ChgOcValue, "50");
  for (const std::string& path : {dir + "/missing.csv", dir + "/user"}) {
    form.clearMessages();
    EXPECT_FALSE(page.loadParameterFile(path));
    ASSERT_EQ(form.messages().size(), 1u) << path;
    EXPECT_NE(form.messages()[0].text.find(path), std::string::npos);
    EXPECT_EQ(form.text(AlarmId::ChgOcValue), "50");
    EXPECT_EQ(form.text(AlarmId::CellOvValue), "--");
  }
}

TEST_F(AlarmParameterFile, NoSaveWithoutTheTemplateFileInTheRecordedWorkingFolder) {
  const std::string target = dir + "/user/AlarmParameter.csv";
  fs::remove(dir + "/work/AlarmParameterExample.csv");
  EXPECT_FALSE(page.saveParameterFile(target));
  fs::create_directory(dir + "/work/AlarmParameterExample.csv");  // a folder of that name
  EXPECT_FALSE(page.saveParameterFile(target));
  ASSERT_EQ(form.messages().size(), 2u);
  for (const auto& m : form.messages()) EXPECT_EQ(m.text, kTemplateMissing);
  EXPECT_FALSE(fs::exists(target));
}

TEST_F(AlarmParameterFile, ATargetThatCannotBeReplacedIsRefusedWithTheCloseTheFileMessage) {
  fs::create_directory(dir + "/user/taken.csv");
  EXPECT_FALSE(page.saveParameterFile(dir + "/user/taken.csv"));
  ASSERT_EQ(form.messages().size(), 1u);
  EXPECT_EQ(form.messages()[0].text, kSaveRefused);
  EXPECT_TRUE(fs::is_directory(dir + "/user/taken.csv"));
}

// A save that fails part-way (here: the file size limit) leaves the old file as it was, says so
// with the path and the reason, and leaves nothing behind: whether it goes through a temporary
// file and a rename, or is written in place (a file with a second name) and puts back the bytes
// it overwrote.
TEST_F(AlarmParameterFile, AFailedWriteLeavesTheOldFileAsItWasAndNamesPathAndReason) {
  const std::string target = dir + "/user/AlarmParameter.csv";
  for (const bool inPlace : {false, true}) {
    SCOPED_TRACE(inPlace ? "in place" : "through a temporary file");
    fs::remove_all(dir + "/user");
    fs::remove(dir + "/other-name.csv");
    fs::create_directories(dir + "/user");
    test::writeFile(target, "old content\r\n");
    if (inPlace) {
      ASSERT_EQ(link(target.c_str(), (dir + "/other-name.csv").c_str()), 0);
    }
    const std::size_t messagesBefore = form.messages().size();
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit tight = old;
    tight.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
    const bool saved = page.saveParameterFile(target);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(saved);
    EXPECT_EQ(test::readFile(target), "old content\r\n");
    ASSERT_EQ(form.messages().size(), messagesBefore + 1);
    const std::string& said = form.messages().back().text;
    EXPECT_NE(said.find(target), std::string::npos) << said;
    if (inPlace) {
      EXPECT_NE(said.find("File too large"), std::string::npos) << said;
    }
    int entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir + "/user")) ++entries;
    EXPECT_EQ(entries, 1);
  }
}

TEST_F(AlarmParameterFile, SaveReplacesAnOlderFileAndKeepsItsPermissions) {
  const std::string target = dir + "/user/AlarmParameter.csv";
  test::writeFile(target, std::string(5000, 'x'));
  ASSERT_EQ(chmod(target.c_str(), 0640), 0);
  ASSERT_TRUE(page.saveParameterFile(target));
  EXPECT_EQ(test::readFile(target).rfind("Charge OC,--,mA\r\n", 0), 0u);
  struct stat st {};
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

// What must survive any save: the file itself (other names of it see the new content) and who
// may read and write it.
struct FileFacts {
  ino_t inode;
  uid_t owner;
  gid_t group;
  mode_t mode;
  bool operator==(const FileFacts& o) const {
    return inode == o.inode && owner == o.owner && group == o.group && mode == o.mode;
  }
};
FileFacts identityOf(const std::string& path) {
  struct stat st {};
  stat(path.c_str(), &st);
  return {st.st_ino, st.st_uid, st.st_gid, st.st_mode};
}

// Runs `save` as an ordinary user: in a child without root's rights when the tests run as root.
bool saveAsOrdinaryUser(const std::function<bool()>& save) {
  if (geteuid() != 0) return save();
  const pid_t child = fork();
  if (child == 0) {
    const bool dropped = setgid(65534) == 0 && setuid(65534) == 0;
    _exit(dropped && save() ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(AlarmParameterFile, ATargetThatARenameWouldNotKeepIsRewrittenWhereItIs) {
  const std::string content = formatAlarmParameterFile(std::vector<std::string>(kAlarmParameterCount, "1"));
  // Other hard links: all of them see the new content.
  const std::string linked = dir + "/user/linked.csv";
  test::writeFile(linked, std::string(5000, 'x'));
  ASSERT_EQ(chmod(linked.c_str(), 0604), 0);
  ASSERT_EQ(link(linked.c_str(), (dir + "/other-name.csv").c_str()), 0);
  FileFacts before = identityOf(linked);
  {
    const Status saved = replaceFileContent(linked, content);
    ASSERT_TRUE(saved) << saved.error();
  }
  EXPECT_EQ(test::readFile(dir + "/other-name.csv"), content);
  EXPECT_TRUE(identityOf(linked) == before);

  // A folder the user may not write, holding a file the user may.
  ASSERT_EQ(chmod(dir.c_str(), 0755), 0);
  const std::string shared = dir + "/shared";
  fs::create_directory(shared);
  const std::string handed = shared + "/handed.csv";
  test::writeFile(handed, "old\r\n");
  ASSERT_EQ(chmod(handed.c_str(), 0644), 0);
  if (geteuid() == 0) {
    ASSERT_EQ(chown(handed.c_str(), 65534, 65534), 0);
  }
  ASSERT_EQ(chmod(shared.c_str(), 0555), 0);
  before = identityOf(handed);
  EXPECT_TRUE(saveAsOrdinaryUser([&] { return replaceFileContent(handed, content).ok(); }));
  EXPECT_EQ(test::readFile(handed), content);
  EXPECT_TRUE(identityOf(handed) == before);
  EXPECT_EQ(std::distance(fs::directory_iterator(shared), {}), 1) << "no temporary file left";
  chmod(shared.c_str(), 0755);

  // Another user's file that this one may write (only root can make one here).
  if (geteuid() == 0) {
    const std::string foreign = dir + "/user/foreign.csv";
    test::writeFile(foreign, "old\r\n");
    ASSERT_EQ(chown(foreign.c_str(), 65534, 65534), 0);
    ASSERT_EQ(chmod(foreign.c_str(), 0640), 0);
    before = identityOf(foreign);
    const Status saved = replaceFileContent(foreign, content);
    ASSERT_TRUE(saved) << saved.error();
    EXPECT_EQ(test::readFile(foreign), content);
    EXPECT_EQ(identityOf(foreign).owner, 65534u);
    EXPECT_EQ(identityOf(foreign).group, 65534u);
    EXPECT_EQ(identityOf(foreign).mode & 07777, 0640u);
  }
}

TEST_F(AlarmParameterFile, TheShippedExampleLoadsIntoValuesThatSetAccepts) {
  const char* resources = std::getenv("ORLO_RESOURCE_DIR");
  ASSERT_NE(resources, nullptr);
  ASSERT_TRUE(page.loadParameterFile(std::string(resources) + "/AlarmParameterExample.csv"));
  EXPECT_EQ(form.text(AlarmId::CellOvValue), "3650");
  page.onClicked(AlarmId::Set);
  EXPECT_TRUE(form.messages().empty()) << form.messages()[0].text;
  EXPECT_EQ(serial.written.size(), 1u);
}

// ---- the buttons ---------------------------------------------------------------------------

TEST_F(AlarmParameterFile, SaveButtonAsksWithTheFilterAndProposedNameThenShowsThePath) {
  const std::string target = dir + "/user/chosen.csv";
  form.queueFileAnswer(target);
  page.onClicked(AlarmId::SaveParameter);
  ASSERT_EQ(form.fileRequests().size(), 1u);
  const FileDialogRequest& request = form.fileRequests()[0];
  EXPECT_EQ(request.filter, "文件 (*.csv;)|*.csv;||");
  EXPECT_EQ(request.startFolder, dir + "/user");
  EXPECT_EQ(request.proposedName, "AlarmParameter.csv");
  EXPECT_TRUE(request.confirmOverwrite);
  EXPECT_TRUE(fs::exists(target));
  EXPECT_EQ(form.text(AlarmId::Path), target);
}

TEST_F(AlarmParameterFile, LoadButtonProposesNoNameAndACancelShowsTheDefaultPathOnly) {
  page.onClicked(AlarmId::LoadParameter);
  ASSERT_EQ(form.fileRequests().size(), 1u);
  EXPECT_EQ(form.fileRequests()[0].proposedName, "");
  EXPECT_FALSE(form.fileRequests()[0].confirmOverwrite);
  EXPECT_EQ(form.text(AlarmId::Path), dir + "/user/AlarmParameter.csv");
  EXPECT_EQ(form.text(AlarmId::ChgOcValue), "--");
  EXPECT_TRUE(form.messages().empty());

  test::writeFile(dir + "/user/in.csv", "Charge OC,77,mA\r\n");
  form.queueFileAnswer(dir + "/user/in.csv");
  page.onClicked(AlarmId::LoadParameter);
  EXPECT_EQ(form.text(AlarmId::ChgOcValue), "77");
  EXPECT_EQ(form.text(AlarmId::Path), dir + "/user/in.csv");
}

}  // namespace
}  // namespace orlo
