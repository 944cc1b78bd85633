#pragma once
// What the window remembers from one run to the next, in a settings file: its place on the
// screen, which of its own windows (Trends, Traffic, Events) were open and where, and the
// "Reconnect Automatically" choice. The controls of the main window are not remembered: they
// start as they always do (COM1, no log path, box unchecked).

#include <QByteArray>
#include <QSettings>
#include <QString>

class QWidget;

namespace orlo::ui {

class WindowMemory {
 public:
  // `settingsFile`: an INI file; it need not exist yet.
  explicit WindowMemory(const QString& settingsFile);

  // The settings file of a normal run: $XDG_CONFIG_HOME/Orlo_PC/Orlo_PC.conf.
  static QString defaultFile();

  bool reconnect() const;  // on unless switched off before
  void setReconnect(bool on);

  // `key`: "main", "trends", "traffic", "events".
  // `window` null: not made in this run, so not open; its last place stays.
  void saveWindow(const QString& key, const QWidget* window, bool open);
  // Puts `window` where it was; false when nothing was kept for it.
  bool restoreGeometry(const QString& key, QWidget& window) const;
  bool wasOpen(const QString& key) const;

  void sync() { settings_.sync(); }

 private:
  mutable QSettings settings_;
};

}  // namespace orlo::ui
