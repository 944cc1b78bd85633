#include "ui/form/form_builder.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <functional>

#include "ui/form/digits_validator.h"
#include "ui/form/form_style.h"

namespace orlo::ui {
namespace {

QGridLayout* newGrid(QWidget* owner, bool plain) {
  auto* grid = new QGridLayout(owner);
  grid->setHorizontalSpacing(4);
  grid->setVerticalSpacing(4);
  if (plain)
    grid->setContentsMargins(0, 0, 0, 0);
  else
    grid->setContentsMargins(6, 4, 6, 4);
  return grid;
}

QLineEdit* newEdit(const LayoutControl& row, QWidget* parent, bool readOnly) {
  auto* edit = new QLineEdit(QString::fromStdString(row.text), parent);
  edit->setReadOnly(readOnly);
  edit->setMinimumWidth(36);
  if (row.hasFlag("digits")) new DigitsValidator(edit, row.hasFlag("signed"));
  if (row.hasFlag("center")) edit->setAlignment(Qt::AlignCenter);
  // Nothing behind the box needs painting when the box changes.
  if (paintsWholeLineEdit()) edit->setAttribute(Qt::WA_OpaquePaintEvent);
  return edit;
}

// An editable combo box whose typed text is never taken: only choosing an item selects one.
// Enter and leaving the box put the chosen item's text back.
class ChoiceOnly : public QObject {
 public:
  explicit ChoiceOnly(QComboBox* combo) : QObject(combo), combo_(combo) {
    combo->setInsertPolicy(QComboBox::NoInsert);
    // Completion would select the item a typed text matches.
    combo->setCompleter(nullptr);
    combo->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != combo_) return false;
    if (event->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent*>(event)->key();
      // Enter would otherwise select the item whose text was typed.
      if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        showChoice();
        return true;
      }
    } else if (event->type() == QEvent::FocusOut) {
      showChoice();
    }
    return false;
  }

 private:
  void showChoice() {
    const int index = combo_->currentIndex();
    combo_->setEditText(index >= 0 ? combo_->itemText(index) : QString());
  }
  QComboBox* combo_;
};

QWidget* newCombo(const LayoutControl& row, QWidget* parent, bool editable) {
  auto* combo = new QComboBox(parent);
  combo->setEditable(editable);
  if (editable) new ChoiceOnly(combo);
  for (const auto& item : splitItems(row.text)) {
    if (!item.empty()) combo->addItem(QString::fromStdString(item));
  }
  combo->setCurrentIndex(combo->count() > 0 ? 0 : -1);
  return combo;
}

QWidget* newLamp(const LayoutControl& row, QWidget* parent) {
  // The caption lives in the tool tip: with no icon yet a tool button would show its text.
  auto* lamp = new QToolButton(parent);
  lamp->setToolTip(QString::fromStdString(row.text));
  lamp->setToolButtonStyle(Qt::ToolButtonIconOnly);
  lamp->setAutoRaise(true);
  lamp->setIconSize(QSize(16, 16));
  lamp->setFixedSize(24, 24);
  // An indicator, not a button to tab to; it stays clickable and readable by screen readers.
  lamp->setFocusPolicy(Qt::NoFocus);
  return lamp;
}

QWidget* newTabs(const LayoutControl& row, QWidget* parent) {
  auto* tabs = new QTabWidget(parent);
  for (const auto& caption : splitItems(row.text)) {
    if (!caption.empty()) tabs->addTab(new QWidget, QString::fromStdString(caption));
  }
  tabs->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  return tabs;
}

using Factory = std::function<QWidget*(const LayoutControl&, QWidget*)>;

const std::map<std::string, Factory>& factories() {
  static const std::map<std::string, Factory> table = {
      {"edit", [](const LayoutControl& r, QWidget* p) { return newEdit(r, p, false); }},
      {"readonly", [](const LayoutControl& r, QWidget* p) { return newEdit(r, p, true); }},
      {"static",
       [](const LayoutControl& r, QWidget* p) { return new QLabel(QString::fromStdString(r.text), p); }},
      {"label",
       [](const LayoutControl& r, QWidget* p) { return new QLabel(QString::fromStdString(r.text), p); }},
      {"button",
       [](const LayoutControl& r, QWidget* p) { return new QPushButton(QString::fromStdString(r.text), p); }},
      {"check",
       [](const LayoutControl& r, QWidget* p) { return new QCheckBox(QString::fromStdString(r.text), p); }},
      {"radio", [](const LayoutControl& r,
                   QWidget* p) { return new QRadioButton(QString::fromStdString(r.text), p); }},
      {"combo", [](const LayoutControl& r, QWidget* p) { return newCombo(r, p, false); }},
      {"combo-edit", [](const LayoutControl& r, QWidget* p) { return newCombo(r, p, true); }},
      {"lamp", newLamp},
      {"tabs", newTabs},
  };
  return table;
}

}  // namespace

