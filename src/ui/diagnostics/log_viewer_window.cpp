#include "ui/diagnostics/log_viewer_window.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSvgGenerator>
#include <QTimer>
#include <QVBoxLayout>

#include "core/loaded_log.h"
#include "core/log_event_marks.h"
#include "core/snapshot_store.h"
#include "ui/diagnostics/log_viewer_plot.h"
#include "ui/diagnostics/log_viewer_summary.h"
#include "ui/form/dialogs.h"

namespace orlo::ui {

struct LogViewerWindow::Job {
  QString path;
  int slot = 0;
  std::atomic<std::int64_t> done{0};
  std::atomic<std::int64_t> total{0};
  std::atomic<bool> cancel{false};
  std::atomic<bool> finished{false};
  std::optional<Result<LoadedLog>> result;
  std::thread thread;
};

LogViewerWindow::LogViewerWindow(QWidget* parent) : QMainWindow(parent) {
  setWindowTitle(QStringLiteral("Recorded Log"));
  setAcceptDrops(true);
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  plot_ = new LogViewerPlot(central);
  cursorLabel_ = new QLabel(central);
  cursorLabel_->setWordWrap(true);
  cursorLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  cursorLabel_->setAccessibleName(QStringLiteral("Values under the cursor line"));
  cursorLabel_->setFocusPolicy(Qt::TabFocus);
  layout->addWidget(plot_, 1);
  layout->addWidget(cursorLabel_);
  layout->addWidget(buildStatusRow());
  setCentralWidget(central);

  auto* dock = new QDockWidget(QStringLiteral("Summary"), this);
  dock->setObjectName(QStringLiteral("logSummary"));
  auto* panel = new QWidget(dock);
  auto* panelLayout = new QVBoxLayout(panel);
  summaryScope_ = new QComboBox(panel);
  summaryScope_->addItems({QStringLiteral("Range shown"), QStringLiteral("Whole log")});
  summaryScope_->setAccessibleName(QStringLiteral("Summary of"));
  summary_ = new QPlainTextEdit(panel);
  summary_->setReadOnly(true);
  summary_->setAccessibleName(QStringLiteral("Summary"));
  summary_->setMinimumWidth(300);
  panelLayout->addWidget(summaryScope_);
  panelLayout->addWidget(summary_, 1);
  dock->setWidget(panel);
  addDockWidget(Qt::RightDockWidgetArea, dock);

  poll_ = new QTimer(this);
  poll_->setInterval(100);
  connect(poll_, &QTimer::timeout, this, &LogViewerWindow::pollJob);
  summaryDelay_ = new QTimer(this);
  summaryDelay_->setSingleShot(true);
  summaryDelay_->setInterval(200);
  connect(summaryDelay_, &QTimer::timeout, this, &LogViewerWindow::refreshSummary);
  follow_ = new QTimer(this);
  follow_->setInterval(1000);
  connect(follow_, &QTimer::timeout, this, &LogViewerWindow::follow);
  connect(plot_, &LogViewerPlot::viewChanged, summaryDelay_, qOverload<>(&QTimer::start));
  connect(summaryScope_, qOverload<int>(&QComboBox::currentIndexChanged), this,
          &LogViewerWindow::refreshSummary);
  connect(plot_, &LogViewerPlot::cursorMoved, this, [this] { cursorLabel_->setText(plot_->cursorText()); });
  buildMenus();
  resize(1200, 800);
}

LogViewerWindow::~LogViewerWindow() {
  cancelLoading();
}

QWidget* LogViewerWindow::buildStatusRow() {
  auto* row = new QWidget(this);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  datesLabel_ = new QLabel(QStringLiteral("Open a data log with File > Open Log... or drop it here."), row);
  datesLabel_->setAccessibleName(QStringLiteral("Where the dates come from"));
  progress_ = new QProgressBar(row);
  progress_->setAccessibleName(QStringLiteral("Reading the log"));
  progress_->setRange(0, 1000);
  progress_->setVisible(false);
  cancel_ = new QPushButton(QStringLiteral("&Cancel"), row);
  cancel_->setAccessibleName(QStringLiteral("Cancel reading the log"));
  cancel_->setVisible(false);
  connect(cancel_, &QPushButton::clicked, this, &LogViewerWindow::cancelLoading);
  layout->addWidget(datesLabel_, 1);
  layout->addWidget(progress_);
  layout->addWidget(cancel_);
  return row;
}

void LogViewerWindow::buildMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  file->addAction(QStringLiteral("&Open Log..."), QKeySequence::Open, this, [this] { askOpen(false); });
  file->addAction(QStringLiteral("&Compare With Log..."), this, [this] { askOpen(true); });
  file->addAction(QStringLiteral("Set First Row's &Date..."), this, [this] { askFirstDate(); });
  file->addSeparator();
  file->addAction(QStringLiteral("Export &PNG..."), this, [this] { askExport(QStringLiteral("png")); });
  file->addAction(QStringLiteral("Export &SVG..."), this, [this] { askExport(QStringLiteral("svg")); });
  file->addAction(QStringLiteral("Export CS&V..."), this, [this] { askExport(QStringLiteral("csv")); });
  file->addSeparator();
  file->addAction(QStringLiteral("&Close"), QKeySequence::Close, this, &QWidget::close);

  QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
  view->addAction(QStringLiteral("Zoom &In"), QKeySequence::ZoomIn, this, [this] { plot_->zoom(0.8); });
  view->addAction(QStringLiteral("Zoom &Out"), QKeySequence::ZoomOut, this, [this] { plot_->zoom(1.25); });
  view->addAction(QStringLiteral("&Reset Zoom"), QKeySequence(Qt::CTRL | Qt::Key_0), this,
                  [this] { plot_->resetView(); });
  QAction* following = view->addAction(QStringLiteral("&Follow the Log as It Grows"));
  following->setCheckable(true);
  connect(following, &QAction::toggled, this, &LogViewerWindow::setFollowing);
  view->addSeparator();
  auto* align = new QActionGroup(this);
  QAction* byClock = view->addAction(QStringLiteral("Align Second Log by &Clock Time"));
  QAction* byStart = view->addAction(QStringLiteral("Align Second Log by &Start"));
  for (QAction* a : {byClock, byStart}) {
    a->setCheckable(true);
    align->addAction(a);
  }
  byClock->setChecked(true);
  connect(byStart, &QAction::toggled, this, [this](bool on) {
    alignByStart_ = on;
    showLogs();
  });
}

void LogViewerWindow::openLogs(const QStringList& paths) {
  cancelLoading();
  queue_ = paths.mid(0, 2);
  queueSlot_ = 0;
  logs_[0].reset();
  logs_[1].reset();
  showLogs();
  startNext();
}

void LogViewerWindow::askOpen(bool second) {
  if (second && !logs_[0]) return askOpen(false);
  const std::optional<std::string> chosen =
      askFile(this, false, {"Data logs (*.csv)|*.csv|All files (*)|*||", "", "", false});
  if (!chosen) return;
  const QString path = QString::fromStdString(*chosen);
  if (!second) return openLogs({path});
  cancelLoading();
  queue_ = {path};
  queueSlot_ = 1;
  startNext();
}

void LogViewerWindow::askFirstDate() {
  bool ok = false;
  const QString text =
      QInputDialog::getText(this, QStringLiteral("First Row's Date"),
                            QStringLiteral("Date of the first row (YYYY-MM-DD; empty: from the "
                                           "file's modification date):"),
                            QLineEdit::Normal, QString(), &ok);
  if (!ok) return;
  const std::optional<CivilSeconds> day = parseDate(text.trimmed().toStdString());
  if (!text.trimmed().isEmpty() && !day) {
    showMessageBox(this, "'" + text.toStdString() + "' is no date YYYY-MM-DD.", windowTitle().toStdString());
    return;
  }
  firstDay_ = day;
  QStringList paths;
  for (const auto& log : logs_)
    if (log) paths << QString::fromStdString(log->path);
  if (!paths.isEmpty()) openLogs(paths);
}

