#pragma once
// The passive view (orlo::Form) on real Qt widgets, built from a window's layout table.
// Generic: no code here knows any particular window; a new control is a new table row.

#include <QPointer>
#include <QWidget>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/form/form_builder.h"
#include "ui/form/form_style.h"
#include "ui/form/form_timers.h"
#include "view/control_ids.h"
#include "view/form.h"
#include "view/form_of.h"
#include "view/layout_table.h"

class QLineEdit;
class QTabWidget;

namespace orlo::ui {

class QtForm : public Form, public TypedFormCalls<QtForm> {
 public:
  // Builds the widgets under a new widget (a top-level window when parent is null).
  QtForm(const LayoutTable& table, const FormColours& colours, QWidget* parent = nullptr);
  ~QtForm() override;
  QtForm(const QtForm&) = delete;
  QtForm& operator=(const QtForm&) = delete;

  // Clicks, ticks and selection changes go here (nothing is delivered while unset).
  void setEvents(FormEvents* events) { events_ = events; }

  QWidget* widget() const { return root_; }
  const LayoutTable& table() const { return table_; }
  // The widget of a control id, or nullptr.
  QWidget* control(int id) const;
  QTabWidget* tabWidget(int id) const;
  // Puts a page widget into tab `index` of a tab control (creating tabs up to it as needed).
  void setTabPage(int id, int index, QWidget* page, const std::string& caption);

  std::string text(int id) const override;
  void setText(int id, const std::string& text) override;
  bool isEnabled(int id) const override;
  void setEnabled(int id, bool enabled) override;
  bool isReadOnly(int id) const override;
  void setReadOnly(int id, bool readOnly) override;
  Icon icon(int id) const override;
  void setIcon(int id, Icon icon) override;
  bool isChecked(int id) const override;
  void setChecked(int id, bool checked) override;
  void setItems(int id, const std::vector<std::string>& items) override;
  int currentIndex(int id) const override;
  void setCurrentIndex(int id, int index) override;
  void messageBox(const std::string& text, const std::string& caption = {}) override;
  std::optional<std::string> askSaveFile(const FileDialogRequest& request) override;
  std::optional<std::string> askOpenFile(const FileDialogRequest& request) override;
  void startTimer(int timerId, int periodMs) override;
  void startTimerOnBeat(int timerId, int periodMs, int offsetMs) override;
  void pauseTimer(int timerId) override;
  void resumeTimer(int timerId) override;
  void stopTimer(int timerId) override;

  // The same with a window's typed ids (view/control_ids.h).
  ORLO_TYPED_FORM_CALLS(QtForm);
  template <class Id, class = std::enable_if_t<kIsControlId<Id>>>
  QWidget* control(Id id) const {
    return control(idNumber(id));
  }
  template <class Id, class = std::enable_if_t<kIsControlId<Id>>>
  QTabWidget* tabWidget(Id id) const {
    return tabWidget(idNumber(id));
  }
  template <class Id, class = std::enable_if_t<kIsControlId<Id>>>
  void setTabPage(Id id, int index, QWidget* page, const std::string& caption) {
    setTabPage(idNumber(id), index, page, caption);
  }

  // Diagnostics for latency measurements: every setText is also reported here (with the
  // control id and new text) when a sink is set. Process-wide; unset by default.
  using TextTrace = void (*)(int id, const std::string& text);
  static void setTextTrace(TextTrace trace);

 private:
  template <class Id>
  static constexpr bool kTakes = kIsControlId<Id>;
  template <class Id>
  static int idOf(Id id) {
    return idNumber(id);
  }
  const Form& typedTarget() const { return *this; }
  Form& typedTarget() { return *this; }

  struct Control {
    const LayoutControl* row = nullptr;
    QPointer<QWidget> widget;
    Icon icon = Icon::None;
    bool iconShown = false;  // set once setIcon has been called
    std::string name;        // accessible name before any colour word
    bool nameFromCaption = false;
    // For a line edit: the text setText last gave it, while nothing else has touched the box
    // (typing, selecting, moving the cursor), so a repeated value is told apart without
    // reading the widget.
    QLineEdit* edit = nullptr;
    std::string editText;
    bool editTextKnown = false;
    // A read-only box not on screen (a page behind another tab) gets editText when it is shown,
    // so that no time goes on laying out text nobody sees.
    bool editTextPending = false;
  };
  Control* find(int id);
  const Control* find(int id) const;
  void adopt(const BuiltControl& built, const std::map<int, std::string>& names);
  void connectSignals(int id, QWidget* widget);
  void showEditText(Control& control);
  void showPendingText(QObject* edit);
  void applyAccessibleName(Control& control);
  void followCaption(int id, const std::string& caption);
  void deliverClick(int id);
  void deliverSelection(int id);
  void deliverTimer(int timerId);

  LayoutTable table_;
  FormColours colours_;
  QPointer<QWidget> root_;
  // Context of every signal connection: they end with the form even if its widgets live on.
  std::unique_ptr<QObject> guard_;
  std::unique_ptr<QObject> pendingFilter_;  // a pending box's Show event comes here
  std::map<int, Control> controls_;
  // The same controls in one sorted array, for the lookups of every frame.
  std::vector<std::pair<int, Control*>> index_;
  void indexControls();
  // Captions set at run time, by id, for the controls whose accessible name is their caption.
  std::map<int, std::string> captions_;
  std::unique_ptr<FormTimers> timers_;
  FormEvents* events_ = nullptr;
  // Only a selection the user makes is delivered; the program's own changes stay silent.
  bool settingProgrammatically_ = false;
};

}  // namespace orlo::ui
