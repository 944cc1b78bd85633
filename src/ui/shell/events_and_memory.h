#pragma once
// What lets the window be left alone. The events: the Events window, the alarm in the window
// title and a desktop notice as a flag rises. The memory: the "Reconnect Automatically" choice
// and the windows put back where they were, open or not, at the last start.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "app/event_recorder.h"

class QAction;
class QMainWindow;
class QMenu;
class QSystemTrayIcon;

namespace orlo::ui {

class Diagnostics;
class EventsWindow;
class WindowMemory;

// What it shows the events in and remembers.
struct EventsAndMemoryParts {
  QMainWindow* window;                     // the main window: its title, menu bar and place
  QMenu* viewMenu;                         // takes "Events..."
  EventRecorder& events;                   // what the Events window lists
  std::function<void(bool)> setReconnect;  // "Reconnect Automatically" on or off
  Diagnostics& diagnostics;                // the Trends and Traffic windows
};

struct EventsAndMemoryOptions {
  std::string settingsFile;  // "" remembers nothing from one run to the next
  bool reconnect = true;     // false: off for this run whatever was remembered
};

class EventsAndMemory : public QObject, public EventListener {
 public:
  EventsAndMemory(EventsAndMemoryParts parts, const EventsAndMemoryOptions& options);
  // Keeps the windows' places and which were open.
  ~EventsAndMemory() override;

  void showEvents();
  EventsWindow* eventsWindow() const;
  QAction* reconnectAction() const { return reconnect_; }
  // Opens the windows that were open at the end of the last run (once the main window shows).
  void restoreWindows();

  void onEvent(const LoggedEvent& event) override;
  void onAlarmsChanged(const std::vector<std::string>& active, const std::string& raised) override;
  void onFileProblem(const std::string& problem) override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildMenus(bool reconnectOn);
  void notify(const std::string& alarm);
  void remember();
  // 0 Trends, 1 Traffic, 2 Events; -1 for any other object.
  int indexOf(const QObject* window) const;

  EventsAndMemoryParts parts_;
  std::unique_ptr<WindowMemory> memory_;
  QString caption_;
  QAction* reconnect_ = nullptr;
  QPointer<EventsWindow> eventsWindow_;
  QPointer<QSystemTrayIcon> tray_;
  // Our windows that are open now; a window counts as closed only when the user closes it, not
  // when the whole program ends.
  bool open_[3] = {false, false, false};
  QPointer<QWidget> windows_[3];
};

}  // namespace orlo::ui