std::vector<BuiltControl> FormBuilder::build(QWidget* root) {
  const LayoutWindow& window = table_.window;
  root->setWindowTitle(QString::fromStdString(window.caption));
  root->setAutoFillBackground(true);
  QPalette palette = root->palette();
  palette.setColor(QPalette::Window, colours_.background);
  palette.setColor(QPalette::WindowText, Qt::black);
  palette.setColor(QPalette::Button, colours_.background);
  root->setPalette(palette);
  if (window.width > 0 && window.height > 0) root->setFixedSize(window.width, window.height);
  containers_["-"] = {root, newGrid(root, false)};
  buildGroups();
  std::vector<BuiltControl> built;
  for (const auto& row : table_.controls) buildControl(row, built);
  return built;
}

void FormBuilder::buildGroups() {
  for (const auto& g : table_.groups) {
    Container& parent = containers_[g.parent];
    if (!parent.grid) continue;
    const bool plain = g.hasFlag("plain");
    QWidget* box =
        plain ? new QWidget(parent.widget) : new QGroupBox(QString::fromStdString(g.caption), parent.widget);
    parent.grid->addWidget(box, g.row, g.col * 3, std::max(1, g.rowSpan), std::max(1, g.colSpan) * 3);
    containers_[g.key] = {box, newGrid(box, plain)};
  }
}

void FormBuilder::buildControl(const LayoutControl& row, std::vector<BuiltControl>& built) {
  auto where = containers_.find(row.group);
  if (where == containers_.end() || !where->second.grid) return;
  Container& container = where->second;
  auto factory = factories().find(row.kind);
  if (factory == factories().end()) return;
  QWidget* widget = factory->second(row, container.widget);
  applyFlags(row, widget);
  place(row, widget, container);
  if (row.kind == "edit" || row.kind == "readonly")
    applyEditColours(widget, colours_, row.kind == "readonly");
  if (row.kind == "radio") {
    if (row.hasFlag("group-first") || !radioGroups_.count(row.group))
      radioGroups_[row.group] = new QButtonGroup(container.widget);
    static_cast<QButtonGroup*>(radioGroups_[row.group])->addButton(static_cast<QRadioButton*>(widget));
  }
  if (row.id == -1)
    widget->setAccessibleName(QString::fromStdString(row.text));
  else
    built.push_back({&row, widget});
}

void FormBuilder::applyFlags(const LayoutControl& row, QWidget* widget) {
  if (row.hasFlag("disabled")) widget->setEnabled(false);
  if (row.hasFlag("checked")) {
    if (auto* b = qobject_cast<QAbstractButton*>(widget); b && b->isCheckable()) b->setChecked(true);
  }
  if (row.hasFlag("center")) {
    if (auto* l = qobject_cast<QLabel*>(widget)) l->setAlignment(Qt::AlignCenter);
  }
  if (const int icon = row.flagValue("icon", 0); icon > 0) {
    if (auto* l = qobject_cast<QLabel*>(widget)) l->setPixmap(applicationIcon(icon).pixmap(32, 32));
  }
  if (row.hasFlag("wide"))
    widget->setSizePolicy(QSizePolicy::Expanding, widget->sizePolicy().verticalPolicy());
}

QWidget* FormBuilder::makeLabel(const QString& text, QWidget* parent) const {
  auto* label = new QLabel(text, parent);
  label->setAccessibleName(text);
  return label;
}

void FormBuilder::place(const LayoutControl& row, QWidget* widget, Container& where) {
  const int base = row.col * 3;
  const int span = std::max(1, row.flagValue("span", 1));
  const int widgetCells = 3 * span - 2;
  if (row.hasFlag("above")) {
    auto* cell = new QWidget(where.widget);
    auto* stack = new QVBoxLayout(cell);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(1);
    if (!row.label.empty())
      stack->addWidget(makeLabel(QString::fromStdString(row.label), cell), 0, Qt::AlignHCenter);
    widget->setParent(cell);
    // A lamp under its label is centred on it; fields fill the column.
    stack->addWidget(widget, 0, row.kind == "lamp" ? Qt::AlignHCenter : Qt::Alignment());
    stack->addStretch(1);
    where.grid->addWidget(cell, row.row, base, 1, widgetCells + 1);
    // A readout of labelled fields reads best as even columns, whatever each label's length.
    where.grid->setColumnStretch(base, 1);
  } else {
    if (!row.label.empty())
      where.grid->addWidget(makeLabel(QString::fromStdString(row.label), where.widget), row.row, base);
    // A lamp sits right after its label, not adrift in a wide cell next to the following one.
    const Qt::Alignment align = row.kind == "lamp" ? Qt::AlignLeft | Qt::AlignVCenter : Qt::Alignment();
    where.grid->addWidget(widget, row.row, base + 1, 1, widgetCells, align);
  }
  if (!row.unit.empty())
    where.grid->addWidget(makeLabel(QString::fromStdString(row.unit), where.widget), row.row,
                          base + widgetCells + 1);
}

}  // namespace orlo::ui