void LogViewerWindow::startNext() {
  if (queue_.isEmpty()) return;
  job_ = std::make_unique<Job>();
  job_->path = queue_.takeFirst();
  job_->slot = queueSlot_++;
  Job* job = job_.get();
  const std::string path = job->path.toStdString();
  const std::optional<CivilSeconds> day = firstDay_;
  job->thread = std::thread([this, job, path, day] {
    job->result.emplace(loadLog(path, day, &job->done, &job->total, &job->cancel));
    job->finished.store(true);
    // Shown at once rather than at the next poll; the window outlives the thread (joined first).
    QMetaObject::invokeMethod(this, &LogViewerWindow::pollJob, Qt::QueuedConnection);
  });
  progress_->setValue(0);
  progress_->setVisible(true);
  cancel_->setVisible(true);
  datesLabel_->setText(QStringLiteral("Reading %1 ...").arg(QFileInfo(job->path).fileName()));
  poll_->start();
}

void LogViewerWindow::pollJob() {
  if (!job_) return;
  const std::int64_t total = job_->total.load();
  if (total > 0) progress_->setValue(static_cast<int>(job_->done.load() * 1000 / total));
  if (job_->finished.load()) finishJob();
}

void LogViewerWindow::cancelLoading() {
  if (!job_) return;
  job_->cancel.store(true);
  job_->thread.join();
  job_.reset();
  queue_.clear();
  poll_->stop();
  progress_->setVisible(false);
  cancel_->setVisible(false);
  datesLabel_->setText(QStringLiteral("Reading cancelled."));
}

void LogViewerWindow::finishJob() {
  job_->thread.join();
  std::unique_ptr<Job> job = std::move(job_);
  poll_->stop();
  progress_->setVisible(false);
  cancel_->setVisible(false);
  Result<LoadedLog>& result = *job->result;
  if (!result) {
    queue_.clear();
    datesLabel_->setText(QString::fromStdString(result.error()));
    showMessageBox(this, result.error(), windowTitle().toStdString());
    emit loadFinished(QString::fromStdString(result.error()));
    return;
  }
  logs_[job->slot] = std::make_unique<LoadedLog>(std::move(result).value());
  if (!queue_.isEmpty()) return startNext();
  showLogs();
  emit loadFinished(QString());
}

void LogViewerWindow::showLogs() {
  const LoadedLog* first = logs_[0].get();
  const LoadedLog* second = logs_[1].get();
  CivilSeconds shift = 0;
  if (first && second && alignByStart_ && !first->series.empty() && !second->series.empty())
    shift = first->at(0) - second->at(0);
  plot_->setLogs(first, second, shift);
  if (!first) return;
  setWindowTitle(
      QStringLiteral("Recorded Log - %1").arg(QFileInfo(QString::fromStdString(first->path)).fileName()));
  datesLabel_->setText(datesNote(*first, second));
  if (!first->series.empty()) {
    const CivilSeconds from = first->at(0), to = first->at(first->series.size() - 1);
    plot_->setEvents(readEventMarks(orloDataFolder(), from, to));
  }
  refreshSummary();
}

void LogViewerWindow::setFollowing(bool on) {
  on ? follow_->start() : follow_->stop();
}

void LogViewerWindow::follow() {
  LoadedLog* log = logs_[0].get();
  if (!log || job_) return;
  const double end = log->series.empty() ? 0 : static_cast<double>(log->at(log->series.size() - 1) + 1);
  const bool atEnd = plot_->viewTo() >= end;
  const Result<std::size_t> added = followLog(*log);
  if (!added) {
    follow_->stop();
    datesLabel_->setText(QString::fromStdString(added.error()));
    showMessageBox(this, added.error() + "\nFollowing stopped.", windowTitle().toStdString());
    return;
  }
  if (*added == 0) return;
  const double span = plot_->viewTo() - plot_->viewFrom();
  const double last = static_cast<double>(log->at(log->series.size() - 1) + 1);
  if (atEnd)
    plot_->setView(last - span, last);
  else
    plot_->update();
  datesLabel_->setText(datesNote(*log, logs_[1].get()));
}

