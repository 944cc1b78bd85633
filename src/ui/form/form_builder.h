#pragma once
// Builds a QtForm's widgets from its layout table: groups on grids, each grid column three
// cells wide (label, widget, unit), one widget factory per control kind.

#include <QString>
#include <map>
#include <string>
#include <vector>

#include "ui/form/form_style.h"
#include "view/layout_table.h"

class QGridLayout;
class QWidget;

namespace orlo::ui {

// A control the builder made, for the form to take over.
struct BuiltControl {
  const LayoutControl* row = nullptr;
  QWidget* widget = nullptr;
};

class FormBuilder {
 public:
  // `table` must outlive what build() returns: each control points at its row.
  FormBuilder(const LayoutTable& table, const FormColours& colours) : table_(table), colours_(colours) {}
  // Builds the window's widgets under `root` and returns the controls that have an id, in the
  // order of the table.
  std::vector<BuiltControl> build(QWidget* root);

 private:
  struct Container {
    QWidget* widget = nullptr;
    QGridLayout* grid = nullptr;
  };
  void buildGroups();
  void buildControl(const LayoutControl& row, std::vector<BuiltControl>& built);
  QWidget* makeWidget(const LayoutControl& row, QWidget* parent);
  void place(const LayoutControl& row, QWidget* widget, Container& where);
  void applyFlags(const LayoutControl& row, QWidget* widget);
  QWidget* makeLabel(const QString& text, QWidget* parent) const;

  const LayoutTable& table_;
  const FormColours& colours_;
  std::map<std::string, Container> containers_;
  std::map<std::string, QObject*> radioGroups_;  // current exclusive radio group per layout group
};

}  // namespace orlo::ui
