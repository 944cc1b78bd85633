#include "ui/shell/app_run.h"

#include <unistd.h>

#include <QApplication>
#include <QMainWindow>
#include <QPixmap>
#include <QTimer>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <vector>

#include "ui/form/form_style.h"
#include "ui/shell/command_line.h"
#include "ui/shell/log_viewer_run.h"
#include "ui/shell/main_window_shell.h"
#include "ui/shell/quit_on_signal.h"
#include "ui/shell/window_memory.h"
#include "util/platform.h"
#include "util/unique_fd.h"
#include "view/main_window_ids.h"

namespace orlo::ui {
namespace {

std::FILE* g_trace = nullptr;
std::string g_tracePath;
bool g_traceFailed = false;

// A trace that cannot be written says so once and stops; the run goes on, and ends with a
// failure status so that a script measuring latencies does not read an empty file as a result.
void traceWriteFailed(int error) {
  std::cerr << "Orlo_PC: cannot write " << g_tracePath << ": " << std::strerror(error != 0 ? error : EIO)
            << "; no further updates are traced\n";
  g_traceFailed = true;
  std::fclose(g_trace);
  g_trace = nullptr;
}

// Wall-clock time, so that a trace lines up with the simulator's own timestamps.
void writeTraceLine(const char* what, int id, const std::string& text) {
  if (!g_trace) return;
  const long long micros = std::chrono::duration_cast<std::chrono::microseconds>(
                               std::chrono::system_clock::now().time_since_epoch())
                               .count();
  errno = 0;
  std::fprintf(g_trace, "%lld.%06lld %s %d %s\n", micros / 1000000, micros % 1000000, what, id, text.c_str());
  if (std::ferror(g_trace)) traceWriteFailed(errno);
}

// The first line goes out at once, so a file that takes nothing (a full disk, /dev/full) is
// reported when the window appears rather than when the buffer first fills.
void flushTrace() {
  if (!g_trace) return;
  errno = 0;
  if (std::fflush(g_trace) != 0) traceWriteFailed(errno);
}

bool closeTrace() {
  if (!g_trace) return !g_traceFailed;
  errno = 0;
  const bool flushed = std::fflush(g_trace) == 0;
  const int error = errno;
  std::fclose(g_trace);
  g_trace = nullptr;
  if (!flushed) {
    std::cerr << "Orlo_PC: cannot write " << g_tracePath << ": " << std::strerror(error != 0 ? error : EIO)
              << "\n";
    g_traceFailed = true;
  }
  return !g_traceFailed;
}

void traceText(int id, const std::string& text) {
  writeTraceLine("text", id, text);
}

// Marks when a frame was complete (its last byte processed) and when it was handed on, so that
// a trace shows the time from a frame's arrival to its values in the fields.
class TraceObserver : public ReceiveObserver {
 public:
  void onFrameAccepted(const std::uint8_t* frame, std::size_t size) override {
    writeTraceLine("accepted", size > 2 ? frame[2] : 0, std::to_string(size));
  }
  void onFrameDispatched(const std::uint8_t* frame, std::size_t size) override {
    writeTraceLine("dispatched", size > 2 ? frame[2] : 0, std::to_string(size));
  }
  void onDropped(DropReason reason, const std::uint8_t*, std::size_t size) override {
    writeTraceLine("dropped", static_cast<int>(reason), std::to_string(size));
  }
};

// Opened without blocking: a FIFO nobody reads would otherwise hold the start-up before the
// window ever appears. Once open, writes may wait for a slow reader like any pipe.
bool openTrace(const std::string& path, std::string* why) {
  if (path.empty()) return true;
  UniqueFd fd(openForWritingNoWait(path));
  if (!fd) {
    *why = errno == ENXIO ? "it is a pipe that no program reads" : std::strerror(errno);
    return false;
  }
  if (!(g_trace = ::fdopen(fd.get(), "w"))) {
    *why = std::strerror(errno);
    return false;
  }
  fd.release();  // the stream owns it now
  g_tracePath = path;
  QtForm::setTextTrace(traceText);
  return true;
}

// Whole milliseconds for a Qt timer; the command line keeps `seconds` within what an int holds.
int timerMilliseconds(double seconds) {
  return static_cast<int>(seconds * 1000);
}

void startSerial(MainWindowShell& app, const CommandLine& options) {
  if (options.openPort == 0) return;
  app.behaviour().selectPort(options.openPort);
  app.behaviour().pressStartUp();
  if (options.logPath.empty()) return;
  if (!app.serial().isOpen()) {
    std::cerr << "Orlo_PC: COM" << options.openPort << " did not open; no data log is written\n";
  } else if (!app.behaviour().dataLog().startUnattended(options.logPath, options.logInterval)) {
    std::cerr << "Orlo_PC: cannot log to " << options.logPath << "\n";
  }
}

void scheduleTimedActions(MainWindowShell& app, const CommandLine& options) {
  QMainWindow* window = app.window();
  if (!options.screenshot.empty()) {
    QTimer::singleShot(timerMilliseconds(options.screenshotDelay), window, [window, options] {
      if (!window->grab().save(QString::fromStdString(options.screenshot), "PNG"))
        std::cerr << "Orlo_PC: cannot write the screenshot " << options.screenshot << "\n";
    });
  }
  if (options.quitAfter > 0)
    QTimer::singleShot(timerMilliseconds(options.quitAfter), window, [] {
      // quit() also ends a message box's loop, so an unattended run always comes to an end.
      QApplication::closeAllWindows();
      QApplication::quit();
    });
}

}  // namespace

std::string formatReceiveStats(const ReceiveStats& s) {
  const std::pair<const char*, std::uint64_t> rows[] = {
      {"bytes_received", s.bytesReceived},
      {"frames_accepted", s.framesAccepted},
      {"frames_dispatched", s.framesDispatched},
      {"drop_bad_checksum", s.dropBadChecksum},
      {"drop_no_tail", s.dropNoTail},
      {"drop_bytes_before_head", s.dropBytesBeforeHead},
      {"drop_queue_full", s.dropQueueFull},
      {"drop_buffer_overflow", s.dropBufferOverflow},
  };
  std::string out;
  for (const auto& [key, value] : rows) out += std::string(key) + "=" + std::to_string(value) + "\n";
  return out;
}

int runOrloPc(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const CommandLineResult parsed = parseCommandLine(args);
  if (parsed.options.help) {
    std::cout << usageText();
    return 0;
  }
  if (parsed.options.version) {
    std::cout << versionText();
    return 0;
  }
  if (!parsed.ok) {
    std::cerr << "Orlo_PC: " << parsed.error << "\nTry 'Orlo_PC --help'.\n";
    return 2;
  }
  const CommandLine& options = parsed.options;
  std::string why;
  if (!openTrace(options.traceFile, &why)) {
    std::cerr << "Orlo_PC: cannot write " << options.traceFile << ": " << why << "\n";
    return 2;
  }

  QApplication qtApp(argc, argv);
  // Qt has just set every locale category from the environment. Under a decimal-comma locale
  // printf-style formatting would write "25,0" into the windows and extra columns into the
  // comma-separated log; numbers are always shown with a ".".
  std::setlocale(LC_NUMERIC, "C");
  QApplication::setApplicationName(QStringLiteral("Orlo_PC"));
  applyApplicationStyle();
  applyApplicationFont();
  quitOnSignals();
  if (!options.openLogs.empty()) return runLogViewer(options);

  MainWindowShellOptions appOptions;
  appOptions.ports = options.ports;
  appOptions.settingsFile = WindowMemory::defaultFile().toStdString();
  appOptions.reconnect = options.reconnect;
  Result<std::unique_ptr<MainWindowShell>> created = MainWindowShell::create(appOptions);
  if (!created) {
    std::cerr << "Orlo_PC: " << created.error() << "\n";
    return 1;
  }
  std::unique_ptr<MainWindowShell> app = std::move(created).value();
  TraceObserver traceObserver;
  if (g_trace) app->addReceiveObserver(&traceObserver);
  if (options.tab != 0) app->mainForm().setCurrentIndex(MainId::Tabs, options.tab);
  app->window()->show();
  QTimer::singleShot(0, app->window(), [&app, &options] {
    writeTraceLine("shown", 0, "");
    flushTrace();
    startSerial(*app, options);
  });
  scheduleTimedActions(*app, options);
  const int rc = QApplication::exec();
  if (options.stats) std::cout << formatReceiveStats(app->behaviour().receiver().stats()) << std::flush;
  app.reset();
  const bool traced = closeTrace();
  return rc == 0 && !traced ? 1 : rc;
}

}  // namespace orlo::ui
