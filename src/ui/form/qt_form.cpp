#include "ui/form/qt_form.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QToolButton>
#include <algorithm>
#include <exception>
#include <functional>
#include <utility>
#include <vector>

#include "ui/form/accessibility.h"
#include "ui/form/accessible_names.h"
#include "ui/form/dialogs.h"

namespace orlo::ui {
namespace {

QtForm::TextTrace g_textTrace = nullptr;

// Nothing thrown by window logic may unwind through Qt's event loop.
template <typename F>
void guarded(F&& f) {
  try {
    f();
  } catch (const std::exception& e) {
    qCritical("Orlo_PC: unexpected error: %s", e.what());
  } catch (...) {
    qCritical("Orlo_PC: unexpected error");
  }
}

// Hands a watched box's Show event to the form, which then gives the box its pending text.
class ShowFilter : public QObject {
 public:
  explicit ShowFilter(std::function<void(QObject*)> onShow) : onShow_(std::move(onShow)) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show) onShow_(watched);
    return false;
  }

 private:
  std::function<void(QObject*)> onShow_;
};

}  // namespace

QtForm::QtForm(const LayoutTable& table, const FormColours& colours, QWidget* parent)
    : table_(table), colours_(colours), guard_(std::make_unique<QObject>()) {
  root_ = new QWidget(parent);
  pendingFilter_ = std::make_unique<ShowFilter>([this](QObject* edit) { showPendingText(edit); });
  timers_ = std::make_unique<FormTimers>([this](int timerId) { deliverTimer(timerId); });
  const auto names = accessibleNames(table_);
  for (const BuiltControl& built : FormBuilder(table_, colours_).build(root_)) adopt(built, names);
  indexControls();
}

void QtForm::adopt(const BuiltControl& built, const std::map<int, std::string>& names) {
  const LayoutControl& row = *built.row;
  auto name = names.find(row.id);
  Control& control = controls_[row.id];
  control.row = &row;
  control.widget = built.widget;
  control.name = name == names.end() ? std::string() : name->second;
  control.nameFromCaption = nameFollowsCaption(row);
  // The id is the control's object name, for tools and tests; a screen reader reads the name.
  built.widget->setObjectName(QString::number(row.id));
  applyAccessibleName(control);
  connectSignals(row.id, built.widget);
  if (auto* edit = qobject_cast<QLineEdit*>(built.widget)) {
    control.edit = edit;
    // Anything that changes the box other than setText itself makes its text unknown again.
    Control* known = &control;
    const auto forget = [known] { known->editTextKnown = false; };
    QObject::connect(edit, &QLineEdit::textChanged, guard_.get(), forget);
    QObject::connect(edit, &QLineEdit::cursorPositionChanged, guard_.get(), forget);
    QObject::connect(edit, &QLineEdit::selectionChanged, guard_.get(), forget);
  }
}

void QtForm::connectSignals(int id, QWidget* widget) {
  QObject* guard = guard_.get();
  if (auto* b = qobject_cast<QAbstractButton*>(widget)) {
    // clicked comes after a check box or radio button has taken its new state.
    QObject::connect(b, &QAbstractButton::clicked, guard, [this, id] { deliverClick(id); });
  } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
    QObject::connect(combo, &QComboBox::activated, guard, [this, id] { deliverSelection(id); });
  } else if (auto* tabs = qobject_cast<QTabWidget*>(widget)) {
    QObject::connect(tabs, &QTabWidget::currentChanged, guard, [this, id] { deliverSelection(id); });
  }
}

QtForm::~QtForm() {
  timers_.reset();
  pendingFilter_.reset();
  guard_.reset();
  if (root_ && !root_->parent()) delete root_.data();
}

void QtForm::setTextTrace(TextTrace trace) {
  g_textTrace = trace;
}

void QtForm::indexControls() {
  index_.clear();
  for (auto& [id, control] : controls_) index_.emplace_back(id, &control);
}

QtForm::Control* QtForm::find(int id) {
  auto at =
      std::lower_bound(index_.begin(), index_.end(), id,
                       [](const std::pair<int, Control*>& entry, int key) { return entry.first < key; });
  if (at != index_.end() && at->first == id && at->second->widget) return at->second;
  auto it = controls_.find(id);
  if (it == controls_.end() || !it->second.widget) {
    qWarning("Orlo_PC: window '%s' has no control %d", table_.window.name.c_str(), id);
    return nullptr;
  }
  return &it->second;
}

const QtForm::Control* QtForm::find(int id) const {
  return const_cast<QtForm*>(this)->find(id);
}

QWidget* QtForm::control(int id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second.widget.data();
}

QTabWidget* QtForm::tabWidget(int id) const {
  return qobject_cast<QTabWidget*>(control(id));
}

