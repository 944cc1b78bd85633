#pragma once
// End-to-end fixture: orlo-bms-sim as a child process on a pseudo-terminal (reached through a
// stable symlink in a temp dir) and the whole tool in-process (MainWindowShell), offscreen.
// Message boxes are collected instead of shown. Each test file that includes this gets its own
// copy of these inline helpers; only *_test.cpp files become programs.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMainWindow>
#include <QPixmap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "link/receive_observer.h"
#include "support/frame_fields.h"
#include "ui/form/dialogs.h"
#include "ui/form/form_style.h"
#include "ui/qt_test_app.h"
#include "ui/shell/main_window_shell.h"
#include "view/main_window_ids.h"

namespace orlo::test {

inline std::string binDir() {
  const char* dir = std::getenv("ORLO_BIN_DIR");
  return dir ? dir : ".";
}

// Starts Orlo_PC as a separate process, the way a user or a script runs it.
inline void startOrloPc(QProcess& tool, const QStringList& args) {
  tool.start(QString::fromStdString(binDir() + "/src/ui/Orlo_PC"), args);
}

// One request the simulator received: its time in ms and its bytes in hex, as recorded.
struct RecordedRequest {
  long long timeMs = 0;
  std::string hex;  // upper case, no blanks
};

class SimProcess {
 public:
  SimProcess() { link_ = dir_.filePath("link").toStdString(); }
  ~SimProcess() { stop(); }

  // Starts the simulator with the given extra options; true once its link exists.
  bool start(const QStringList& extra = {}) {
    const QString program = QString::fromStdString(binDir() + "/src/sim/orlo-bms-sim");
    QStringList args{"--link",   QString::fromStdString(link_), "--record", dir_.filePath("record.txt"),
                     "--report", dir_.filePath("report.txt")};
    args << extra;
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(program, args);
    if (!process_.waitForStarted(5000)) return false;
    return QTest::qWaitFor([&] { return QFileInfo::exists(QString::fromStdString(link_)); }, 5000);
  }

  // Stops it the polite way so that it writes its report.
  void stop() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    if (!process_.waitForFinished(5000)) process_.kill(), process_.waitForFinished(2000);
  }

  const std::string& link() const { return link_; }

  std::vector<RecordedRequest> records() const {
    std::vector<RecordedRequest> out;
    QFile file(dir_.filePath("record.txt"));
    if (!file.open(QIODevice::ReadOnly)) return out;
    for (const QByteArray& line : file.readAll().split('\n')) {
      const QList<QByteArray> parts = line.simplified().split(' ');
      if (parts.size() < 2) continue;
      RecordedRequest r;
      r.timeMs = parts[0].toLongLong();
      for (int i = 1; i < parts.size(); ++i) r.hex += parts[i].toUpper().toStdString();
      out.push_back(r);
    }
    return out;
  }

  // The counters of --report (after stop()).
  std::map<std::string, long long> report() const {
    std::map<std::string, long long> out;
    QFile file(dir_.filePath("report.txt"));
    if (!file.open(QIODevice::ReadOnly)) return out;
    for (const QByteArray& line : file.readAll().split('\n')) {
      const int eq = line.indexOf('=');
      if (eq > 0) out[line.left(eq).trimmed().toStdString()] = line.mid(eq + 1).trimmed().toLongLong();
    }
    return out;
  }

 private:
  QTemporaryDir dir_;
  std::string link_;
  QProcess process_;
};

// The tests compare what the tool dispatched with what the simulator sent; what the receive
// path accepted or dropped on the way is the Traffic window's business.
class DispatchWatcher : public ReceiveObserver {
 public:
  void onFrameAccepted(const std::uint8_t*, std::size_t) override {}
  void onDropped(DropReason, const std::uint8_t*, std::size_t) override {}
};

// Keeps the last frame the tool dispatched, to compare the fields with, and counts them; with
// a picker only the frames it picks.
class LastFrame : public DispatchWatcher {
 public:
  using Picker = bool (*)(const std::uint8_t* frame, std::size_t size);
  explicit LastFrame(Picker picks = nullptr) : picks_(picks) {}

  void onFrameDispatched(const std::uint8_t* frame, std::size_t size) override {
    if (picks_ && !picks_(frame, size)) return;
    bytes.assign(frame, frame + size);
    ++dispatched;
  }

  std::vector<std::uint8_t> bytes;
  int dispatched = 0;

