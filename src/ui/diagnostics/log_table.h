#pragma once
// The table both log windows (Events, Traffic) show their rows in.

#include <QTableView>

namespace orlo::ui {

// Whole rows selected, one line per row, no row numbers, the last column taking what is left;
// `name` is what a screen reader calls the table.
QTableView* newLogTable(QAbstractItemModel* model, const QString& name, QWidget* parent);
// The same set-up for a table made elsewhere (a subclass).
void setUpLogTable(QTableView* table, QAbstractItemModel* model, const QString& name);

}  // namespace orlo::ui
