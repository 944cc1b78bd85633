#pragma once
// The delegate of the Traffic table, whose cells are plain text that arrives every second: it
// draws such a cell, and the table's grid around it, itself, as the style would, and leaves
// every other cell (selected, focused, with an icon, a check box or a background) to the style.
// The style lays each text out three times and draws the grid's lines pixel by pixel; a plain
// cell here costs its text once and its grid two filled rectangles. The table's own grid is
// turned off (setUp), as this draws it.

#include "ui/diagnostics/clipped_text_delegate.h"

class QTableView;

namespace orlo::ui {

class LogCellDelegate : public ClippedTextDelegate {
  Q_OBJECT

 public:
  using ClippedTextDelegate::ClippedTextDelegate;

  // Makes this the delegate of every cell of `table` and the painter of its grid.
  static void setUp(QTableView* table);

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  static bool plain(const QStyleOptionViewItem& option);
  static void paintText(QPainter* painter, const QStyleOptionViewItem& option);
};

}  // namespace orlo::ui
