#pragma once
// The Trends and Traffic windows with what feeds them, to attach to the main window in a few
// lines: pass the serial control through wrap(), give the receiver observer(), and call
// showTrends()/showTraffic() from a menu entry. Nothing is recorded until then, and nothing
// the main window sends or shows changes.

#include <QElapsedTimer>
#include <QPointer>
#include <memory>

#include "app/receive_fan_out.h"
#include "app/traffic_log.h"
#include "app/traffic_tap.h"
#include "app/trend_buffer.h"
#include "app/trend_recorder.h"
#include "ui/diagnostics/live_refresh.h"

class QWidget;

namespace orlo::ui {

class TrendsWindow;
class TrafficWindow;

class Diagnostics {
 public:
  // The windows are created on first use, as top-level windows that close with parent (if
  // any). They read this object's log and buffer, so they go when it goes; the receiver and the
  // main window that hold observer() and wrap() must go first.
  explicit Diagnostics(QWidget* parent = nullptr);
  ~Diagnostics();
  Diagnostics(const Diagnostics&) = delete;
  Diagnostics& operator=(const Diagnostics&) = delete;

  // A serial control that forwards to inner and records each block written. Call once.
  SerialControl& wrap(SerialControl& inner);
  // For Receiver::setObserver: feeds both the traffic log and the trends.
  ReceiveObserver* observer() { return &fanOut_; }

  void showTrends();
  void showTraffic();

  TrafficLog& trafficLog() { return traffic_; }
  const TrendBuffer& trendBuffer() const { return trends_; }
  TrendsWindow* trendsWindow();
  TrafficWindow* trafficWindow();

 private:
  bool refreshShownWindows();

  QWidget* parent_;
  QElapsedTimer sinceStart_;
  TrafficLog traffic_;
  TrendBuffer trends_;
  TrendRecorder recorder_;
  ReceiveFanOut fanOut_;
  LiveRefresh live_;
  std::unique_ptr<TrafficTap> tap_;
  QPointer<TrendsWindow> trendsWindow_;
  QPointer<TrafficWindow> trafficWindow_;
};

}  // namespace orlo::ui
