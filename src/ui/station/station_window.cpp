#include "ui/station/station_window.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSysInfo>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "app/main_window.h"
#include "core/station_values_text.h"
#include "ui/station/station_pdf.h"
#include "util/clock.h"

namespace orlo::ui {
namespace {

constexpr int kTickMs = 20;

QString text(const std::string& s) {
  return QString::fromStdString(s);
}

template <class W>
W* named(W* widget, const char* name) {
  widget->setAccessibleName(QString::fromUtf8(name));
  return widget;
}

// The first live frame after the port came back: the board is there.
class AnswerWatch : public FrameHandlers {
 public:
  explicit AnswerWatch(std::function<void()> answered) : answered_(std::move(answered)) {}
  void onLiveData(const LiveData&) override { answered_(); }
  void onAlarmParameters(const FrameView&) override {}
  void onSetAcknowledge() override {}
  void onBalanceCondition(const BalanceCondition&) override {}
  void onCalibrationResult(const CalibrationResult&) override {}
  void onOtherFrame(const LiveData&) override {}

 private:
  std::function<void()> answered_;
};

}  // namespace

StationWindow::StationWindow(MainWindow& main, QWidget* parent) : QDialog(parent), main_(main) {
  setWindowTitle(QStringLiteral("Station"));
  build();
  timer_ = new QTimer(this);
  connect(timer_, &QTimer::timeout, this, [this] { tick(); });
  answerWatch_ = std::make_unique<AnswerWatch>([this] { boardAnswered(); });
  main_.setPortBack([this] { portCameBack(); });
  showCounts();
}

StationWindow::~StationWindow() {
  main_.setPortBack(nullptr);
  stopBoard("the station window was closed");
  main_.setFrameTap(nullptr);
}

void StationWindow::build() {
  recipe_ = named(new QLineEdit, "Recipe file");
  auto* browse = named(new QPushButton(QStringLiteral("&Browse...")), "Choose the recipe file");
  connect(browse, &QPushButton::clicked, this, [this] { chooseRecipe(); });
  operator_ = named(new QLineEdit(text(qEnvironmentVariable("USER").toStdString())), "Operator");
  label_ = named(new QLineEdit, "Board label");
  connect(label_, &QLineEdit::returnPressed, this, [this] { startBoard(); });
  result_ = named(new QLabel(QStringLiteral("Ready")), "Board result");
  result_->setAlignment(Qt::AlignCenter);
  result_->setStyleSheet(QStringLiteral("font-size: 40pt; font-weight: bold;"));
  steps_ = named(new QTableWidget(static_cast<int>(kStationSteps.size()), 3), "Steps");
  steps_->setHorizontalHeaderLabels(
      {QStringLiteral("Step"), QStringLiteral("Result"), QStringLiteral("Values")});
  steps_->horizontalHeader()->setStretchLastSection(true);
  steps_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  steps_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
  steps_->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  steps_->verticalHeader()->hide();
  steps_->setWordWrap(true);
  steps_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  prompt_ = named(new QLabel, "Operator prompt");
  prompt_->setWordWrap(true);
  reading_ = named(new QLineEdit, "Meter reading in mA");
  reading_->setEnabled(false);
  connect(reading_, &QLineEdit::returnPressed, this, [this] {
    if (!board_) return;
    const std::string typed = reading_->text().toStdString();
    reading_->clear();
    reading_->setEnabled(false);
    board_->operatorReading(typed, monotonicMs());
  });
  counts_ = named(new QLabel, "Today's counts");
  report_ = named(new QLabel, "Last report");
  report_->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
  stop_ = named(new QPushButton(QStringLiteral("&Stop")), "Stop the board's test");
  stop_->setEnabled(false);
  connect(stop_, &QPushButton::clicked, this, [this] { stopBoard("stopped by the operator"); });

  // Enter belongs to the label and the reading, never to a button of the dialog.
  for (QPushButton* button : {browse, stop_}) button->setAutoDefault(false);
  auto* recipeRow = new QHBoxLayout;
  recipeRow->addWidget(recipe_);
  recipeRow->addWidget(browse);
  auto* form = new QFormLayout;
  auto* recipeLabel = new QLabel(QStringLiteral("&Recipe:"));
  recipeLabel->setBuddy(recipe_);
  form->addRow(recipeLabel, recipeRow);
  form->addRow(QStringLiteral("&Operator:"), operator_);
  form->addRow(QStringLiteral("&Label:"), label_);
  form->addRow(QStringLiteral("Prompt:"), prompt_);
  form->addRow(QStringLiteral("Rea&ding (mA):"), reading_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(result_);
  layout->addWidget(steps_);
  layout->addWidget(counts_);
  layout->addWidget(report_);
  layout->addWidget(stop_);
  for (std::size_t i = 0; i < kStationSteps.size(); ++i)
    steps_->setItem(static_cast<int>(i), 0, new QTableWidgetItem(stepName(kStationSteps[i])));
  resize(720, 560);
  label_->setFocus();
}

void StationWindow::chooseRecipe() {
  const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Recipe"), recipe_->text(),
                                                    QStringLiteral("Recipes (*.toml)"));
  if (!path.isEmpty()) recipe_->setText(path);
  label_->setFocus();
}

void StationWindow::showResult(const QString& shown, const QString& colour) {
  result_->setText(shown);
  result_->setStyleSheet(QStringLiteral("font-size: 40pt; font-weight: bold; color: %1;").arg(colour));
}

void StationWindow::startBoard() {
  if (board_) return;
  const RecipeLoad loaded = loadRecipe(recipe_->text().toStdString());
  if (!loaded.recipe) return showResult(text(loaded.error), QStringLiteral("darkred"));
  if (!main_.portOpen()) return showResult(QStringLiteral("Open the port first"), QStringLiteral("darkred"));
  lastLabel_ = label_->text().toStdString();
  recipeLoaded_ = std::make_unique<Recipe>(*loaded.recipe);
  record_ = std::make_unique<StationRecord>(recipeLoaded_->recordDir);
  StationSetup setup{QSysInfo::machineHostName().toStdString(),
                     operator_->text().toStdString(),
                     main_.portDevice(),
                     label_->text().toStdString(),
                     main_.parameterWorkflow().snapshots().folder(),
                     main_.writeRecordPath(),
                     writeStationPdf,
                     ".pdf"};
  board_ =
      std::make_unique<StationBoard>(main_.line(), *recipeLoaded_, std::move(setup), *this, *record_, clock_);
  main_.setFrameTap(board_.get(), [this](const std::string& reason) {
    if (board_) board_->onPortLost(reason);
  });
  showResult(QStringLiteral("Testing..."), QStringLiteral("black"));
  prompt_->clear();
  for (int row = 0; row < steps_->rowCount(); ++row) {
    steps_->setItem(row, 1, new QTableWidgetItem);
    steps_->setItem(row, 2, new QTableWidgetItem);
  }
  label_->setEnabled(false);
  stop_->setEnabled(true);
  board_->start(monotonicMs());
  timer_->start(kTickMs);
  if (board_ && board_->finished()) finishBoard();
}

// The main window opened the lost port again; the next board starts once it answers. A closed
// station window (kept hidden for the next time) starts nothing.
void StationWindow::portCameBack() {
  if (board_ || !isVisible() || recipe_->text().isEmpty()) return;
  main_.setFrameTap(answerWatch_.get(), [this](const std::string&) { main_.setFrameTap(nullptr); });
}

void StationWindow::boardAnswered() {
  main_.setFrameTap(nullptr);
  // Out of the frame's dispatch: starting the board puts its own tap on the line.
  QTimer::singleShot(0, this, [this] {
    if (board_) return;
    if (startsAtOnce(lastLabel_, label_->text().toStdString())) return startBoard();
    showResult(QStringLiteral("Label?"), QStringLiteral("black"));
    prompt_->setText(QStringLiteral("A board is connected: scan or type its label, then press Enter"));
    label_->selectAll();
    label_->setFocus();
  });
}

void StationWindow::tick() {
  if (!board_) return;
  board_->tick(monotonicMs());
  if (board_->finished()) finishBoard();
}

void StationWindow::askReading(const std::string& prompt) {
  prompt_->setText(text(prompt));
  reading_->setEnabled(true);
  reading_->setFocus();
}

void StationWindow::stepChanged(const StepReport&) {
  showSteps();
}

void StationWindow::showSteps() {
  if (!board_) return;
  const BoardReport& r = board_->report();
  for (std::size_t i = 0; i < kStationSteps.size(); ++i) {
    const StepReport* s = r.find(kStationSteps[i]);
    if (s == nullptr) continue;
    const int row = static_cast<int>(i);
    steps_->item(row, 1)->setText(s->result == StepResult::NotRun ? QString() : resultName(s->result));
    const std::string values = stepValuesText(*s);
    steps_->item(row, 2)->setText(text(s->message.empty() ? values : s->message + "\n" + values));
  }
}

void StationWindow::finishBoard() {
  timer_->stop();
  showSteps();
  main_.setFrameTap(nullptr);
  const BoardReport& r = board_->report();
  const bool passed = r.result == BoardResult::Pass;
  showResult(resultName(r.result), passed ? QStringLiteral("darkgreen") : QStringLiteral("darkred"));
  report_->setText(text(r.reportPath.empty() ? "record not written: " + r.error : r.reportPath));
  board_.reset();
  prompt_->clear();
  reading_->setEnabled(false);
  stop_->setEnabled(false);
  label_->setEnabled(true);
  label_->selectAll();
  label_->setFocus();
  showCounts();
}

void StationWindow::stopBoard(const std::string& why) {
  if (!board_) return;
  board_->stop(why);
  if (board_->finished()) finishBoard();
}

void StationWindow::showCounts() {
  if (!record_) return counts_->setText(QStringLiteral("Today: no board yet"));
  const StationRecord::Counts c = record_->countsOf(todayText(clock_.localNow()));
  counts_->setText(
      QStringLiteral("Today: %1 tested, %2 passed, %3 failed").arg(c.tested).arg(c.passed).arg(c.failed));
}

void StationWindow::closeEvent(QCloseEvent* event) {
  stopBoard("the station window was closed");
  event->accept();
}

void StationWindow::reject() {
  stopBoard("the station window was closed");
  QDialog::reject();
}

}  // namespace orlo::ui
