#pragma once
// End-to-end fixture: orlo-bms-sim as a child process on a pseudo-terminal (reached through a
// stable symlink in a temp dir) and the whole tool in-process (AppWindow), offscreen.
// Message boxes are collected instead of shown. Each test file that includes this gets its own
// copy of these inline helpers; only *_test.cpp files become programs.

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window_ids.h"
#include "link/receive_observer.h"
#include "ui/app_window.h"
#include "ui/dialogs.h"
#include "ui/qt_test_app.h"

namespace orlo::test {

inline std::string binDir() {
  const char* dir = std::getenv("ORLO_BIN_DIR");
  return dir ? dir : ".";
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

// Keeps the last frame the tool dispatched, to compare the fields with.
class LastFrame : public ReceiveObserver {
 public:
  void onFrameAccepted(const std::uint8_t*, std::size_t) override {}
  void onFrameDispatched(const std::uint8_t* frame, std::size_t size) override {
    bytes.assign(frame, frame + size);
    ++dispatched;
  }
  void onDropped(DropReason, const std::uint8_t*, std::size_t) override {}

  std::vector<std::uint8_t> bytes;
  int dispatched = 0;
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
    std::string error;
    ui::AppWindowOptions options;
    options.ports[1] = sim.link();
    options.workingFolder = workDir.path().toStdString();
    options.userFolder = workDir.path().toStdString();
    app = ui::AppWindow::create(options, &error);
    ASSERT_TRUE(app) << error;
    app->addReceiveObserver(&lastFrame);
    app->window()->show();
  }

  void openCom1() {
    app->dlg().selectPort(1);
    app->dlg().pressStartUp();
  }

  std::string text(int id) { return app->mainForm().text(id); }
  std::string pageText(int page, int id) { return app->pageForm(page).text(id); }
  bool waitForText(int id, const std::string& wanted, int ms) {
    return QTest::qWaitFor([&] { return text(id) == wanted; }, ms);
  }

  SimProcess sim;
  QTemporaryDir workDir;
  std::unique_ptr<ui::AppWindow> app;
  LastFrame lastFrame;
  std::vector<std::string> messages;
};

}  // namespace orlo::test
