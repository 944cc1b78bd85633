#include "ui/parameters/review_dialog.h"

#include <QBrush>
#include <QColor>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/form/accessibility.h"

namespace orlo::ui {
namespace {

// Pale enough that the text stays black and readable.
const QColor kLargeColour(255, 228, 160);
const QColor kRefusedColour(255, 196, 196);
const QColor kGoodColour(0, 110, 0);
const QColor kBadColour(170, 0, 0);

QString number(std::int64_t value) {
  return QString::number(static_cast<qlonglong>(value));
}

void addRow(QTableWidget* table, const AlarmParameterRow& row, const QString& onBoard, const QString& newWord,
            const QString& proposed, const QString& note, const QColor* colour) {
  const int r = table->rowCount();
  table->insertRow(r);
  const QString cells[ReviewDialog::kColumnCount] = {QString::fromUtf8(row.group),
                                                     QString::fromUtf8(row.label),
                                                     onBoard,
                                                     proposed,
                                                     QString::fromUtf8(row.unit),
                                                     note};
  // A listener hears the whole row on any of its cells.
  const QString unit = row.unit[0] ? QStringLiteral(" ") + QString::fromUtf8(row.unit) : QString();
  const QString sentence =
      rowSentence({QString::fromUtf8(row.group) + QStringLiteral(" ") + QString::fromUtf8(row.label),
                   QStringLiteral("on the board ") + onBoard + unit,
                   newWord + QStringLiteral(" ") + proposed + unit, note});
  for (int c = 0; c < ReviewDialog::kColumnCount; ++c) {
    auto* item = new QTableWidgetItem(cells[c]);
    item->setData(Qt::AccessibleTextRole, sentence);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    if (c == ReviewDialog::kOnBoard || c == ReviewDialog::kNew) item->setTextAlignment(Qt::AlignCenter);
    if (colour) item->setBackground(QBrush(*colour));
    table->setItem(r, c, item);
  }
}

QString summaryFor(const ParameterReview& review, ReviewDialog::Purpose purpose) {
  if (review.wrongCount) return QStringLiteral("These are not 44 values; nothing can be sent.");
  QString text;
  if (!review.refused.empty()) {
    text = QStringLiteral(
               "%1 field(s) would be refused (highlighted red). Nothing can be sent until they are "
               "corrected. ")
               .arg(review.refused.size());
  }
  if (review.changes.empty()) return text + QStringLiteral("The board already holds every other value.");
  if (purpose == ReviewDialog::Purpose::Compare)
    return text + QStringLiteral("%1 field(s) differ from the board.").arg(review.changes.size());
  text += QStringLiteral("%1 field(s) would change; nothing is sent until you press Confirm.")
              .arg(review.changes.size());
  if (review.anyLarge())
    text += QStringLiteral("\nHighlighted: a protection limit moves by more than 10 %. Check it twice.");
  return text;
}

}  // namespace

ReviewDialog::ReviewDialog(const ParameterReview& review, const AlarmValues& board, Purpose purpose,
                           const QString& source, QWidget* parent)
    : QDialog(parent) {
  const bool writing = purpose == Purpose::Write;
  setWindowTitle(writing ? QStringLiteral("Write with Review") : QStringLiteral("Compare with Board"));
  auto* layout = new QVBoxLayout(this);
  auto* from = new QLabel(QStringLiteral("New values from: %1").arg(source), this);
  from->setWordWrap(true);
  layout->addWidget(from);
  summary_ = new QLabel(summaryFor(review, purpose), this);
  summary_->setWordWrap(true);
  layout->addWidget(summary_);

  table_ = new QTableWidget(0, kColumnCount, this);
  table_->setHorizontalHeaderLabels({QStringLiteral("Group"), QStringLiteral("Label"),
                                     QStringLiteral("On the board"),
                                     writing ? QStringLiteral("New") : QStringLiteral("Compared"),
                                     QStringLiteral("Unit"), QStringLiteral("Note")});
  table_->setAccessibleName(writing ? QStringLiteral("Fields that would change")
                                    : QStringLiteral("Fields that differ from the board"));
  table_->verticalHeader()->hide();
  // Enter on a row does nothing, as a double click does nothing; it must not reach Confirm.
  onRowChosen(table_, {});
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  fill(review, board, purpose);
  table_->resizeColumnsToContents();
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setMinimumWidth(760);
  table_->setMinimumHeight(120);
  table_->setCurrentCell(-1, -1);
  layout->addWidget(table_, 1);

  result_ = new QLabel(this);
  result_->setWordWrap(true);
  result_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  result_->hide();
  layout->addWidget(result_);
  detail_ = new QLabel(this);
  detail_->setWordWrap(true);
  detail_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  detail_->hide();
  layout->addWidget(detail_);

  auto* buttons = new QDialogButtonBox(this);
  if (writing) {
    confirm_ = buttons->addButton(QStringLiteral("Confirm"), QDialogButtonBox::AcceptRole);
    // Nothing goes to the board while a value would be refused, nor when nothing would change.
    confirm_->setEnabled(review.mayWrite() && !review.changes.empty());
    connect(confirm_, &QPushButton::clicked, this, [this] {
      confirm_->setEnabled(false);
      emit confirmed();
    });
  }
  close_ = buttons->addButton(writing ? QStringLiteral("Cancel") : QStringLiteral("Close"),
                              QDialogButtonBox::RejectRole);
  connect(close_, &QPushButton::clicked, this, &QDialog::reject);
  // Enter writes only on Confirm itself; anywhere else in the dialog it presses Cancel.
  close_->setDefault(true);
  layout->addWidget(buttons);
  resize(860, 380);
}

void ReviewDialog::fill(const ParameterReview& review, const AlarmValues& board, Purpose purpose) {
  const QString newWord = purpose == Purpose::Write ? QStringLiteral("new") : QStringLiteral("compared");
  for (const auto& refusal : review.refused) {
    const auto& row = *refusal.row;
    addRow(table_, row, number(board[static_cast<std::size_t>(row.row - 1)]), newWord,
           QString::fromStdString(refusal.text),
           QStringLiteral("refused: a whole number from %1 to %2")
               .arg(static_cast<qlonglong>(refusal.range.min))
               .arg(static_cast<qlonglong>(refusal.range.max)),
           &kRefusedColour);
  }
  for (const auto& change : review.changes) {
    const bool large = change.large && purpose == Purpose::Write;
    addRow(table_, *change.row, number(change.onBoard), newWord, number(change.proposed),
           change.large ? QStringLiteral("moves more than 10 %") : QString(),
           large ? &kLargeColour : nullptr);
  }
}

void ReviewDialog::showWriting() {
  if (confirm_) confirm_->setEnabled(false);
  close_->setText(QStringLiteral("Close"));
  result_->setStyleSheet(QString());
  result_->setText(
      QStringLiteral("Writing: reading the board, keeping a snapshot, sending the Set, reading back ..."));
  result_->show();
}

void ReviewDialog::showResult(const QString& text, bool good, const QString& detail) {
  if (confirm_) confirm_->setEnabled(false);
  close_->setText(QStringLiteral("Close"));
  result_->setStyleSheet(QStringLiteral("QLabel { color: %1; font-weight: bold; }")
                             .arg((good ? kGoodColour : kBadColour).name()));
  result_->setText(text);
  result_->show();
  detail_->setText(detail);
  detail_->setVisible(!detail.isEmpty());
  // Grows to show the whole outcome (a mismatch names every field) rather than clip it.
  layout()->activate();
  resize(width(), std::max(height(), sizeHint().height()));
}

QString ReviewDialog::summaryText() const {
  return summary_->text();
}

QString ReviewDialog::resultText() const {
  return detail_->text().isEmpty() ? result_->text() : result_->text() + "\n" + detail_->text();
}

}  // namespace orlo::ui
