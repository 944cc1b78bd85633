#include "ui/shell/events_and_memory.h"

#include <QAction>
#include <QChildEvent>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSystemTrayIcon>
#include <QTimer>
#include <iostream>
#include <utility>

#include "ui/diagnostics/diagnostics.h"
#include "ui/diagnostics/events_window.h"
#include "ui/diagnostics/traffic_window.h"
#include "ui/diagnostics/trends_window.h"
#include "ui/shell/window_memory.h"

namespace orlo::ui {
namespace {

const char* const kWindowKeys[] = {"trends", "traffic", "events"};
constexpr int kWindowCount = 3;
constexpr int kEvents = 2;

}  // namespace

EventsAndMemory::EventsAndMemory(EventsAndMemoryParts parts, const EventsAndMemoryOptions& options)
    : parts_(std::move(parts)), caption_(parts_.window->windowTitle()) {
  if (!options.settingsFile.empty())
    memory_ = std::make_unique<WindowMemory>(QString::fromStdString(options.settingsFile));
  const bool reconnectOn = options.reconnect && (!memory_ || memory_->reconnect());
  parts_.setReconnect(reconnectOn);
  buildMenus(reconnectOn);
  parts_.events.setListener(this);
  // Trends and Traffic are made by the diagnostics on first use; each announces itself to its
  // parent, the main window, when it is first shown.
  parts_.window->installEventFilter(this);
  if (memory_) memory_->restoreGeometry("main", *parts_.window);
}

EventsAndMemory::~EventsAndMemory() {
  parts_.events.setListener(nullptr);
  if (memory_) remember();
  delete eventsWindow_.data();
  delete tray_.data();
}

void EventsAndMemory::buildMenus(bool reconnectOn) {
  parts_.viewMenu->addAction(QStringLiteral("&Events..."), this, [this] { showEvents(); });
  QMenuBar* bar = parts_.window->menuBar();
  auto* port = new QMenu(QStringLiteral("P&ort"), bar);
  bar->insertMenu(bar->actions().value(0), port);
  reconnect_ = port->addAction(QStringLiteral("Reconnect Automatically"));
  reconnect_->setCheckable(true);
  reconnect_->setChecked(reconnectOn);
  // Only the user's own choice is remembered: --no-reconnect is for one run.
  connect(reconnect_, &QAction::triggered, this, [this](bool on) {
    parts_.setReconnect(on);
    if (memory_) memory_->setReconnect(on);
  });
}

EventsWindow* EventsAndMemory::eventsWindow() const {
  return eventsWindow_.data();
}

void EventsAndMemory::showEvents() {
  if (!eventsWindow_) {
    eventsWindow_ = new EventsWindow(parts_.events, parts_.window);
    eventsWindow_->installEventFilter(this);
    windows_[kEvents] = eventsWindow_.data();
    if (memory_) memory_->restoreGeometry(kWindowKeys[kEvents], *eventsWindow_);
  }
  eventsWindow_->show();
  eventsWindow_->raise();
  eventsWindow_->activateWindow();
}

void EventsAndMemory::restoreWindows() {
  if (!memory_) return;
  if (memory_->wasOpen("trends")) {
    memory_->restoreGeometry("trends", *parts_.diagnostics.trendsWindow());
    parts_.diagnostics.showTrends();
  }
  if (memory_->wasOpen("traffic")) {
    memory_->restoreGeometry("traffic", *parts_.diagnostics.trafficWindow());
    parts_.diagnostics.showTraffic();
  }
  if (memory_->wasOpen("events")) showEvents();
  parts_.window->activateWindow();
}

int EventsAndMemory::indexOf(const QObject* window) const {
  if (dynamic_cast<const TrendsWindow*>(window)) return 0;
  if (dynamic_cast<const TrafficWindow*>(window)) return 1;
  if (dynamic_cast<const EventsWindow*>(window)) return kEvents;
  return -1;
}

bool EventsAndMemory::eventFilter(QObject* watched, QEvent* event) {
  if (watched == parts_.window) {
    if (event->type() == QEvent::ChildPolished) {
      QObject* child = static_cast<QChildEvent*>(event)->child();
      const int index = indexOf(child);
      if (index >= 0 && windows_[index] != child) {
        windows_[index] = static_cast<QWidget*>(child);
        child->installEventFilter(this);
      }
    }
    return false;
  }
  const int index = indexOf(watched);
  if (index < 0) return false;
  if (event->type() == QEvent::Show) open_[index] = true;
  // Closed by the user, unless the program is ending: closing every window at the end (a
  // signal, --quit-after) closes the main window in the same pass, before the loop runs again.
  if (event->type() == QEvent::Close)
    QTimer::singleShot(0, this, [this, index] {
      if (parts_.window->isVisible()) open_[index] = false;
    });
  return false;
}

void EventsAndMemory::remember() {
  memory_->saveWindow("main", parts_.window, true);
  for (int i = 0; i < kWindowCount; ++i) memory_->saveWindow(kWindowKeys[i], windows_[i].data(), open_[i]);
  memory_->sync();
}

// ---- events --------------------------------------------------------------------------------

void EventsAndMemory::onEvent(const LoggedEvent& event) {
  if (!eventsWindow_) return;
  eventsWindow_->append(event);
  eventsWindow_->updateStatus();
}

void EventsAndMemory::onAlarmsChanged(const std::vector<std::string>& active, const std::string& raised) {
  parts_.window->setWindowTitle(QString::fromStdString(alarmWindowTitle(caption_.toStdString(), active)));
  if (!raised.empty()) notify(raised);
}

// Only where the desktop has a tray to show it; elsewhere the title has to do.
void EventsAndMemory::notify(const std::string& alarm) {
  if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
  if (!tray_) {
    tray_ = new QSystemTrayIcon(parts_.window->windowIcon());
    tray_->setToolTip(QStringLiteral("Orlo_PC"));
    tray_->show();
  }
  tray_->showMessage(QStringLiteral("Orlo_PC"), QString::fromStdString("Alarm: " + alarm),
                     QSystemTrayIcon::Warning);
}

void EventsAndMemory::onFileProblem(const std::string& problem) {
  std::cerr << "Orlo_PC: events are not being saved: " << problem << "\n";
  if (eventsWindow_) eventsWindow_->updateStatus();
}

}  // namespace orlo::ui
