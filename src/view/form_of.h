#pragma once
// A window's Form seen through its typed ids: the same operations as Form, each taking the
// window's own id type, so a page holding FormOf<BmsId> cannot address another window's
// control. FormEventsOf turns the ui layer's numeric clicks back into the window's ids in
// one place.

#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "view/control_ids.h"
#include "view/form.h"

namespace orlo {

// Form's operations by a window's typed id, written once for every Form that takes them
// (FormOf below, the ui layer's QtForm, the tests' FakeForm). `Self` says which id types it
// takes (Self::kTakes<Id>), turns an id into the number its Form knows (Self::idOf, which may
// check that the id is its window's) and names that Form (Self::typedTarget). A class that
// also declares Form's own int overloads brings these in with `using`.
template <class Self>
class TypedFormCalls {
  // S is Self, named late so that Self is complete when it is asked.
  template <class S, class Id>
  using If = std::enable_if_t<S::template kTakes<Id>>;

 public:
  template <class Id, class S = Self, class = If<S, Id>>
  std::string text(Id id) const {
    return self().typedTarget().text(self().idOf(id));
  }
  template <class Id, class S = Self, class = If<S, Id>>
  void setText(Id id, const std::string& text) {
    self().typedTarget().setText(self().idOf(id), text);
  }
  template <class Id, class S = Self, class = If<S, Id>>
  bool isEnabled(Id id) const {
    return self().typedTarget().isEnabled(self().idOf(id));
  }
  template <class Id, class S = Self, class = If<S, Id>>
  void setEnabled(Id id, bool enabled) {
    self().typedTarget().setEnabled(self().idOf(id), enabled);
  }
  template <class Id, class S = Self, class = If<S, Id>>
  bool isReadOnly(Id id) const {
    return self().typedTarget().isReadOnly(self().idOf(id));
  }
  template <class Id, class S = Self, class = If<S, Id>>
  void setReadOnly(Id id, bool readOnly) {
    self().typedTarget().setReadOnly(self().idOf(id), readOnly);
  }
  template <class Id, class S = Self, class = If<S, Id>>
  Icon icon(Id id) const {
    return self().typedTarget().icon(self().idOf(id));
  }
  template <class Id, class S = Self, class = If<S, Id>>
  void setIcon(Id id, Icon icon) {
    self().typedTarget().setIcon(self().idOf(id), icon);
  }
  template <class Id, class S = Self, class = If<S, Id>>
  bool isChecked(Id id) const {
    return self().typedTarget().isChecked(self().idOf(id));
  }
  template <class Id, class S = Self, class = If<S, Id>>
  void setChecked(Id id, bool checked) {
    self().typedTarget().setChecked(self().idOf(id), checked);
  }
  template <class Id, class S = Self, class = If<S, Id>>
  void setItems(Id id, const std::vector<std::string>& items) {
    self().typedTarget().setItems(self().idOf(id), items);
  }
  template <class Id, class S = Self, class = If<S, Id>>
  int currentIndex(Id id) const {
    return self().typedTarget().currentIndex(self().idOf(id));
  }
  template <class Id, class S = Self, class = If<S, Id>>
  void setCurrentIndex(Id id, int index) {
    self().typedTarget().setCurrentIndex(self().idOf(id), index);
  }

 private:
  const Self& self() const { return static_cast<const Self&>(*this); }
  Self& self() { return static_cast<Self&>(*this); }
};

// The names a class that also overrides Form's int operations brings in from TypedFormCalls.
#define ORLO_TYPED_FORM_CALLS(Self)            \
  using TypedFormCalls<Self>::text;            \
  using TypedFormCalls<Self>::setText;         \
  using TypedFormCalls<Self>::isEnabled;       \
  using TypedFormCalls<Self>::setEnabled;      \
  using TypedFormCalls<Self>::isReadOnly;      \
  using TypedFormCalls<Self>::setReadOnly;     \
  using TypedFormCalls<Self>::icon;            \
  using TypedFormCalls<Self>::setIcon;         \
  using TypedFormCalls<Self>::isChecked;       \
  using TypedFormCalls<Self>::setChecked;      \
  using TypedFormCalls<Self>::setItems;        \
  using TypedFormCalls<Self>::currentIndex;    \
  using TypedFormCalls<Self>::setCurrentIndex; \
  friend class TypedFormCalls<Self>

template <class Id>
class FormOf : public TypedFormCalls<FormOf<Id>> {
  static_assert(kIsControlId<Id>, "FormOf needs a window's control id type");

 public:
  explicit FormOf(Form& form) : form_(form) {}

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
  friend class TypedFormCalls<FormOf<Id>>;
  // Only its own window's ids.
  template <class Other>
  static constexpr bool kTakes = std::is_same_v<Other, Id>;
  int idOf(Id id) const { return idNumber(id); }
  Form& typedTarget() const { return form_; }

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
