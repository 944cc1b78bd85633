#pragma once
// The monitor's parts beyond publishing: the alert rules with their notices, and /metrics. The
// loop watches fds() and calls onReady with the one that woke it, calls onTimer once
// nextDeadline() is reached, and feeds every pack's frames and link changes through
// PackListener. Built only when the settings ask for any of it.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/alert_engine.h"
#include "headless/metrics_book.h"
#include "headless/metrics_server.h"
#include "headless/monitor_settings.h"
#include "headless/notifier.h"
#include "headless/pack_listener.h"
#include "headless/pack_output.h"

namespace orlo::headless {

class MonitorExtras : public PackListener {
 public:
  using Time = std::chrono::steady_clock::time_point;

  static bool wanted(const MonitorSettings& settings);
  MonitorExtras(const MonitorSettings& settings, PackOutput& output, Time start);

  const std::string& setupError() const { return setupError_; }
  // Called before each scrape so the caller can fill in the counters it keeps.
  std::function<void(MetricsBook&)> beforeScrape;

  // The descriptors to watch, by index: the notifier's, then the metrics server's (-1: none).
  static constexpr std::size_t kServerFd = 1;
  std::vector<int> fds() const;
  Time nextDeadline(Time now) const;
  void onReady(std::size_t which, Time now);
  void onTimer(Time now);
  void onBrokerConnected() { ++connections_; }
  // After a stop signal: the queued notices get up to kNoticeGrace to go out, through the same
  // transfers. Readable `signals` (another stop signal) ends the wait. The log says how many
  // were left unsent.
  static constexpr std::chrono::seconds kNoticeGrace{5};
  void sendQueuedNotices(int signals);

  void onFrame(std::size_t pack, const LiveData& live, Time now) override;
  void onLink(std::size_t pack, bool up, Time now) override;

  int metricsPort() const { return server_ ? server_->port() : 0; }

 private:
  void deliver(const AlertUpdate& update, Time now);
  void render(std::string& out, bool same);

  PackOutput& output_;
  AlertEngine engine_;
  MetricsBook book_;
  std::unique_ptr<Notifier> notifier_;
  std::unique_ptr<MetricsServer> server_;
  std::uint64_t connections_ = 0;
  std::string setupError_;
};

}  // namespace orlo::headless
