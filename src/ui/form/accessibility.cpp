#include "ui/form/accessibility.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QShortcut>
#include <utility>

namespace orlo::ui {
namespace {

// Takes Enter and Return on the view; a double click comes through doubleClicked.
class RowChooser : public QObject {
 public:
  RowChooser(QAbstractItemView* view, std::function<void(int)> choose)
      : QObject(view), view_(view), choose_(std::move(choose)) {
    view->installEventFilter(this);
    if (choose_)
      connect(view, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid()) choose_(index.row());
      });
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != view_ || event->type() != QEvent::KeyPress) return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key != Qt::Key_Return && key != Qt::Key_Enter) return false;
    const QModelIndex current = view_->currentIndex();
    if (choose_ && current.isValid()) choose_(current.row());
    return true;
  }

 private:
  QAbstractItemView* view_;
  std::function<void(int)> choose_;
};

}  // namespace

void onRowChosen(QAbstractItemView* view, std::function<void(int row)> choose) {
  new RowChooser(view, std::move(choose));
}

void nameComboBox(QComboBox* combo, const QString& name) {
  combo->setAccessibleName(name);
  combo->view()->setAccessibleName(name);
  if (combo->lineEdit()) combo->lineEdit()->setAccessibleName(name);
}

void closeOnEscape(QWidget* window) {
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), window);
  QObject::connect(escape, &QShortcut::activated, window, &QWidget::close);
}

QString rowSentence(const QStringList& parts) {
  QStringList shown;
  for (const QString& part : parts)
    if (!part.isEmpty()) shown << part;
  return shown.join(QStringLiteral(", "));
}

}  // namespace orlo::ui
