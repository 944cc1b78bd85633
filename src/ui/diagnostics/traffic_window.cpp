#include "ui/diagnostics/traffic_window.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <sstream>

#include "ui/diagnostics/log_table.h"
#include "ui/diagnostics/traffic_model.h"
#include "ui/form/accessibility.h"
#include "ui/form/dialogs.h"
#include "ui/form/save_file.h"

namespace orlo::ui {

namespace {

using VC = TrafficFilter::VerdictClass;
const std::pair<const char*, VC> kVerdictChoices[] = {
    {"All verdicts", VC::Any}, {"Sent", VC::Sent}, {"Dispatched", VC::Dispatched}, {"Dropped", VC::Dropped}};

}  // namespace

TrafficWindow::TrafficWindow(TrafficLog& log, QWidget* parent)
    : QWidget(parent), log_(log), model_(new TrafficModel(log, this)) {
  setWindowFlag(Qt::Window);
  setWindowTitle("Traffic");
  auto* layout = new QVBoxLayout(this);
  counters_ = new QLabel(this);
  counters_->setWordWrap(true);
  counters_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(counters_);
  layout->addWidget(buildControls());
  table_ = newLogTable(model_, QStringLiteral("Traffic frames"), this);
  const int widths[] = {80, 70, 170, 55, 470};
  for (int c = 0; c < 5; ++c) table_->setColumnWidth(c, widths[c]);
  layout->addWidget(table_, 1);
  resize(1240, 600);
  closeOnEscape(this);
  timer_ = new QTimer(this);
  timer_->setInterval(kRefreshIntervalMs);
  connect(timer_, &QTimer::timeout, this, &TrafficWindow::refresh);
  refresh();
}

QWidget* TrafficWindow::buildControls() {
  auto* bar = new QWidget(this);
  auto* row = new QHBoxLayout(bar);
  row->setContentsMargins(0, 0, 0, 0);
  direction_ = new QComboBox(bar);
  direction_->addItems({"All directions", "Sent", "Received"});
  nameComboBox(direction_, QStringLiteral("Show direction"));
  command_ = new QComboBox(bar);
  command_->addItem("All commands");
  nameComboBox(command_, QStringLiteral("Show command"));
  for (const std::string& name : knownCommandNames()) command_->addItem(QString::fromStdString(name));
  verdict_ = new QComboBox(bar);
  for (const auto& choice : kVerdictChoices) verdict_->addItem(choice.first);
  nameComboBox(verdict_, QStringLiteral("Show verdict"));
  for (QComboBox* box : {direction_, command_, verdict_}) {
    connect(box, &QComboBox::currentIndexChanged, this, &TrafficWindow::filtersChanged);
    row->addWidget(box);
  }
  row->addStretch(1);
  pause_ = new QPushButton("Pause", bar);
  pause_->setCheckable(true);
  connect(pause_, &QPushButton::toggled, this, &TrafficWindow::setPaused);
  auto* clear = new QPushButton("Clear", bar);
  connect(clear, &QPushButton::clicked, this, [this] {
    log_.clearRows();
    model_->rebuild();
  });
  auto* save = new QPushButton("Save...", bar);
  connect(save, &QPushButton::clicked, this, &TrafficWindow::askSave);
  for (QPushButton* b : {pause_, clear, save}) row->addWidget(b);
  return bar;
}

TrafficFilter TrafficWindow::filter() const {
  TrafficFilter f;
  if (direction_->currentIndex() == 1) f.direction = TrafficDirection::Sent;
  if (direction_->currentIndex() == 2) f.direction = TrafficDirection::Received;
  if (command_->currentIndex() > 0) f.command = command_->currentText().toStdString();
  const int v = verdict_->currentIndex();
  if (v >= 0 && v < static_cast<int>(std::size(kVerdictChoices))) f.verdict = kVerdictChoices[v].second;
  return f;
}

void TrafficWindow::setFilter(const TrafficFilter& f) {
  {
    const QSignalBlocker a(direction_), b(command_), c(verdict_);
    direction_->setCurrentIndex(!f.direction ? 0 : *f.direction == TrafficDirection::Sent ? 1 : 2);
    const int cmd = f.command.empty() ? 0 : command_->findText(QString::fromStdString(f.command));
    command_->setCurrentIndex(cmd < 0 ? 0 : cmd);
    for (int i = 0; i < static_cast<int>(std::size(kVerdictChoices)); ++i)
      if (kVerdictChoices[i].second == f.verdict) verdict_->setCurrentIndex(i);
  }
  filtersChanged();
}

void TrafficWindow::filtersChanged() {
  model_->setFilter(filter());
}

void TrafficWindow::setPaused(bool paused) {
  log_.setPaused(paused);
  const QSignalBlocker quiet(pause_);
  pause_->setChecked(paused);
  pause_->setText(paused ? "Resume" : "Pause");
}

QString TrafficWindow::countersLine() const {
  return QString::fromStdString(countersText(log_.counters(), log_.lastValidFrameAgeMs()));
}

void TrafficWindow::refresh() {
  counters_->setText(countersLine());
  QScrollBar* bar = table_->verticalScrollBar();
  const bool following = bar->value() == bar->maximum();
  model_->refresh();
  if (following) table_->scrollToBottom();
}

void TrafficWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  refresh();
  timer_->start();
}

void TrafficWindow::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  timer_->stop();
}

QString TrafficWindow::saveText(const QString& path) const {
  std::ostringstream text;
  log_.writeText(text, filter());
  return writeWholeFile(path, text.str());
}

void TrafficWindow::askSave() {
  const auto path = askSavePath(this, "Text file (*.txt;)|*.txt;||", "traffic.txt");
  if (!path) return;
  const QString error = saveText(*path);
  if (!error.isEmpty()) showMessageBox(this, error.toStdString(), "Traffic");
}

}  // namespace orlo::ui
