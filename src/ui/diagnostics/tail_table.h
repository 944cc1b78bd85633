#pragma once
// A log table whose model only grows at its end and drops rows at its start. QTableView repaints
// its whole viewport whenever the row count changes; here such a change lays out the scroll
// bars only, and the rows already on screen are moved rather than drawn again, so a new row
// costs the painting of one row; its scroll bar (TailScrollBar) repaints only what moved.

#include <QTableView>
#include <functional>

namespace orlo::ui {

class TailScrollBar;

class TailTable : public QTableView {
  Q_OBJECT

 public:
  explicit TailTable(QWidget* parent = nullptr);

  // Runs `change`, which appends rows to the model and drops rows from its start and returns how
  // many it dropped, and keeps the view at the last row when it was there.
  void applyTailChange(const std::function<int()>& change);

 protected:
  void doItemsLayout() override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  TailScrollBar* bar_;
  bool tailOnly_ = false;
  int scrolled_ = 0;  // pixels Qt moved the rows by during a tail change
};

}  // namespace orlo::ui
