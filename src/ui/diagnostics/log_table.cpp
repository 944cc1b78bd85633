#include "ui/diagnostics/log_table.h"

#include <QHeaderView>

namespace orlo::ui {

QTableView* newLogTable(QAbstractItemModel* model, QWidget* parent) {
  auto* table = new QTableView(parent);
  table->setModel(model);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->setWordWrap(false);
  table->verticalHeader()->setVisible(false);
  // Fixed row heights keep scrolling through 10,000 rows from measuring each one.
  table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 4);
  table->horizontalHeader()->setStretchLastSection(true);
  return table;
}

}  // namespace orlo::ui