void QtForm::setTabPage(int id, int index, QWidget* page, const std::string& caption) {
  QTabWidget* tabs = tabWidget(id);
  if (!tabs || index < 0) return;
  const bool quiet = settingProgrammatically_;
  settingProgrammatically_ = true;
  while (tabs->count() < index) tabs->addTab(new QWidget, QString());
  if (index < tabs->count()) {
    QWidget* old = tabs->widget(index);
    tabs->removeTab(index);
    delete old;
  }
  // Inside a tab a page fills the tab's whole display area; its table size is its minimum.
  page->setMinimumSize(page->size());
  page->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  tabs->insertTab(index, page, QString::fromStdString(caption));
  tabs->setCurrentIndex(0);
  settingProgrammatically_ = quiet;
}

std::string QtForm::text(int id) const {
  const Control* c = find(id);
  if (!c) return {};
  QWidget* w = c->widget;
  if (c->editTextPending) return c->editText;
  if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text().toStdString();
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text().toStdString();
  if (auto* lamp = qobject_cast<QToolButton*>(w)) return lamp->toolTip().toStdString();
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text().toStdString();
  if (auto* cb = qobject_cast<QComboBox*>(w)) return cb->currentText().toStdString();
  if (auto* t = qobject_cast<QTabWidget*>(w)) return t->tabText(t->currentIndex()).toStdString();
  return {};
}

void QtForm::setText(int id, const std::string& text) {
  Control* c = find(id);
  if (!c) return;
  QWidget* w = c->widget;
  if (c->edit != nullptr && c->editTextKnown && c->editText == text) {
    // Live values are written on every frame and many repeat; a box that already shows the
    // text from its start would only be laid out and repainted again.
  } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
    c->editText = text;
    if (c->edit != nullptr && e->isReadOnly() && !e->isVisible()) {
      if (!c->editTextPending) e->installEventFilter(pendingFilter_.get());
      c->editTextPending = true;
      c->editTextKnown = true;
    } else {
      showEditText(*c);
    }
  } else if (auto* l = qobject_cast<QLabel*>(w)) {
    l->setText(QString::fromStdString(text));
  } else if (auto* lamp = qobject_cast<QToolButton*>(w)) {
    lamp->setToolTip(QString::fromStdString(text));
  } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
    b->setText(QString::fromStdString(text));
  } else if (auto* cb = qobject_cast<QComboBox*>(w)) {
    if (cb->isEditable()) cb->setEditText(QString::fromStdString(text));
  }
  if (c->nameFromCaption) followCaption(id, text);
  if (g_textTrace) g_textTrace(id, text);
}

void QtForm::showEditText(Control& c) {
  auto* e = qobject_cast<QLineEdit*>(c.widget);
  if (e == nullptr) return;
  if (c.editTextPending) e->removeEventFilter(pendingFilter_.get());
  c.editTextPending = false;
  const QString shown = QString::fromStdString(c.editText);
  if (e->text() != shown || e->cursorPosition() != 0 || e->hasSelectedText()) {
    e->setText(shown);
    e->setCursorPosition(0);
  }
  // After the signals of the change above, which forget what was known.
  c.editTextKnown = c.edit != nullptr;
}

void QtForm::showPendingText(QObject* edit) {
  for (auto& [id, control] : controls_)
    if (control.editTextPending && control.widget == edit) return showEditText(control);
}

void QtForm::followCaption(int id, const std::string& caption) {
  auto shown = captions_.find(id);
  if (shown != captions_.end() ? shown->second == caption : controls_[id].row->text == caption) return;
  captions_[id] = caption;
  // A new caption can make a word unique or repeated, so every name is worked out again.
  for (const auto& [other, name] : accessibleNames(table_, captions_)) {
    auto it = controls_.find(other);
    if (it == controls_.end() || it->second.name == name) continue;
    it->second.name = name;
    applyAccessibleName(it->second);
  }
}

void QtForm::applyAccessibleName(Control& control) {
  if (!control.widget) return;
  const std::string name = control.iconShown ? lampAccessibleName(control.name, control.icon) : control.name;
  if (auto* combo = qobject_cast<QComboBox*>(control.widget.data()))
    nameComboBox(combo, QString::fromStdString(name));
  else
    control.widget->setAccessibleName(QString::fromStdString(name));
}

bool QtForm::isEnabled(int id) const {
  const Control* c = find(id);
  return c && c->widget->isEnabledTo(root_);
}

void QtForm::setEnabled(int id, bool enabled) {
  if (Control* c = find(id)) c->widget->setEnabled(enabled);
}

