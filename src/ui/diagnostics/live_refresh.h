#pragma once
// When the Trends and Traffic windows take in what came: both at once, in the event-loop pass
// that dispatched a frame, which is the pass in which the main window shows that frame's
// values, so that one wake-up a second repaints every window. While frames come faster (a
// parameter session) the windows take them in about once a second; while none comes, once a
// second on a beat of their own (the time axis moves on, the age of the last frame counts up).
// Nothing runs while no window is on screen.

#include <QObject>
#include <functional>

#include "link/receive_observer.h"

class QTimer;

namespace orlo::ui {

class LiveRefresh : public QObject, public ReceiveObserver {
  Q_OBJECT

 public:
  // The seconds' beat runs just after the main window's tick that shows a polled frame.
  static constexpr int kBeatOffsetMs = 150;

  // `refresh` refreshes the windows on screen and says whether there was any.
  explicit LiveRefresh(std::function<bool()> refresh, QObject* parent = nullptr);

  // A window was shown (and has refreshed itself).
  void start();

  void onFrameAccepted(const std::uint8_t*, std::size_t) override {}
  void onFrameDispatched(const std::uint8_t* frame, std::size_t size) override;
  void onDropped(DropReason, const std::uint8_t*, std::size_t) override {}

 private:
  void refreshNow();
  void armBeat(long long fromMs);

  std::function<bool()> refresh_;
  QTimer* beat_;
  bool active_ = false;
  bool queued_ = false;
  long long lastMs_ = 0;  // of the last refresh, on the monotonic clock
};

}  // namespace orlo::ui
