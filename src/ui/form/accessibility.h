#pragma once
// Keyboard and screen reader access for the windows built in code rather than from a layout
// table: tables whose rows are chosen with Enter as with a double click, windows that close on
// Escape, and rows a screen reader reads as one sentence.

#include <QString>
#include <QStringList>
#include <functional>

class QAbstractItemView;
class QComboBox;
class QWidget;

namespace orlo::ui {

// A double click on a row, or Enter on the current row, runs `choose` with the row (nothing
// when `choose` is empty). Enter goes no further: in a dialog it would press the default button.
void onRowChosen(QAbstractItemView* view, std::function<void(int row)> choose);

// Names a combo box, and with it its list of choices and the box typed into when it is
// editable: a screen reader reads each of them on its own.
void nameComboBox(QComboBox* combo, const QString& name);

// Escape closes `window`, as it closes a dialog.
void closeOnEscape(QWidget* window);

// What a screen reader says for a table row: its non-empty parts, joined by ", ".
QString rowSentence(const QStringList& parts);

}  // namespace orlo::ui
