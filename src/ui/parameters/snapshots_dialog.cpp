#include "ui/parameters/snapshots_dialog.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <utility>

#include "ui/form/accessibility.h"
#include "ui/form/dialogs.h"
#include "util/platform.h"

namespace orlo::ui {
namespace {

constexpr int kPathRole = Qt::UserRole;

}  // namespace

SnapshotsDialog::SnapshotsDialog(SnapshotStore store, QWidget* parent)
    : QDialog(parent), store_(std::move(store)) {
  setWindowTitle(QStringLiteral("Snapshots"));
  auto* layout = new QVBoxLayout(this);
  auto* where = new QLabel(QStringLiteral("The board's values as they were before each write, kept in %1")
                               .arg(QString::fromStdString(store_.folder())),
                           this);
  where->setWordWrap(true);
  where->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(where);

  table_ = new QTableWidget(0, 3, this);
  table_->setHorizontalHeaderLabels(
      {QStringLiteral("Time"), QStringLiteral("Board ID"), QStringLiteral("Port")});
  table_->setAccessibleName(QStringLiteral("Kept snapshots"));
  table_->verticalHeader()->hide();
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->horizontalHeader()->setStretchLastSection(true);
  layout->addWidget(table_, 1);

  auto* buttons = new QHBoxLayout;
  compare_ = new QPushButton(QStringLiteral("Compare with Board"), this);
  restore_ = new QPushButton(QStringLiteral("Restore..."), this);
  auto* folder = new QPushButton(QStringLiteral("Open Folder"), this);
  auto* refreshButton = new QPushButton(QStringLiteral("Refresh"), this);
  auto* close = new QPushButton(QStringLiteral("Close"), this);
  for (QPushButton* b : {compare_, restore_, folder, refreshButton}) buttons->addWidget(b);
  buttons->addStretch(1);
  buttons->addWidget(close);
  layout->addLayout(buttons);

  connect(compare_, &QPushButton::clicked, this, [this] { emit compareRequested(chosenPath()); });
  connect(restore_, &QPushButton::clicked, this, [this] { emit restoreRequested(chosenPath()); });
  connect(folder, &QPushButton::clicked, this, &SnapshotsDialog::openFolder);
  connect(refreshButton, &QPushButton::clicked, this, &SnapshotsDialog::refresh);
  connect(close, &QPushButton::clicked, this, &QDialog::close);
  connect(table_, &QTableWidget::itemSelectionChanged, this, &SnapshotsDialog::updateButtons);
  // A snapshot chosen with a double click or Enter is compared with the board: it only reads.
  onRowChosen(table_, [this](int row) {
    table_->selectRow(row);
    if (!chosenPath().isEmpty()) emit compareRequested(chosenPath());
  });
  refresh();
  resize(560, 360);
}

void SnapshotsDialog::refresh() {
  const auto snapshots = store_.list();
  table_->setRowCount(0);
  // Newest first: the one a user wants back is most often the last one kept.
  for (auto it = snapshots.rbegin(); it != snapshots.rend(); ++it) {
    const int r = table_->rowCount();
    table_->insertRow(r);
    const QString cells[] = {QString::fromStdString(it->time), QString::number(it->boardId),
                             QString::fromStdString(it->port)};
    const QString sentence = rowSentence({cells[0], QStringLiteral("board ID ") + cells[1], cells[2]});
    for (int c = 0; c < 3; ++c) {
      auto* item = new QTableWidgetItem(cells[c]);
      item->setData(kPathRole, QString::fromStdString(it->path));
      item->setData(Qt::AccessibleTextRole, sentence);
      table_->setItem(r, c, item);
    }
  }
  table_->resizeColumnsToContents();
  if (table_->rowCount() > 0) table_->selectRow(0);
  updateButtons();
}

QString SnapshotsDialog::chosenPath() const {
  const auto chosen = table_->selectedItems();
  return chosen.isEmpty() ? QString() : chosen.front()->data(kPathRole).toString();
}

void SnapshotsDialog::updateButtons() {
  const bool chosen = !chosenPath().isEmpty();
  compare_->setEnabled(chosen);
  restore_->setEnabled(chosen);
}

void SnapshotsDialog::openFolder() {
  const Status made = makeFolders(store_.folder());
  if (!made) {
    showMessageBox(this, "Cannot make the snapshots folder " + store_.folder() + ": " + made.error(), "");
    return;
  }
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(store_.folder()))))
    showMessageBox(this, "No file manager opened " + store_.folder() + ".", "");
}

}  // namespace orlo::ui
