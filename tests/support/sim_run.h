#pragma once
// The whole tool below its Qt layer against the simulator's board, in simulated time: the main
// window and its four pages on FakeForms, a SimSerialControl on an in-process BoardModel, and a
// manual clock that fires the forms' timers at their periods while it moves the line on. A test
// says `run.pressStartUp(); run.advance(3000);` and three seconds of polls, answers, frame ticks
// and link checks happen in order, in no wall-clock time at all.
//
// Header only: the programs that include it link orlo_app; the rest of the support library
// stays below the app layer.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "app/main_window.h"
#include "link/receive_observer.h"
#include "sim/board_model.h"
#include "support/fake_form.h"
#include "support/fixed_clock.h"
#include "support/scratch_files.h"
#include "support/sim_serial_control.h"
#include "view/alarm_parameter_ids.h"
#include "view/balance_test_ids.h"
#include "view/bms_parameter_ids.h"
#include "view/current_calibration_ids.h"
#include "view/main_window_ids.h"

namespace orlo::test {

// Timers as Qt keeps them: a timer started (again) at t with period p fires at t + p, t + 2p,
// ...; timers due at the same moment fire in the order they were (re)armed.
class ManualClock {
 public:
  std::int64_t nowMs() const { return nowMs_; }

  void start(int form, int timerId, int periodMs) {
    timers_[{form, timerId}] = Timer{periodMs, nowMs_ + std::max(periodMs, 1), ++armed_};
    paused_.erase({form, timerId});
  }
  void startOnBeat(int form, int timerId, int periodMs, int offsetMs) {
    timers_[{form, timerId}] =
        Timer{periodMs, nextBeatMs(nowMs_, periodMs, offsetMs, false), ++armed_, offsetMs};
    paused_.erase({form, timerId});
  }
  void stop(int form, int timerId) {
    timers_.erase({form, timerId});
    paused_.erase({form, timerId});
  }
  // A paused timer keeps its beat: resumed, it is due at the first multiple of its period
  // not yet passed.
  void pause(int form, int timerId) {
    auto it = timers_.find({form, timerId});
    if (it == timers_.end()) return;
    paused_[{form, timerId}] = {it->second.periodMs, it->second.offsetMs};
    timers_.erase(it);
  }
  void resume(int form, int timerId) {
    auto it = paused_.find({form, timerId});
    if (it == paused_.end()) return;
    const auto [periodMs, offsetMs] = it->second;
    timers_[{form, timerId}] =
        Timer{periodMs, nextBeatMs(nowMs_, periodMs, offsetMs, true), ++armed_, offsetMs};
    paused_.erase(it);
  }

  // Fires every timer due up to `untilMs`, earliest first; before each firing `moveTo` brings
  // the rest of the world to its moment. Ends at `untilMs`, or earlier once `done` says so
  // after a firing. Returns whether `done` did.
  bool run(std::int64_t untilMs, const std::function<void(std::int64_t)>& moveTo,
           const std::function<void(int form, int timerId)>& fire, const std::function<bool()>& done) {
    for (;;) {
      auto next = std::min_element(timers_.begin(), timers_.end(), [](const auto& a, const auto& b) {
        return std::tie(a.second.dueMs, a.second.armed) < std::tie(b.second.dueMs, b.second.armed);
      });
      const std::int64_t timerDue = next == timers_.end() ? untilMs + 1 : next->second.dueMs;
      // Bytes wake the window between two timers, as a readable port wakes its event loop.
      const std::optional<std::int64_t> arrival = nextArrival ? nextArrival() : std::nullopt;
      if (arrival && *arrival <= untilMs && *arrival < timerDue) {
        nowMs_ = std::max(nowMs_, *arrival);
        moveTo(nowMs_);
        if (done && done()) return true;
        continue;
      }
      if (timerDue > untilMs) break;
      const auto [form, timerId] = next->first;
      Timer& timer = next->second;
      nowMs_ = timer.dueMs;
      timer.dueMs += std::max(timer.periodMs, 1);
      timer.armed = ++armed_;
      ++firings_[{form, timerId}];
      moveTo(nowMs_);
      fire(form, timerId);  // may stop or restart any timer
      if (done && done()) return true;
    }
    nowMs_ = std::max(nowMs_, untilMs);
    moveTo(nowMs_);
    return done && done();
  }

  int firings(int form, int timerId) const {
    auto it = firings_.find({form, timerId});
    return it == firings_.end() ? 0 : it->second;
  }
  // When the next bytes reach the window, if any are on their way.
  std::function<std::optional<std::int64_t>()> nextArrival;

 private:
  struct Timer {
    int periodMs;
    std::int64_t dueMs;
    std::uint64_t armed;
    int offsetMs = 0;
  };
  std::map<std::pair<int, int>, Timer> timers_;
  std::map<std::pair<int, int>, std::pair<int, int>> paused_;  // period and beat offset
  std::map<std::pair<int, int>, int> firings_;
  std::int64_t nowMs_ = 0;
  std::uint64_t armed_ = 0;
};

// A FakeForm whose timers run on a ManualClock, and which keeps every text one control was
// given (a status line shown and cleared between two looks of the test).
class ClockedForm : public FakeForm {
 public:
  ClockedForm(const std::string& window, ManualClock& clock, int number)
      : FakeForm(window), clock_(clock), number_(number) {}

  template <class Id>
  void traceTexts(Id id) {
    traced_ = idNumber(id);
    tracedTexts.clear();
  }
  std::vector<std::string> tracedTexts;
  bool shown(const std::string& text) const {
    return std::find(tracedTexts.begin(), tracedTexts.end(), text) != tracedTexts.end();
  }

  using FakeForm::setText;
  void setText(int id, const std::string& text) override {
    FakeForm::setText(id, text);
    if (id == traced_) tracedTexts.push_back(text);
  }

