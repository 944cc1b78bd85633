#pragma once
// The About box: the program's name, version and icon from its layout table; OK or Escape
// closes it.

#include <QDialog>
#include <memory>
#include <string>

#include "ui/form/qt_form.h"
#include "util/result.h"

namespace orlo::ui {

class AboutBox : public QDialog {
 public:
  // nullptr with a reason when its layout table is broken.
  static Result<std::unique_ptr<AboutBox>> create(QWidget* parent);
  ~AboutBox() override;

 private:
  class Events;
  explicit AboutBox(QWidget* parent);

  std::unique_ptr<QtForm> form_;
  std::unique_ptr<Events> events_;
};

}  // namespace orlo::ui
