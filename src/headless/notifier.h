#pragma once
// Sends alert notices to the configured channels (ntfy, webhook, email) through libcurl's multi
// interface, driven by the monitor's own loop: the transfers' sockets sit in an epoll set of
// their own whose one descriptor the loop watches, and their timers and the retries make up
// nextDeadline(). Nothing here blocks or starts a thread.
//
// Each channel sends its notices one at a time, in order, from a bounded queue (the oldest is
// dropped when it is full). A failed notice is retried after retry_s, then twice as long each
// time up to ten times that; the first failure of an outage and the end of it are each told once
// on standard error.

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/alert_rule.h"
#include "headless/notice_format.h"
#include "util/unique_fd.h"

namespace orlo::headless {

class Notifier {
 public:
  using Time = std::chrono::steady_clock::time_point;
  static constexpr std::size_t kQueueLimit = 100;

  // `retry`: false sends each notice once (alert test); `result` is then told of each outcome.
  using Result = std::function<void(std::size_t channel, bool sent, const std::string& error)>;
  explicit Notifier(std::vector<NotifyChannel> channels, bool retry = true, Result result = {});
  ~Notifier();
  Notifier(const Notifier&) = delete;
  Notifier& operator=(const Notifier&) = delete;

  const std::string& setupError() const { return setupError_; }
  const std::vector<NotifyChannel>& channels() const { return channels_; }

  // Readable when a transfer's socket is ready: call onReady.
  int fd() const { return epoll_.get(); }
  Time nextDeadline() const;
  void onReady(Time now);
  void onTimer(Time now);

  void send(const Notice& notice, Time now);
  // Nothing waiting and nothing under way.
  bool idle() const;
  // A transfer is under way.
  bool busy() const;
  // Notices queued on all channels, the ones under way included.
  std::size_t waiting() const;

  std::uint64_t sent(std::size_t channel) const { return queues_[channel].sent; }
  // Failed attempts, and notices dropped from a full queue.
  std::uint64_t failed(std::size_t channel) const { return queues_[channel].failed; }

  // A channel's name in messages: "webhook https://hooks.example/bms".
  static std::string describe(const NotifyChannel& channel);

 private:
  struct Job;
  struct Queue {
    std::deque<std::unique_ptr<Job>> jobs;  // the front one is under way or waiting to retry
    bool busy = false;
    bool down = false;
    int attempts = 0;
    Time retryAt{};
    std::uint64_t sent = 0;
    std::uint64_t failed = 0;
  };

  static int onSocket(void* easy, int socket, int what, void* self, void* socketData);
  static int onCurlTimer(void* multi, long timeoutMs, void* self);
  void start(std::size_t channel, Time now);
  void collect(Time now);
  void finish(std::size_t channel, bool ok, const std::string& error, Time now);
  void watchSocket(int socket, int what);

  std::vector<NotifyChannel> channels_;
  std::vector<Queue> queues_;
  bool retry_;
  Result result_;
  std::string setupError_;
  UniqueFd epoll_;
  void* multi_ = nullptr;  // CURLM
  Time curlDeadline_ = Time::max();
  bool curlDue_ = false;  // the library asked to be called at once
};

}  // namespace orlo::headless
