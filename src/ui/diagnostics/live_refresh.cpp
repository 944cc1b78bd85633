#include "ui/diagnostics/live_refresh.h"

#include <QTimer>
#include <chrono>

#include "view/form.h"

namespace orlo::ui {

namespace {

constexpr int kPeriodMs = 1000;
// Frames closer than this to the last refresh wait for the beat.
constexpr int kMinGapMs = 900;

long long monotonicMs() {  // the clock Qt's timers run on
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

LiveRefresh::LiveRefresh(std::function<bool()> refresh, QObject* parent)
    : QObject(parent), refresh_(std::move(refresh)), beat_(new QTimer(this)) {
  beat_->setSingleShot(true);
  beat_->setTimerType(Qt::PreciseTimer);
  connect(beat_, &QTimer::timeout, this, &LiveRefresh::refreshNow);
}

void LiveRefresh::start() {
  active_ = true;
  if (!beat_->isActive()) armBeat(monotonicMs());
}

void LiveRefresh::onFrameDispatched(const std::uint8_t*, std::size_t) {
  if (!active_ || queued_ || monotonicMs() - lastMs_ < kMinGapMs) return;
  // After the rest of this pass: the main window has taken the frame in by then.
  queued_ = true;
  QMetaObject::invokeMethod(this, &LiveRefresh::refreshNow, Qt::QueuedConnection);
}

void LiveRefresh::refreshNow() {
  queued_ = false;
  lastMs_ = monotonicMs();
  active_ = refresh_();
  if (active_)
    armBeat(lastMs_ + kMinGapMs);
  else
    beat_->stop();
}

// The first tick of the beat from `fromMs` on; a frame refreshing sooner puts it off again.
void LiveRefresh::armBeat(long long fromMs) {
  const long long due = nextBeatMs(fromMs, kPeriodMs, kBeatOffsetMs, true);
  beat_->start(static_cast<int>(std::max(0LL, due - monotonicMs())));
}

}  // namespace orlo::ui
