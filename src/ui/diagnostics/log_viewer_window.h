#pragma once
// A recorded data log in the charts (LogViewerPlot): opened from File > Open Log..., by dropping
// files on the window, or with `Orlo_PC --open-log FILE [FILE]`; a second log overlaid to
// compare two runs, aligned by clock time or by their starts; the summary of the whole log or
// of the range shown; the events of the same days as marks; the range shown exported as PNG,
// SVG or CSV. A log is read on a thread of its own behind a progress bar that can cancel it.

#include <QMainWindow>
#include <QStringList>
#include <atomic>
#include <memory>
#include <optional>
#include <thread>

#include "core/log_dates.h"

namespace orlo {
struct LoadedLog;  // core/loaded_log.h, kept out of this header: its Status clashes with moc's view ids
}

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class QActionGroup;
class QMimeData;

namespace orlo::ui {

class LogViewerPlot;

class LogViewerWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit LogViewerWindow(QWidget* parent = nullptr);
  ~LogViewerWindow() override;

  // Reads the first path as the log and the second (if any) as the one compared with it.
  void openLogs(const QStringList& paths);
  // Whether a drop carries local files, and the files it carries.
  static QStringList droppedFiles(const QMimeData* data);
  bool loading() const { return job_ != nullptr; }
  void cancelLoading();

  LogViewerPlot* plot() const { return plot_; }
  const LoadedLog* log(int index) const { return logs_[index].get(); }
  QString summaryText() const;
  // Each returns "" or the reason the file could not be written.
  QString exportPng(const QString& path);
  QString exportSvg(const QString& path);
  QString exportCsv(const QString& path) const;
  // Following the first log as it grows; one step of it (what the timer does each second).
  void setFollowing(bool on);
  void followNow() { follow(); }

 signals:
  void loadFinished(const QString& error);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  struct Job;
  void buildMenus();
  QWidget* buildStatusRow();
  void startNext();
  void pollJob();
  void finishJob();
  void showLogs();
  void refreshSummary();
  void askOpen(bool second);
  void askExport(const QString& kind);
  void askFirstDate();
  void follow();

  std::unique_ptr<LoadedLog> logs_[2];
  std::unique_ptr<Job> job_;
  QStringList queue_;  // paths still to read; the first goes to slot queueSlot_
  int queueSlot_ = 0;
  std::optional<CivilSeconds> firstDay_;
  bool alignByStart_ = false;

  LogViewerPlot* plot_ = nullptr;
  QLabel* cursorLabel_ = nullptr;
  QLabel* datesLabel_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QComboBox* summaryScope_ = nullptr;
  QPlainTextEdit* summary_ = nullptr;
  QTimer* poll_ = nullptr;
  QTimer* summaryDelay_ = nullptr;
  QTimer* follow_ = nullptr;  // reads what was added to the log, once a second while on
};

// A new recorded log window of its own (closed with its owner), reading `paths` if any; without
// them it says how to open one.
void showLogViewer(QWidget* owner, const QStringList& paths);

}  // namespace orlo::ui