bool QtForm::isReadOnly(int id) const {
  const Control* c = find(id);
  if (!c) return false;
  if (auto* e = qobject_cast<QLineEdit*>(c->widget)) return e->isReadOnly();
  if (auto* cb = qobject_cast<QComboBox*>(c->widget)) return cb->lineEdit() && cb->lineEdit()->isReadOnly();
  return false;
}

void QtForm::setReadOnly(int id, bool readOnly) {
  Control* c = find(id);
  if (!c) return;
  if (auto* e = qobject_cast<QLineEdit*>(c->widget)) {
    if (c->editTextPending) showEditText(*c);
    e->setReadOnly(readOnly);
    applyEditColours(e, colours_, readOnly);
  }
}

Icon QtForm::icon(int id) const {
  const Control* c = find(id);
  return c ? c->icon : Icon::None;
}

void QtForm::setIcon(int id, Icon icon) {
  Control* c = find(id);
  // Lamps are set on every frame; only a change needs a repaint.
  if (!c || (c->icon == icon && c->iconShown)) return;
  c->icon = icon;
  c->iconShown = true;
  if (auto* b = qobject_cast<QAbstractButton*>(c->widget)) b->setIcon(lampIcon(icon));
  applyAccessibleName(*c);
}

bool QtForm::isChecked(int id) const {
  const Control* c = find(id);
  auto* b = c ? qobject_cast<QAbstractButton*>(c->widget) : nullptr;
  return b && b->isChecked();
}

void QtForm::setChecked(int id, bool checked) {
  Control* c = find(id);
  if (auto* b = c ? qobject_cast<QAbstractButton*>(c->widget) : nullptr) b->setChecked(checked);
}

void QtForm::setItems(int id, const std::vector<std::string>& items) {
  Control* c = find(id);
  if (!c) return;
  settingProgrammatically_ = true;
  if (auto* cb = qobject_cast<QComboBox*>(c->widget)) {
    cb->clear();
    for (const auto& item : items) cb->addItem(QString::fromStdString(item));
    cb->setCurrentIndex(-1);
  } else if (auto* tabs = qobject_cast<QTabWidget*>(c->widget)) {
    // Tabs that already carry a page keep it; only their captions change.
    for (std::size_t i = 0; i < items.size(); ++i) {
      const int index = static_cast<int>(i);
      if (index < tabs->count())
        tabs->setTabText(index, QString::fromStdString(items[i]));
      else
        tabs->addTab(new QWidget, QString::fromStdString(items[i]));
    }
  }
  settingProgrammatically_ = false;
}

int QtForm::currentIndex(int id) const {
  const Control* c = find(id);
  if (!c) return -1;
  if (auto* cb = qobject_cast<QComboBox*>(c->widget)) return cb->currentIndex();
  if (auto* tabs = qobject_cast<QTabWidget*>(c->widget)) return tabs->currentIndex();
  return -1;
}

void QtForm::setCurrentIndex(int id, int index) {
  Control* c = find(id);
  if (!c) return;
  settingProgrammatically_ = true;
  if (auto* cb = qobject_cast<QComboBox*>(c->widget)) {
    cb->setCurrentIndex(index >= 0 && index < cb->count() ? index : -1);
  } else if (auto* tabs = qobject_cast<QTabWidget*>(c->widget)) {
    if (index >= 0 && index < tabs->count()) tabs->setCurrentIndex(index);
  }
  settingProgrammatically_ = false;
}

void QtForm::messageBox(const std::string& text, const std::string& caption) {
  showMessageBox(root_ ? root_->window() : nullptr, text, caption);
}

std::optional<std::string> QtForm::askSaveFile(const FileDialogRequest& request) {
  return askFile(root_ ? root_->window() : nullptr, true, request);
}

std::optional<std::string> QtForm::askOpenFile(const FileDialogRequest& request) {
  return askFile(root_ ? root_->window() : nullptr, false, request);
}

void QtForm::startTimer(int timerId, int periodMs) {
  timers_->start(timerId, periodMs);
}

void QtForm::startTimerOnBeat(int timerId, int periodMs, int offsetMs) {
  timers_->startOnBeat(timerId, periodMs, offsetMs);
}

void QtForm::pauseTimer(int timerId) {
  timers_->pause(timerId);
}

void QtForm::resumeTimer(int timerId) {
  timers_->resume(timerId);
}

void QtForm::stopTimer(int timerId) {
  timers_->stop(timerId);
}

void QtForm::deliverClick(int id) {
  if (events_) guarded([&] { events_->onClicked(id); });
}

void QtForm::deliverSelection(int id) {
  if (events_ && !settingProgrammatically_) guarded([&] { events_->onSelectionChanged(id); });
}

void QtForm::deliverTimer(int timerId) {
  if (events_) guarded([&] { events_->onTimer(timerId); });
}

}  // namespace orlo::ui
