#pragma once
// Production > Station...: the end-of-line station on the main window's port. The operator
// picks a recipe, types or scans a board's label and presses Enter; the steps run with their
// state and values shown, a prompt asks for each meter reading, a large PASS/FAIL ends the
// board, and the label field takes the focus for the next one. Keyboard alone is enough and
// every control has an accessible name.
//
// Unplugging the board and plugging in the next one is enough too: once the main window has
// opened the lost port again and the board answers its poll, the next board starts by itself
// with the label typed or scanned meanwhile. Where none was (the field still shows the last
// board's label) the window asks for it rather than file a second board under that label; a
// station that tests without labels goes on without one.

#include <QDialog>
#include <memory>
#include <optional>
#include <string>

#include "core/station_board.h"
#include "core/station_recipe.h"
#include "core/station_record.h"
#include "util/clock.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTimer;

namespace orlo {
class MainWindow;
}

namespace orlo::ui {

class StationWindow : public QDialog, public StationOperator {
  Q_OBJECT

 public:
  StationWindow(MainWindow& main, QWidget* parent);
  ~StationWindow() override;

  // StationOperator
  void askReading(const std::string& prompt) override;
  void stepChanged(const StepReport& step) override;

  bool running() const { return board_ != nullptr; }
  // For tests: the controls by role.
  QLineEdit* recipeEdit() const { return recipe_; }
  QLineEdit* labelEdit() const { return label_; }
  QLineEdit* readingEdit() const { return reading_; }
  QLabel* resultLabel() const { return result_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  void build();
  void chooseRecipe();
  void startBoard();
  void portCameBack();
  void boardAnswered();
  void tick();
  void finishBoard();
  void stopBoard(const std::string& why);
  void showSteps();
  void showCounts();
  void showResult(const QString& text, const QString& colour);

  MainWindow& main_;
  SystemClock clock_;
  QLineEdit* recipe_ = nullptr;
  QLineEdit* operator_ = nullptr;
  QLineEdit* label_ = nullptr;
  QLabel* result_ = nullptr;
  QTableWidget* steps_ = nullptr;
  QLabel* prompt_ = nullptr;
  QLineEdit* reading_ = nullptr;
  QLabel* counts_ = nullptr;
  QLabel* report_ = nullptr;
  QPushButton* stop_ = nullptr;
  QTimer* timer_ = nullptr;

  std::unique_ptr<Recipe> recipeLoaded_;
  std::unique_ptr<StationRecord> record_;
  std::unique_ptr<StationBoard> board_;
  std::unique_ptr<FrameHandlers> answerWatch_;  // on the line from the port's return to an answer
  std::optional<std::string> lastLabel_;        // the label the last board started with
};

}  // namespace orlo::ui
