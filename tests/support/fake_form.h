#pragma once
// A Form for unit tests. Built from a window's layout table: the initial texts, enabled and
// checked states come from the table, and touching an id the window does not have is a test
// failure (so a page cannot drift away from its layout).

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "view/control_ids.h"
#include "view/form.h"
#include "view/form_of.h"
#include "view/layout_table.h"

namespace orlo::test {

struct MessageBoxCall {
  std::string text;
  std::string caption;
};

class FakeForm : public Form, public TypedFormCalls<FakeForm> {
 public:
  // Loads resources/layouts/<window>.layout (the folder is taken from ORLO_RESOURCE_DIR).
  explicit FakeForm(const std::string& window);
  explicit FakeForm(const LayoutTable& table);

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
  void messageBox(const std::string& text, const std::string& caption) override;
  std::optional<std::string> askSaveFile(const FileDialogRequest& request) override;
  std::optional<std::string> askOpenFile(const FileDialogRequest& request) override;
  void startTimer(int timerId, int periodMs) override;
  void startTimerOnBeat(int timerId, int periodMs, int offsetMs) override;
  void stopTimer(int timerId) override;
  // Timers do not run here (sim_run.h runs them on a manual clock).
  void pauseTimer(int) override {}
  void resumeTimer(int) override {}

  // The same with a window's typed ids. An id of another window is a test failure even where
  // its number also exists here (21 numbers do on two windows).
  ORLO_TYPED_FORM_CALLS(FakeForm);
  template <class Id, class = std::enable_if_t<kIsControlId<Id>>>
  std::vector<std::string> items(Id id) const {
    return items(idOf(id));
  }

  // --- for the test ---
  const LayoutTable& table() const { return table_; }
  std::vector<std::string> items(int id) const;
  const std::vector<MessageBoxCall>& messages() const { return messages_; }
  void clearMessages() { messages_.clear(); }
  // Answers for the next file dialogs, in order; with none queued a dialog is cancelled.
  void queueFileAnswer(std::optional<std::string> answer) { fileAnswers_.push_back(std::move(answer)); }
  const std::vector<FileDialogRequest>& fileRequests() const { return fileRequests_; }
  // Period of a running timer, or 0 when it is not running.
  int timerPeriod(int timerId) const;
  int timerBeatOffset(int timerId) const;  // -1: not started on a beat

 private:
  struct State {
    std::string text;
    bool enabled = true;
    bool readOnly = false;
    Icon icon = Icon::None;
    bool checked = false;
    std::vector<std::string> items;
    int index = -1;
  };
  template <class Id>
  static constexpr bool kTakes = kIsControlId<Id>;
  template <class Id>
  int idOf(Id id) const {
    checkWindow(ControlIds<Id>::kLayout, idNumber(id));
    return idNumber(id);
  }
  const Form& typedTarget() const { return *this; }
  Form& typedTarget() { return *this; }
  void checkWindow(const char* layout, int id) const;
  State& state(int id);
  const State& state(int id) const;

  LayoutTable table_;
  mutable std::map<int, State> states_;
  std::vector<MessageBoxCall> messages_;
  std::vector<std::optional<std::string>> fileAnswers_;
  std::vector<FileDialogRequest> fileRequests_;
  std::map<int, int> timers_;
  std::map<int, int> beatOffsets_;
};

// Path of resources/layouts/<window>.layout.
std::string layoutPath(const std::string& window);

}  // namespace orlo::test
