#include "ui/diagnostics/log_cell_delegate.h"

#include <QApplication>
#include <QPainter>
#include <QTableView>
#include <cmath>

namespace orlo::ui {

namespace {

const QStyle* styleOf(const QStyleOptionViewItem& option) {
  return option.widget ? option.widget->style() : QApplication::style();
}

}  // namespace

void LogCellDelegate::setUp(QTableView* table) {
  table->setItemDelegate(new LogCellDelegate(table));
  table->setShowGrid(false);
}

bool LogCellDelegate::plain(const QStyleOptionViewItem& option) {
  using F = QStyleOptionViewItem::ViewItemFeature;
  const QStyleOptionViewItem::ViewItemFeatures others =
      F::WrapText | F::Alternate | F::HasCheckIndicator | F::HasDecoration;
  return !(option.state & (QStyle::State_Selected | QStyle::State_HasFocus | QStyle::State_Editing)) &&
         !(option.features & others) && option.backgroundBrush.style() == Qt::NoBrush &&
         option.direction == Qt::LeftToRight && !option.text.contains(QLatin1Char('\n'));
}

// Where the style puts a single line: inside the focus frame's margin, centred on the line's
// height, elided when it is wider than the room.
void LogCellDelegate::paintText(QPainter* painter, const QStyleOptionViewItem& option) {
  if (option.text.isEmpty()) return;
  const int margin = styleOf(option)->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, option.widget) + 1;
  const QRect room = option.rect.adjusted(margin, 0, -margin, 0);
  const QFontMetricsF metrics(option.font);
  QString text = option.text;
  qreal width = metrics.horizontalAdvance(text);
  if (width > room.width()) {
    text = metrics.elidedText(text, option.textElideMode, room.width());
    width = metrics.horizontalAdvance(text);
  }
  const QSize line(room.width(), static_cast<int>(std::ceil(metrics.ascent() + metrics.descent())));
  const QRect box =
      QStyle::alignedRect(Qt::LeftToRight, option.displayAlignment & Qt::AlignVertical_Mask, line, room);
  qreal x = room.x();
  if (option.displayAlignment & Qt::AlignRight) x += room.width() - width;
  if (option.displayAlignment & Qt::AlignHCenter) x += (room.width() - width) / 2;
  QPalette::ColorGroup group = option.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
  if (group == QPalette::Normal && !(option.state & QStyle::State_Active)) group = QPalette::Inactive;
  painter->setFont(option.font);
  painter->setPen(option.palette.color(group, QPalette::Text));
  painter->drawText(QPointF(x, box.top() + metrics.ascent()), text);
}

void LogCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
  // The grid takes the cell's last column and row of pixels.
  QStyleOptionViewItem cell = option;
  cell.rect.adjust(0, 0, -1, -1);
  initStyleOption(&cell, index);
  if (plain(cell))
    paintText(painter, cell);
  else
    QStyledItemDelegate::paint(painter, cell, index);
  const auto* table = qobject_cast<const QTableView*>(option.widget);
  const QColor grid = QColor::fromRgba(
      static_cast<QRgb>(styleOf(option)->styleHint(QStyle::SH_Table_GridLineColor, &option, table)));
  const QRect r = option.rect;
  painter->fillRect(QRect(r.right(), r.top(), 1, r.height()), grid);
  painter->fillRect(QRect(r.left(), r.bottom(), r.width() - 1, 1), grid);
}

}  // namespace orlo::ui
