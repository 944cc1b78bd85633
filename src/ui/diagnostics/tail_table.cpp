#include "ui/diagnostics/tail_table.h"

#include <QHeaderView>
#include <QScrollBar>

namespace orlo::ui {

void TailTable::applyTailChange(const std::function<int()>& change) {
  QScrollBar* bar = verticalScrollBar();
  const bool following = bar->value() == bar->maximum();
  tailOnly_ = true;
  const int dropped = change();
  executeDelayedItemsLayout();
  tailOnly_ = false;
  // The rows on screen keep their place in the model's order: what was drawn moves up by the
  // rows dropped above it, and only the strip that comes into view is painted.
  if (dropped > 0) viewport()->scroll(0, -dropped * verticalHeader()->defaultSectionSize());
  if (following) scrollToBottom();
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
