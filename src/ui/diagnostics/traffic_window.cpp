#include "ui/diagnostics/traffic_window.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <sstream>

#include "ui/diagnostics/log_cell_delegate.h"
#include "ui/diagnostics/log_table.h"
#include "ui/diagnostics/tail_table.h"
#include "ui/diagnostics/traffic_model.h"
#include "ui/diagnostics/wrapped_text.h"
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
  layout->addWidget(buildCounters());
  layout->addWidget(buildControls());
  table_ = new TailTable(this);
  setUpLogTable(table_, model_, QStringLiteral("Traffic frames"));
  const int widths[] = {80, 70, 170, 55, 470};
  for (int c = 0; c < 5; ++c) table_->setColumnWidth(c, widths[c]);
  LogCellDelegate::setUp(table_);
  layout->addWidget(table_, 1);
  resize(1240, 600);
  closeOnEscape(this);
  refresh();
}

// The counters change a frame at a time, the age of the last frame at every refresh: each has
// a widget that repaints itself without laying out the window again (the counters wrap when the
// window is narrow, and ask for a layout only when that adds or removes a line).
QWidget* TrafficWindow::buildCounters() {
  auto* box = new QWidget(this);
  auto* row = new QHBoxLayout(box);
  row->setContentsMargins(0, 0, 0, 0);
  counters_ = new WrappedText(box);
  row->addWidget(counters_, 1);
  age_ = new QLabel(box);
  age_->setAlignment(Qt::AlignRight | Qt::AlignTop);
  // A label of fixed size asks for no layout when its text changes.
  age_->setFixedSize(
      age_->fontMetrics().horizontalAdvance(QStringLiteral("Last valid frame: 9999999.9 s ago")),
      age_->fontMetrics().height());
  row->addWidget(age_, 0, Qt::AlignTop);
  return box;
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
  const QString line = countersLine();
  const auto cut = line.lastIndexOf(QStringLiteral("   Last valid frame: "));
  counters_->setText(cut < 0 ? line : line.left(cut));
  age_->setText(cut < 0 ? QString() : line.mid(cut + 3));
  table_->applyTailChange([this] { return model_->refresh(); });
}

void TrafficWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  refresh();
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
