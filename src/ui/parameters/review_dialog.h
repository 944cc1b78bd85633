#pragma once
// What a write of protection parameters would change, shown before anything is sent: only the
// fields whose value would change, every field that would be refused (with what it takes), and
// large moves of the main limits called out. Confirm starts the write; the same dialog then
// shows what came of it. For a comparison the same table stands without Confirm.

#include <QDialog>
#include <QString>

#include "core/parameter_review.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace orlo::ui {

class ReviewDialog : public QDialog {
  Q_OBJECT
 public:
  enum class Purpose { Write, Compare };

  // `board`: the values just read from the board; `source`: where the new values come from.
  ReviewDialog(const ParameterReview& review, const AlarmValues& board, Purpose purpose,
               const QString& source, QWidget* parent);

  // The write has started: Confirm is spent, the dialog says what is going on.
  void showWriting();
  // What came of the write, `good` when every value read back as written; `detail` in plain
  // text below it (where the snapshot is).
  void showResult(const QString& text, bool good, const QString& detail = {});

  QTableWidget* table() const { return table_; }
  QPushButton* confirmButton() const { return confirm_; }
  QString summaryText() const;
  QString resultText() const;

  // Columns of the table.
  enum Column { kGroup, kLabel, kOnBoard, kNew, kUnit, kNote, kColumnCount };

 signals:
  void confirmed();

 private:
  void fill(const ParameterReview& review, const AlarmValues& board, Purpose purpose);

  QLabel* summary_ = nullptr;
  QTableWidget* table_ = nullptr;
  QLabel* result_ = nullptr;
  QLabel* detail_ = nullptr;
  QPushButton* confirm_ = nullptr;
  QPushButton* close_ = nullptr;
};

}  // namespace orlo::ui
