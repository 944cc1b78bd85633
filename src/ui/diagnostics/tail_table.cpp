#include "ui/diagnostics/tail_table.h"

#include <QHeaderView>

#include "ui/diagnostics/tail_scroll_bar.h"

namespace orlo::ui {

TailTable::TailTable(QWidget* parent) : QTableView(parent), bar_(new TailScrollBar(this)) {
  setVerticalScrollBar(bar_);
}

void TailTable::applyTailChange(const std::function<int()>& change) {
  const bool following = bar_->value() == bar_->maximum();
  const int startOffset = verticalHeader()->offset();
  scrolled_ = 0;
  tailOnly_ = true;
  bar_->holdChanges();
  const int dropped = change();
  executeDelayedItemsLayout();
  tailOnly_ = false;
  if (following) scrollToBottom();
  bar_->releaseChanges();
  // The rows on screen keep their place in the model's order: what was drawn moves up by the
  // rows dropped above it and by the change of scroll offset, and only the strip that comes into
  // view is painted. Qt moved the pixels for part of that (a scroll bar that moved); the layout
  // may also have set the offset without moving them (the bottom-aligned last page).
  const int wanted =
      startOffset - verticalHeader()->offset() - dropped * verticalHeader()->defaultSectionSize();
  if (wanted != scrolled_) viewport()->scroll(0, wanted - scrolled_);
}

void TailTable::scrollContentsBy(int dx, int dy) {
  const int before = verticalHeader()->offset();
  QTableView::scrollContentsBy(dx, dy);
  scrolled_ += before - verticalHeader()->offset();
}

void TailTable::doItemsLayout() {
  if (!tailOnly_) {
    QTableView::doItemsLayout();
    return;
  }
  updateGeometries();
  // QTableView holds the row header's updates back while rows are removed, until the next layout.
  verticalHeader()->setUpdatesEnabled(true);
}

}  // namespace orlo::ui
