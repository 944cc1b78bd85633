#pragma once
// Builds a QtForm's widgets from its layout table: groups on grids, each grid column three
// cells wide (label, widget, unit), one widget factory per control kind.

#include <QString>
#include <map>
#include <string>

#include "ui/form/qt_form.h"

class QGridLayout;

namespace orlo::ui {

class FormBuilder {
 public:
  explicit FormBuilder(QtForm& form) : form_(form) {}
  void build();

 private:
  struct Container {
    QWidget* widget = nullptr;
    QGridLayout* grid = nullptr;
  };
  void buildGroups();
  void buildControl(const LayoutControl& row, const std::map<int, std::string>& names);
  QWidget* makeWidget(const LayoutControl& row, QWidget* parent);
  void connectSignals(const LayoutControl& row, QWidget* widget);
  void place(const LayoutControl& row, QWidget* widget, Container& where);
  void applyFlags(const LayoutControl& row, QWidget* widget);
  QWidget* makeLabel(const QString& text, QWidget* parent) const;

  QtForm& form_;
  std::map<std::string, Container> containers_;
  std::map<std::string, QObject*> radioGroups_;  // current exclusive radio group per layout group
};

}  // namespace orlo::ui
