#include "ui/shell/about_box.h"

#include <QVBoxLayout>

#include "ui/form/form_style.h"
#include "ui/form/layout_resource.h"

namespace orlo::ui {

// The box closes on its only button.
class AboutBox::Events : public FormEvents {
 public:
  static constexpr int kOk = 1;
  explicit Events(QDialog& dialog) : dialog_(dialog) {}
  void onClicked(int id) override {
    if (id == kOk) dialog_.accept();
  }

 private:
  QDialog& dialog_;
};

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {}

Result<std::unique_ptr<AboutBox>> AboutBox::create(QWidget* parent) {
  const Result<LayoutTable> loaded = loadLayoutResource("about");
  if (!loaded) return fail(loaded.error());
  const LayoutTable& table = *loaded;
  std::unique_ptr<AboutBox> box(new AboutBox(parent));
  box->setWindowTitle(QString::fromStdString(table.window.caption));
  box->setWindowIcon(applicationIcon(128));
  box->form_ = std::make_unique<QtForm>(table, mainWindowColours(), box.get());
  box->events_ = std::make_unique<Events>(*box);
  box->form_->setEvents(box->events_.get());
  auto* layout = new QVBoxLayout(box.get());
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(box->form_->widget());
  box->setFixedSize(box->sizeHint());
  return box;
}

AboutBox::~AboutBox() {
  if (form_) form_->setEvents(nullptr);
}

}  // namespace orlo::ui
