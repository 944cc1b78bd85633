#pragma once
// The delegate for a column of long single-line text (the Traffic window's bytes, hundreds of
// characters in a cell that shows a few dozen): it hands the style only a little more of the
// text than the cell can show. The style still elides what it is given at the same place, and
// no longer shapes and measures the whole text for each row it paints.

#include <QStyledItemDelegate>

namespace orlo::ui {

class ClippedTextDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

}  // namespace orlo::ui
