#pragma once
// A window's Form seen through its typed ids: the same operations as Form, each taking the
// window's own id type, so a page holding FormOf<BmsId> cannot address another window's
// control. FormEventsOf turns the ui layer's numeric clicks back into the window's ids in
// one place.

#include <optional>
#include <string>
#include <vector>

#include "view/control_ids.h"
#include "view/form.h"

namespace orlo {

template <class Id>
class FormOf {
  static_assert(kIsControlId<Id>, "FormOf needs a window's control id type");

 public:
  explicit FormOf(Form& form) : form_(form) {}

  std::string text(Id id) const { return form_.text(idNumber(id)); }
  void setText(Id id, const std::string& text) { form_.setText(idNumber(id), text); }
  bool isEnabled(Id id) const { return form_.isEnabled(idNumber(id)); }
  void setEnabled(Id id, bool enabled) { form_.setEnabled(idNumber(id), enabled); }
  bool isReadOnly(Id id) const { return form_.isReadOnly(idNumber(id)); }
  void setReadOnly(Id id, bool readOnly) { form_.setReadOnly(idNumber(id), readOnly); }
  Icon icon(Id id) const { return form_.icon(idNumber(id)); }
  void setIcon(Id id, Icon icon) { form_.setIcon(idNumber(id), icon); }
  bool isChecked(Id id) const { return form_.isChecked(idNumber(id)); }
  void setChecked(Id id, bool checked) { form_.setChecked(idNumber(id), checked); }
  void setItems(Id id, const std::vector<std::string>& items) { form_.setItems(idNumber(id), items); }
  int currentIndex(Id id) const { return form_.currentIndex(idNumber(id)); }
  void setCurrentIndex(Id id, int index) { form_.setCurrentIndex(idNumber(id), index); }

  void messageBox(const std::string& text, const std::string& caption = {}) {
    form_.messageBox(text, caption);
  }
  std::optional<std::string> askSaveFile(const FileDialogRequest& request) {
    return form_.askSaveFile(request);
  }
  std::optional<std::string> askOpenFile(const FileDialogRequest& request) {
    return form_.askOpenFile(request);
  }
  void startTimer(int timerId, int periodMs) { form_.startTimer(timerId, periodMs); }
  void startTimerOnBeat(int timerId, int periodMs, int offsetMs) {
    form_.startTimerOnBeat(timerId, periodMs, offsetMs);
  }
  void stopTimer(int timerId) { form_.stopTimer(timerId); }
  void pauseTimer(int timerId) { form_.pauseTimer(timerId); }
  void resumeTimer(int timerId) { form_.resumeTimer(timerId); }

 private:
  Form& form_;
};

// FormEvents for one window: its owner overrides the typed onClicked/onSelectionChanged.
template <class Id>
class FormEventsOf : public FormEvents {
  static_assert(kIsControlId<Id>, "FormEventsOf needs a window's control id type");

 public:
  void onClicked(int id) final { onClicked(static_cast<Id>(id)); }
  void onSelectionChanged(int id) final { onSelectionChanged(static_cast<Id>(id)); }
  virtual void onClicked(Id /*id*/) {}
  virtual void onSelectionChanged(Id /*id*/) {}
};

}  // namespace orlo
