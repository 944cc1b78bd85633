#include "ui/diagnostics/clipped_text_delegate.h"

#include <algorithm>

namespace orlo::ui {

namespace {

// Characters kept beyond what the cell can show, so that the text still overflows it.
constexpr int kSpareCharacters = 8;

}  // namespace

void ClippedTextDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
  QStyledItemDelegate::initStyleOption(option, index);
  if (option->rect.width() <= 0) return;  // asked for a size: the whole text
  // Only a text cut at its end (or not at all) starts as the whole text does.
  if (option->textElideMode != Qt::ElideRight && option->textElideMode != Qt::ElideNone) return;
  // A space is the narrowest character of the byte text: no more of them fit than this.
  const int narrowest = std::max(1, option->fontMetrics.horizontalAdvance(QLatin1Char(' ')));
  const qsizetype fit = option->rect.width() / narrowest + kSpareCharacters;
  if (option->text.size() > fit) option->text.truncate(fit);
}

}  // namespace orlo::ui
