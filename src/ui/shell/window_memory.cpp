#include "ui/shell/window_memory.h"

#include <QStandardPaths>
#include <QWidget>

namespace orlo::ui {

WindowMemory::WindowMemory(const QString& settingsFile) : settings_(settingsFile, QSettings::IniFormat) {}

QString WindowMemory::defaultFile() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/Orlo_PC/Orlo_PC.conf";
}

bool WindowMemory::reconnect() const {
  return settings_.value("serial/reconnect", true).toBool();
}

void WindowMemory::setReconnect(bool on) {
  settings_.setValue("serial/reconnect", on);
  settings_.sync();
}

void WindowMemory::saveWindow(const QString& key, const QWidget* window, bool open) {
  if (window) settings_.setValue("windows/" + key + "/geometry", window->saveGeometry());
  settings_.setValue("windows/" + key + "/open", open);
}

bool WindowMemory::restoreGeometry(const QString& key, QWidget& window) const {
  const QByteArray geometry = settings_.value("windows/" + key + "/geometry").toByteArray();
  return !geometry.isEmpty() && window.restoreGeometry(geometry);
}

bool WindowMemory::wasOpen(const QString& key) const {
  return settings_.value("windows/" + key + "/open", false).toBool();
}

}  // namespace orlo::ui
