#include "ui/form/form_timers.h"

#include <QTimer>
#include <algorithm>
#include <utility>
#include <vector>

#include "util/clock.h"
#include "view/form.h"

namespace orlo::ui {

FormTimers::FormTimers(std::function<void(int)> fire) : fire_(std::move(fire)) {}

FormTimers::~FormTimers() = default;

void FormTimers::start(int timerId, int periodMs) {
  Timer& t = timers_[timerId];
  if (!t.timer) {
    t.timer = std::make_unique<QTimer>();
    QObject::connect(t.timer.get(), &QTimer::timeout, t.timer.get(), [this, timerId] {
      // A resumed timer's first, shorter wait is over: back to the period, on the beat.
      Timer& fired = timers_[timerId];
      if (fired.timer->interval() != fired.periodMs) fired.timer->setInterval(fired.periodMs);
      fire_(timerId);
    });
  }
  t.periodMs = periodMs > 0 ? periodMs : 1;
  t.onBeat = false;
  t.paused = false;
  t.timer->start(t.periodMs);
  armBeat();
}

void FormTimers::startOnBeat(int timerId, int periodMs, int offsetMs) {
  Timer& t = timers_[timerId];
  if (t.timer) t.timer->stop();
  t.periodMs = periodMs > 0 ? periodMs : 1;
  t.offsetMs = offsetMs;
  t.onBeat = true;
  t.paused = false;
  t.dueMs = nextBeatMs(monotonicMs(), t.periodMs, offsetMs, false);
  armBeat();
}

// Qt's own timers cannot share a beat: a coarse one drifts to the full second, precise ones
// each wake the loop. One precise single shot wakes it at the earliest tick due instead.
void FormTimers::armBeat() {
  long long earliest = -1;
  for (const auto& [id, t] : timers_)
    if (t.onBeat && !t.paused && (earliest < 0 || t.dueMs < earliest)) earliest = t.dueMs;
  if (earliest < 0) {
    if (beat_) beat_->stop();
    return;
  }
  if (!beat_) {
    beat_ = std::make_unique<QTimer>();
    beat_->setSingleShot(true);
    beat_->setTimerType(Qt::PreciseTimer);
    QObject::connect(beat_.get(), &QTimer::timeout, beat_.get(), [this] { onBeat(); });
  }
  beat_->start(static_cast<int>(std::max(0LL, earliest - monotonicMs())));
}

void FormTimers::onBeat() {
  const long long now = monotonicMs();
  std::vector<std::pair<long long, int>> due;
  for (auto& [id, t] : timers_) {
    if (!t.onBeat || t.paused || t.dueMs > now) continue;
    due.emplace_back(t.dueMs, id);
    while (t.dueMs <= now) t.dueMs += t.periodMs;  // a late wake-up keeps the beat
  }
  std::sort(due.begin(), due.end());
  for (const auto& [dueMs, id] : due) {
    // An earlier timer of this pass may have stopped or paused it.
    const Timer& t = timers_[id];
    if (t.onBeat && !t.paused) fire_(id);
  }
  armBeat();
}

void FormTimers::stop(int timerId) {
  auto it = timers_.find(timerId);
  if (it == timers_.end()) return;
  if (it->second.timer) it->second.timer->stop();
  it->second.onBeat = false;
  it->second.paused = false;
  armBeat();
}

void FormTimers::pause(int timerId) {
  auto it = timers_.find(timerId);
  if (it == timers_.end()) return;
  Timer& t = it->second;
  if (t.onBeat) {
    t.paused = true;
    armBeat();
  } else if (t.timer && t.timer->isActive()) {
    t.timer->stop();
    t.paused = true;
  }
}

void FormTimers::resume(int timerId) {
  auto it = timers_.find(timerId);
  if (it == timers_.end() || !it->second.paused) return;
  Timer& t = it->second;
  t.paused = false;
  if (t.onBeat) {
    t.dueMs = nextBeatMs(monotonicMs(), t.periodMs, t.offsetMs, true);
    armBeat();
    return;
  }
  // Qt lays the ticks of a running (coarse) timer of 100 ms or 1 s on the monotonic clock's
  // multiples of its period; a resumed one fires at the next of them, as it would have.
  const long long now = monotonicMs();
  t.timer->start(static_cast<int>(nextBeatMs(now, t.periodMs, 0, true) - now));
}

}  // namespace orlo::ui
