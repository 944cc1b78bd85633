#pragma once
// The snapshots kept before each write, newest first: compare one with the board, restore one
// through the review, or open their folder in the file manager. Modeless: the window goes on.

#include <QDialog>
#include <QString>

#include "core/snapshot_store.h"

class QTableWidget;
class QPushButton;

namespace orlo::ui {

class SnapshotsDialog : public QDialog {
  Q_OBJECT
 public:
  SnapshotsDialog(SnapshotStore store, QWidget* parent);

  void refresh();
  QTableWidget* table() const { return table_; }
  // The chosen snapshot's path ("" when none is chosen).
  QString chosenPath() const;

 signals:
  void compareRequested(const QString& path);
  void restoreRequested(const QString& path);

 private:
  void openFolder();
  void updateButtons();

  SnapshotStore store_;
  QTableWidget* table_ = nullptr;
  QPushButton* compare_ = nullptr;
  QPushButton* restore_ = nullptr;
};

}  // namespace orlo::ui