void LogViewerWindow::refreshSummary() {
  summary_->setPlainText(summaryText());
}

QString LogViewerWindow::summaryText() const {
  const LoadedLog* log = logs_[0].get();
  if (!log) return QString();
  const bool whole = summaryScope_->currentIndex() == 1;
  const LogSummary s = whole ? log->summary
                             : summarizeRange(*log, static_cast<CivilSeconds>(plot_->viewFrom()),
                                              static_cast<CivilSeconds>(plot_->viewTo()));
  QString text =
      describeSummary(s, log->firstDay, whole ? QStringLiteral("Whole log") : QStringLiteral("Range shown"));
  if (const LoadedLog* second = logs_[1].get())
    text += "\n" + describeSummary(second->summary, second->firstDay, QStringLiteral("Second log, whole"));
  return text;
}

QString LogViewerWindow::exportPng(const QString& path) {
  return plot_->grab().save(path, "PNG") ? QString() : QStringLiteral("cannot write %1").arg(path);
}

QString LogViewerWindow::exportSvg(const QString& path) {
  QSvgGenerator svg;
  svg.setFileName(path);
  svg.setSize(plot_->size());
  svg.setViewBox(plot_->rect());
  svg.setTitle(windowTitle());
  QPainter painter;
  if (!painter.begin(&svg)) return QStringLiteral("cannot write %1").arg(path);
  plot_->render(&painter);
  painter.end();
  return QFileInfo(path).size() > 0 ? QString() : QStringLiteral("cannot write %1").arg(path);
}

QString LogViewerWindow::exportCsv(const QString& path) const {
  if (!logs_[0]) return QStringLiteral("no log is open");
  const Status written = writeRangeCsv(*logs_[0], static_cast<CivilSeconds>(plot_->viewFrom()),
                                       static_cast<CivilSeconds>(plot_->viewTo()), path.toStdString());
  return written ? QString() : QString::fromStdString(written.error());
}

void LogViewerWindow::askExport(const QString& kind) {
  if (!logs_[0]) return;
  const std::string upper = kind.toUpper().toStdString(), lower = kind.toStdString();
  const std::optional<std::string> chosen =
      askFile(this, true, {upper + " (*." + lower + ")|*." + lower + "||", "", "shown." + lower, true});
  if (!chosen) return;
  const QString path = QString::fromStdString(*chosen);
  const QString error = kind == "png" ? exportPng(path) : kind == "svg" ? exportSvg(path) : exportCsv(path);
  if (!error.isEmpty()) showMessageBox(this, error.toStdString(), windowTitle().toStdString());
}

QStringList LogViewerWindow::droppedFiles(const QMimeData* data) {
  QStringList paths;
  for (const QUrl& url : data->urls())
    if (url.isLocalFile()) paths << url.toLocalFile();
  return paths;
}

void LogViewerWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!droppedFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void LogViewerWindow::dropEvent(QDropEvent* event) {
  const QStringList paths = droppedFiles(event->mimeData());
  if (paths.isEmpty()) return;
  event->acceptProposedAction();
  // Ctrl adds the one file dropped as the log compared with the open one.
  if (paths.size() == 1 && logs_[0] && (event->modifiers() & Qt::ControlModifier)) {
    cancelLoading();
    queue_ = paths;
    queueSlot_ = 1;
    return startNext();
  }
  openLogs(paths);
}

void LogViewerWindow::closeEvent(QCloseEvent* event) {
  cancelLoading();
  QMainWindow::closeEvent(event);
}

void showLogViewer(QWidget* owner, const QStringList& paths) {
  auto* window = new LogViewerWindow(owner);
  window->setWindowFlag(Qt::Window);
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->show();
  if (!paths.isEmpty()) window->openLogs(paths);
}

}  // namespace orlo::ui
