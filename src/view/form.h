#pragma once
// The passive view every window and page talks to. Controls are addressed by their numeric
// dialog ids (one ids header per window); the ui layer builds the widgets from the window's
// layout table in resources/layouts and implements this interface on them. Unit tests use
// FakeForm (tests/support), which also checks that each id exists in the window's table.

#include <optional>
#include <string>
#include <vector>

namespace orlo {

// Icon resources: plain filled squares.
enum class Icon : int {
  None = 0,
  BalanceRed = 135,  // red, a cell is balancing
  Grey = 136,        // grey, a cell is not balancing
  Green = 140,       // green: flag clear, port open, link alive, MOSFET on
  Red = 141,         // red: flag set, port closed, link dead, MOSFET off
};

// The colour word screen readers hear for a lamp: "green", "red", "grey", "" for none.
inline const char* iconColourWord(Icon icon) {
  switch (icon) {
    case Icon::Green:
      return "green";
    case Icon::Red:
    case Icon::BalanceRed:
      return "red";
    case Icon::Grey:
      return "grey";
    case Icon::None:
      break;
  }
  return "";
}

struct FileDialogRequest {
  std::string filter;        // as the Windows filter string, e.g. "File (*.csv;)|*.csv;||"
  std::string startFolder;   // folder the dialog opens in
  std::string proposedName;  // file name offered ("" for none)
  bool confirmOverwrite = false;
};

// What the ui layer calls on the owner of a form: clicks, timer ticks, selection changes.
class FormEvents {
 public:
  virtual ~FormEvents() = default;
  virtual void onClicked(int /*id*/) {}
  virtual void onTimer(int /*timerId*/) {}
  virtual void onSelectionChanged(int /*id*/) {}
};

class Form {
 public:
  virtual ~Form() = default;

  // Text of an edit or static text; caption of a button, check box or radio button.
  virtual std::string text(int id) const = 0;
  virtual void setText(int id, const std::string& text) = 0;

  virtual bool isEnabled(int id) const = 0;
  virtual void setEnabled(int id, bool enabled) = 0;
  virtual bool isReadOnly(int id) const = 0;
  virtual void setReadOnly(int id, bool readOnly) = 0;

  // Icon buttons (lamps).
  virtual Icon icon(int id) const = 0;
  virtual void setIcon(int id, Icon icon) = 0;

  // Check boxes and radio buttons.
  virtual bool isChecked(int id) const = 0;
  virtual void setChecked(int id, bool checked) = 0;

  // Combo boxes and the tab control: items and the current index (-1 for none).
  virtual void setItems(int id, const std::vector<std::string>& items) = 0;
  virtual int currentIndex(int id) const = 0;
  virtual void setCurrentIndex(int id, int index) = 0;

  // A modal message box with one OK button. An empty caption shows the application's name.
  virtual void messageBox(const std::string& text, const std::string& caption = {}) = 0;

  // File dialogs; std::nullopt when the user cancels. The answer is a full path.
  virtual std::optional<std::string> askSaveFile(const FileDialogRequest& request) = 0;
  virtual std::optional<std::string> askOpenFile(const FileDialogRequest& request) = 0;

  // Window timers: the owner's onTimer(timerId) runs every periodMs until stopped.
  // Starting a running timer restarts it with the new period.
  virtual void startTimer(int timerId, int periodMs) = 0;
  // As startTimer, with every tick on the monotonic clock's multiples of the period plus
  // offsetMs (the first at the next of them): timers on one beat fire in one wake-up.
  virtual void startTimerOnBeat(int timerId, int periodMs, int offsetMs) = 0;
  virtual void stopTimer(int timerId) = 0;
  // A paused timer keeps its beat: resumed, it fires next at the first multiple of its period
  // on the monotonic clock that has not passed, where a running timer's ticks settle, and then
  // every period. Pausing a stopped or paused timer, or resuming one that runs, changes nothing.
  virtual void pauseTimer(int timerId) = 0;
  virtual void resumeTimer(int timerId) = 0;
};

// The next tick of a beat (the multiples of periodMs plus offsetMs) after nowMs, or nowMs itself
// if it is one and orNow: where a timer on that beat fires next.
inline long long nextBeatMs(long long nowMs, int periodMs, int offsetMs, bool orNow) {
  const long long period = periodMs > 0 ? periodMs : 1;
  const long long sinceBeat = ((nowMs - offsetMs) % period + period) % period;
  return sinceBeat == 0 && orNow ? nowMs : nowMs + period - sinceBeat;
}

}  // namespace orlo