  void startTimer(int timerId, int periodMs) override {
    FakeForm::startTimer(timerId, periodMs);
    clock_.start(number_, timerId, periodMs);
  }
  void startTimerOnBeat(int timerId, int periodMs, int offsetMs) override {
    FakeForm::startTimerOnBeat(timerId, periodMs, offsetMs);
    clock_.startOnBeat(number_, timerId, periodMs, offsetMs);
  }
  void stopTimer(int timerId) override {
    FakeForm::stopTimer(timerId);
    clock_.stop(number_, timerId);
  }
  void pauseTimer(int timerId) override { clock_.pause(number_, timerId); }
  void resumeTimer(int timerId) override { clock_.resume(number_, timerId); }

 private:
  ManualClock& clock_;
  int number_;
  int traced_ = -1;
};

// Page of each window's ids, as MainWindow::pageEvents numbers them.
template <class Id>
constexpr int kPageOf = -1;
template <>
inline constexpr int kPageOf<BmsId> = 0;
template <>
inline constexpr int kPageOf<BalanceId> = 1;
template <>
inline constexpr int kPageOf<AlarmId> = 2;
template <>
inline constexpr int kPageOf<CalibrationId> = 3;

class SimRun : public ReceiveObserver {
 public:
  static constexpr int kMainForm = 4;

  SimRun() {
    timers.nextArrival = [this] { return line.nextArrivalMs(); };
    clock.now.tm_year = 126;
    clock.now.tm_mon = 11;
    clock.now.tm_mday = 7;
    clock.now.tm_hour = 14;
    window_ = std::make_unique<MainWindow>(
        form, PageForms{bmsForm, balanceForm, alarmForm, calibrationForm}, line, clock,
        MainWindowOptions{"/nonexistent", files.path(), files.file("data")});
    window_->receiver().setObserver(this);
    window_->onInitDialog();
  }
  ~SimRun() override { window_->receiver().setObserver(nullptr); }
  SimRun(const SimRun&) = delete;
  SimRun& operator=(const SimRun&) = delete;

  MainWindow& window() { return *window_; }

  // COM1 selected, "Start Up" pressed.
  void pressStartUp() {
    window_->selectPort(1);
    window_->onClicked(MainId::StartUp);
  }
  void click(MainId id) { window_->onClicked(id); }
  template <class Id>
  void click(Id id) {
    static_assert(kPageOf<Id> >= 0, "a page's id");
    window_->pageEvents(kPageOf<Id>).onClicked(idNumber(id));
  }

  std::int64_t nowMs() const { return timers.nowMs(); }
  // `ms` of simulated time: every timer due in it fires, every answer due in it arrives.
  void advance(std::int64_t ms) { timers.run(nowMs() + ms, moveTo(), fire(), nullptr); }
  // Moves on timer by timer until `done` (checked after each firing) or `limitMs` have passed.
  bool advanceUntil(const std::function<bool()>& done, std::int64_t limitMs = 10000) {
    if (done()) return true;
    return timers.run(nowMs() + limitMs, moveTo(), fire(), done);
  }

  // Frames the window's receive path handed to its handlers, in order, with their command
  // byte; `command(c)` keeps those of one command.
  std::vector<Bytes> dispatched;
  std::vector<std::int64_t> dispatchedAtMs;  // when each was, same order
  std::size_t countDispatched(bool (*which)(const Bytes&)) const {
    return static_cast<std::size_t>(std::count_if(dispatched.begin(), dispatched.end(), which));
  }
  std::vector<Bytes> command(std::uint8_t c) const {
    std::vector<Bytes> out;
    for (const Bytes& f : dispatched)
      if (f.size() > 2 && f[2] == c) out.push_back(f);
    return out;
  }
  // The requests the board received whose first bytes are `prefix`.
  std::vector<Bytes> written(const Bytes& prefix) const {
    std::vector<Bytes> out;
    for (const Bytes& block : line.written)
      if (block.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), block.begin()))
        out.push_back(block);
    return out;
  }
  // Every message box of the five forms, in no particular order across forms.
  std::vector<std::string> messages() const {
    std::vector<std::string> out;
    const FakeForm* const forms[] = {&form, &bmsForm, &balanceForm, &alarmForm, &calibrationForm};
    for (const FakeForm* f : forms)
      for (const auto& m : f->messages()) out.push_back(m.text);
    return out;
  }

  void onFrameAccepted(const std::uint8_t*, std::size_t) override {}
  void onFrameDispatched(const std::uint8_t* frame, std::size_t size) override {
    dispatched.emplace_back(frame, frame + size);
    dispatchedAtMs.push_back(nowMs());
  }
  void onDropped(DropReason, const std::uint8_t*, std::size_t) override {}

  sim::BoardModel board;
  SimSerialControl line{board, false};
  ManualClock timers;
  ClockedForm bmsForm{"bms_parameter", timers, 0};
  ClockedForm balanceForm{"balance_test", timers, 1};
  ClockedForm alarmForm{"alarm_parameter", timers, 2};
  ClockedForm calibrationForm{"current_calibration", timers, 3};
  ClockedForm form{"main", timers, kMainForm};
  FixedClock clock;
  ScratchDir files{"orlo-sim-run"};

 private:
  std::function<void(std::int64_t)> moveTo() {
    return [this](std::int64_t ms) { line.advanceTo(ms); };
  }
  std::function<void(int, int)> fire() {
    return [this](int formNumber, int timerId) {
      if (formNumber == kMainForm)
        window_->onTimer(timerId);
      else
        window_->pageEvents(formNumber).onTimer(timerId);
    };
  }

  std::unique_ptr<MainWindow> window_;
};

}  // namespace orlo::test
