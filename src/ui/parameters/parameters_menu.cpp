#include "ui/parameters/parameters_menu.h"

#include <QMenu>
#include <QTimer>
#include <utility>

#include "core/alarm_parameter_file.h"
#include "core/parameter_file_check.h"
#include "core/parameter_review.h"
#include "core/snapshot_store.h"
#include "pages/alarm_parameter_page.h"
#include "ui/form/dialogs.h"
#include "ui/parameters/review_dialog.h"
#include "ui/parameters/snapshots_dialog.h"
#include "util/platform.h"
#include "view/alarm_parameter_ids.h"

namespace orlo::ui {
ParametersMenu::ParametersMenu(ParametersMenuParts parts) : parts_(std::move(parts)) {
  menu_ = new QMenu(QStringLiteral("&Parameters"), parts_.window);
  menu_->addAction(QStringLiteral("&Write with Review..."), this, [this] { writeBoxesWithReview(); });
  menu_->addAction(QStringLiteral("Write &File with Review..."), this, [this] { writeFileWithReview(); });
  menu_->addAction(QStringLiteral("S&napshots..."), this, [this] { showSnapshots(); });
  menu_->addSeparator();
  menu_->addAction(QStringLiteral("&Save Board Parameters..."), this, [this] { saveBoardParameters(); });
  menu_->addAction(QStringLiteral("&Load File into Boxes..."), this, [this] { loadFileIntoBoxes(); });
  menu_->addAction(QStringLiteral("&Compare File with Board..."), this, [this] { compareFileWithBoard(); });
}

ParametersMenu::~ParametersMenu() = default;

void ParametersMenu::message(const std::string& text) {
  showMessageBox(parts_.window, text, "");
}

// A closed port or a running operation is said at once; nothing goes onto the line.
bool ParametersMenu::mayStart() {
  if (!parts_.behaviour.portOpen()) {
    message("The serial port is not open: choose the port and press \"Start Up\" first. Nothing was sent.");
    return false;
  }
  if (parts_.behaviour.parametersBusy()) {
    message("A read or write of the protection parameters is still running. Try again when it has finished.");
    return false;
  }
  return true;
}

// The session answers from within a frame tick; what follows (dialogs, files) waits until that
// tick has returned to the event loop.
void ParametersMenu::readBoard(std::function<void(const ParameterResult&)> then) {
  parts_.behaviour.readBoardParameters([this, then = std::move(then)](const ParameterResult& result) {
    QTimer::singleShot(0, this, [this, then, result] {
      if (result.outcome != ParameterOutcome::Done) {
        message("Could not read the board's parameters. " + describe(result));
        return;
      }
      then(result);
    });
  });
}

void ParametersMenu::writeBoxesWithReview() {
  std::vector<std::string> texts;
  parts_.alarmPage.collectValues(&texts);
  review(texts, QStringLiteral("the boxes of the Alarm Parameter tab"), false);
}

void ParametersMenu::writeFileWithReview() {
  const auto path =
      askFile(parts_.window, false, alarmParameterFileDialog(parts_.behaviour.userFolder(), false));
  if (path) reviewFile(QString::fromStdString(*path), false);
}

void ParametersMenu::compareFileWithBoard() {
  const auto path =
      askFile(parts_.window, false, alarmParameterFileDialog(parts_.behaviour.userFolder(), false));
  if (path) reviewFile(QString::fromStdString(*path), true);
}

// Files are read strictly: a line that is not its row's, or a value out of range, is named and
// nothing is read from the board, let alone sent.
void ParametersMenu::reviewFile(const QString& path, bool compareOnly) {
  const ParameterFileCheck file = readParameterFile(path.toStdString());
  if (!file.ok()) {
    message("The parameter file \"" + path.toStdString() + "\" cannot be used. " + file.message() +
            " Nothing was sent.");
    return;
  }
  review(file.values, path, compareOnly);
}

void ParametersMenu::review(const std::vector<std::string>& texts, const QString& source, bool compareOnly) {
  if (!mayStart()) return;
  readBoard([this, texts, source, compareOnly](const ParameterResult& result) {
    showReview(result.board, texts, source, compareOnly);
  });
}

void ParametersMenu::showReview(const AlarmValues& board, const std::vector<std::string>& texts,
                                const QString& source, bool compareOnly) {
  if (review_) review_->close();
  const ParameterReview review = reviewParameters(board, texts);
  auto* dialog = new ReviewDialog(review, board,
                                  compareOnly ? ReviewDialog::Purpose::Compare : ReviewDialog::Purpose::Write,
                                  source, parts_.window);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  // Window-modal: the main window cannot start a second write meanwhile, but it goes on
  // polling and showing live values.
  dialog->setWindowModality(compareOnly ? Qt::NonModal : Qt::WindowModal);
  connect(dialog, &ReviewDialog::confirmed, this, [this, texts] { startWrite(texts); });
  review_ = dialog;
  dialog->show();
}

void ParametersMenu::startWrite(const std::vector<std::string>& texts) {
  if (review_) review_->showWriting();
  // A port closed since the review ends the write at once, with nothing sent, and says so.
  const bool started = parts_.behaviour.writeParameters(texts, [this](const ParameterResult& result) {
    QTimer::singleShot(0, this, [this, result] { writeDone(result); });
  });
  if (!started) message("A read or write of the protection parameters is still running. Nothing was sent.");
}

void ParametersMenu::writeDone(const ParameterResult& result) {
  const std::string text = describe(result);
  const auto& workflow = parts_.behaviour.parameterWorkflow();
  std::string detail;
  if (!workflow.lastSnapshot().empty())
    detail = "The board's values before the write are kept in the snapshot " + workflow.lastSnapshot() +
             " (Parameters > Snapshots...).";
  if (!workflow.recordProblem().empty()) detail += (detail.empty() ? "" : "\n") + workflow.recordProblem();
  if (snapshots_) snapshots_->refresh();
  if (review_) {
    review_->showResult(QString::fromStdString(text), result.verified(), QString::fromStdString(detail));
    return;
  }
  message(text + (detail.empty() ? "" : "\n\n" + detail));
}

void ParametersMenu::showSnapshots() {
  if (!snapshots_) {
    snapshots_ = new SnapshotsDialog(parts_.behaviour.parameterWorkflow().snapshots(), parts_.window);
    snapshots_->setAttribute(Qt::WA_DeleteOnClose);
    connect(snapshots_, &SnapshotsDialog::compareRequested, this,
            [this](const QString& path) { reviewFile(path, true); });
    connect(snapshots_, &SnapshotsDialog::restoreRequested, this,
            [this](const QString& path) { reviewFile(path, false); });
  }
  snapshots_->refresh();
  snapshots_->show();
  snapshots_->raise();
}

void ParametersMenu::saveBoardParameters() {
  if (!mayStart()) return;
  readBoard([this](const ParameterResult& result) { saveBoard(result.board); });
}

void ParametersMenu::saveBoard(const AlarmValues& board) {
  const auto path =
      askFile(parts_.window, true, alarmParameterFileDialog(parts_.behaviour.userFolder(), true));
  if (!path) return;
  const Status saved = replaceFileContent(*path, formatAlarmParameterFile(parameterTexts(board)));
  if (!saved) {
    message("Could not save the board's parameters to \"" + *path + "\" (" + saved.error() + ").");
    return;
  }
  message("The board's 44 parameters were saved to \"" + *path + "\".");
}

// The page's own loader, as its Load button would run it: the boxes only, nothing is sent.
void ParametersMenu::loadFileIntoBoxes() {
  const auto path =
      askFile(parts_.window, false, alarmParameterFileDialog(parts_.behaviour.userFolder(), false));
  if (!path) return;
  if (parts_.showAlarmPage) parts_.showAlarmPage();
  if (parts_.alarmPage.loadParameterFile(*path)) parts_.alarmForm.setText(AlarmId::Path, *path);
}

}  // namespace orlo::ui
