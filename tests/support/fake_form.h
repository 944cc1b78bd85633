#pragma once
// A Form for unit tests. Built from a window's layout table: the initial texts, enabled and
// checked states come from the table, and touching an id the window does not have is a test
// failure (so a page cannot drift away from its layout).

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "view/form.h"
#include "view/layout_table.h"

namespace orlo::test {

struct MessageBoxCall {
  std::string text;
  std::string caption;
};

class FakeForm : public Form {
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
  void stopTimer(int timerId) override;

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
  State& state(int id);
  const State& state(int id) const;

  LayoutTable table_;
  mutable std::map<int, State> states_;
  std::vector<MessageBoxCall> messages_;
  std::vector<std::optional<std::string>> fileAnswers_;
  std::vector<FileDialogRequest> fileRequests_;
  std::map<int, int> timers_;
};

// Path of resources/layouts/<window>.layout.
std::string layoutPath(const std::string& window);

}  // namespace orlo::test
