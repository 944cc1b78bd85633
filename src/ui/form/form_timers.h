#pragma once
// The timers of one form, by timer id: plain ones, each on its own Qt timer, and ones on a beat
// of the monotonic clock (its multiples of the period plus an offset), which share one precise
// single shot so that every timer due at the same moment fires in one pass and its window
// repaints once.

#include <functional>
#include <map>
#include <memory>

class QTimer;

namespace orlo::ui {

class FormTimers {
 public:
  // `fire` is called with the id of each timer that fires.
  explicit FormTimers(std::function<void(int timerId)> fire);
  ~FormTimers();
  FormTimers(const FormTimers&) = delete;
  FormTimers& operator=(const FormTimers&) = delete;

  void start(int timerId, int periodMs);
  void startOnBeat(int timerId, int periodMs, int offsetMs);
  // A paused timer resumes where its ticks would have been, had it run on.
  void pause(int timerId);
  void resume(int timerId);
  void stop(int timerId);

 private:
  struct Timer {
    std::unique_ptr<QTimer> timer;  // of a timer started without a beat
    int periodMs = 1;
    bool paused = false;
    // A timer on a beat runs on beat_ and is due next at dueMs, on the monotonic clock.
    bool onBeat = false;
    int offsetMs = 0;
    long long dueMs = 0;
  };
  void armBeat();
  void onBeat();

  std::function<void(int)> fire_;
  std::map<int, Timer> timers_;
  std::unique_ptr<QTimer> beat_;
};

}  // namespace orlo::ui
