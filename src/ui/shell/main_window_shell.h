#pragma once
// The Qt window around the main window's behaviour (MainWindow, which knows no Qt): the widgets
// of the window and its four tab pages, the serial port, the menus, the diagnostic windows and
// the About box, each wired to the behaviour. main() and the end-to-end tests both use it.

#include <QPointer>
#include <QRect>
#include <map>
#include <memory>
#include <string>

#include "app/main_window.h"
#include "app/receive_fan_out.h"
#include "io/qt_serial_control.h"
#include "ui/form/qt_form.h"
#include "util/clock.h"
#include "util/result.h"

class QMainWindow;
class QMenu;

namespace orlo::ui {

class Diagnostics;
class EventsAndMemory;
class ParametersMenu;
class StationWindow;

struct MainWindowShellOptions {
  std::map<int, std::string> ports;  // COMn -> device path, before the system's own ports
  std::string workingFolder;         // "" = the current directory
  std::string userFolder;            // "" = the desktop or home folder
  std::string dataFolder;            // snapshots and writes.csv; "" = $XDG_DATA_HOME/Orlo_PC
  // The screen area the window must fit in; empty = the available area of the screen it opens
  // on (none under the offscreen platform, whose screen is a stand-in nobody looks at).
  QRect availableArea;
  // Where the window's place, its open windows and "Reconnect Automatically" are remembered;
  // "" remembers nothing.
  std::string settingsFile;
  bool reconnect = true;  // false: no reconnecting in this run (--no-reconnect)
};

class MainWindowShell {
 public:
  // Builds everything and runs the window's start-up sequence; nullptr with a reason when a
  // layout table is broken.
  static Result<std::unique_ptr<MainWindowShell>> create(const MainWindowShellOptions& options);
  ~MainWindowShell();
  MainWindowShell(const MainWindowShell&) = delete;
  MainWindowShell& operator=(const MainWindowShell&) = delete;

  QMainWindow* window() const { return window_; }
  // The window's behaviour: what every click, tick and frame does.
  MainWindow& behaviour() { return *behaviour_; }
  QtSerialControl& serial() { return serial_; }
  QtForm& mainForm() { return *mainForm_; }
  // 0 BMS parameter, 1 balance test, 2 alarm parameter, 3 current calibration.
  QtForm& pageForm(int index) { return *pages_.at(index); }

  // Diagnostics that want to see the receive path (the receiver has one slot; this shares it).
  void addReceiveObserver(ReceiveObserver* observer) { fanOut_.add(observer); }

  // The "View" menu, created on first use, for diagnostic windows (Trends, Traffic).
  QMenu* viewMenu();
  ParametersMenu& parametersMenu() { return *parametersMenu_; }
  Diagnostics& diagnostics() { return *diagnostics_; }
  EventsAndMemory& eventsAndMemory() { return *eventsAndMemory_; }
  void showAbout();
  // Production > Station...: the station window on this window's port, made on first use.
  StationWindow* showStation();

 private:
  MainWindowShell() = default;
  Status build(const MainWindowShellOptions& options);
  void buildMenu();
  void fitInto(const QRect& available);

  SystemClock clock_;
  QtSerialControl serial_;
  std::unique_ptr<Diagnostics> diagnostics_;
  std::unique_ptr<QtForm> mainForm_;
  std::vector<std::unique_ptr<QtForm>> pages_;
  ReceiveFanOut fanOut_;
  std::unique_ptr<MainWindow> behaviour_;
  QPointer<QMainWindow> window_;
  QPointer<QMenu> viewMenu_;
  std::unique_ptr<ParametersMenu> parametersMenu_;
  std::unique_ptr<EventsAndMemory> eventsAndMemory_;
  QPointer<StationWindow> station_;
};

}  // namespace orlo::ui
