#include "ui/diagnostics/log_table.h"

#include <QHeaderView>

#include "ui/form/accessibility.h"

namespace orlo::ui {

QTableView* newLogTable(QAbstractItemModel* model, const QString& name, QWidget* parent) {
  auto* table = new QTableView(parent);
  setUpLogTable(table, model, name);
  return table;
}

void setUpLogTable(QTableView* table, QAbstractItemModel* model, const QString& name) {
  table->setModel(model);
  table->setAccessibleName(name);
  // A row is looked at, not opened: Enter does nothing, as a double click does nothing.
  onRowChosen(table, {});
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->setWordWrap(false);
  table->verticalHeader()->setVisible(false);
  // Fixed row heights keep scrolling through 10,000 rows from measuring each one.
  table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 4);
  table->horizontalHeader()->setStretchLastSection(true);
}

}  // namespace orlo::ui