 private:
  Picker picks_;
};

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    qtApp();
    ui::setDialogHook(
        {[this](const std::string& text, const std::string&) { messages.push_back(text); },
         [](bool, const FileDialogRequest&) -> std::optional<std::string> { return std::nullopt; }});
  }
  void TearDown() override {
    app.reset();
    sim.stop();
    ui::setDialogHook({});
  }

  // Starts the simulator and the tool with COM1 mapped to the simulator's link.
  void startBoth(const QStringList& simOptions = {}) {
    ASSERT_TRUE(sim.start(simOptions)) << "orlo-bms-sim did not start from " << binDir();
    ui::MainWindowShellOptions options;
    options.ports[1] = sim.link();
    options.workingFolder = workDir.path().toStdString();
    options.userFolder = workDir.path().toStdString();
    options.dataFolder = workDir.filePath("data").toStdString();  // snapshots, writes.csv
    auto created = ui::MainWindowShell::create(options);
    ASSERT_TRUE(created.ok()) << created.error();
    app = std::move(created).value();
    app->addReceiveObserver(&lastFrame);
    app->window()->show();
  }

  // True when the port is open afterwards; lastMessage() then says why not.
  bool openCom1() {
    app->behaviour().selectPort(1);
    app->behaviour().pressStartUp();
    return app->serial().isOpen();
  }
  std::string lastMessage() const { return messages.empty() ? "" : messages.back(); }
  // The options that have a separate Orlo_PC open COM1 on the simulator's link.
  QStringList com1OnSimulator() const {
    return {"--port", QString::fromStdString("COM1=" + sim.link()), "--open", "COM1"};
  }

  std::string text(MainId id) { return app->mainForm().text(id); }
  template <class Id>
  std::string pageText(int page, Id id) {
    return app->pageForm(page).text(id);
  }
  bool waitForText(MainId id, const std::string& wanted, int ms) {
    return QTest::qWaitFor([&] { return text(id) == wanted; }, ms);
  }
  bool waitForCommOk(int ms = 5000) { return waitForText(MainId::LinkText, "Comm OK!", ms); }

  // The requests the board received whose hex starts with `prefix`; stops the simulator, so
  // that its record is complete.
  std::vector<std::string> receivedRequests(const std::string& prefix) {
    sim.stop();
    std::vector<std::string> out;
    for (const auto& r : sim.records())
      if (r.hex.compare(0, prefix.size(), prefix) == 0) out.push_back(r.hex);
    return out;
  }

  SimProcess sim;
  QTemporaryDir workDir;
  std::unique_ptr<ui::MainWindowShell> app;
  LastFrame lastFrame;
  std::vector<std::string> messages;
};

// One tab of the tool against the simulator, driven through its own widgets. With
// ORLO_SCREENSHOT_DIR set the tool runs with its own font and saveScreenshot() keeps pictures
// of the window for the user guide.
class TabEndToEnd : public EndToEnd {
 protected:
  explicit TabEndToEnd(int tab) : tab_(tab) {}

  void SetUp() override {
    EndToEnd::SetUp();
    screenshotDir_ = std::getenv("ORLO_SCREENSHOT_DIR");
    if (screenshotDir_) ui::applyApplicationFont();
  }

  // Starts both, shows the tab, lets the watchers see the receive path and opens COM1.
  void startOnTab(std::initializer_list<ReceiveObserver*> watchers) {
    startBoth();
    if (HasFatalFailure()) return;
    for (ReceiveObserver* watcher : watchers) app->addReceiveObserver(watcher);
    app->mainForm().setCurrentIndex(MainId::Tabs, tab_);
    ASSERT_TRUE(openCom1()) << lastMessage();
  }

  ui::QtForm& page() { return app->pageForm(tab_); }
  template <class Id>
  std::string field(Id id) {
    return page().text(id);
  }
  template <class Id>
  void click(Id id) {
    auto* button = qobject_cast<QAbstractButton*>(page().control(id));
    ASSERT_NE(button, nullptr) << id;
    button->click();
  }
  void saveScreenshot(const char* name) {
    if (!screenshotDir_) return;
    const QString path = QString::fromLocal8Bit(screenshotDir_) + "/" + name;
    EXPECT_TRUE(app->window()->grab().save(path, "PNG")) << path.toStdString();
  }

 private:
  int tab_;
  const char* screenshotDir_ = nullptr;
};

}  // namespace orlo::test
