#include "headless/monitor_extras.h"

#include <sys/epoll.h>

#include <cstdio>
#include <nlohmann/json.hpp>

#include "headless/messages.h"
#include "util/unique_fd.h"

namespace orlo::headless {
namespace {

std::vector<std::string> packNames(const MonitorSettings& settings) {
  std::vector<std::string> names;
  for (const PackEntry& pack : settings.packs) names.push_back(pack.name);
  return names;
}

const char* channelKindName(NotifyKind kind) {
  return kind == NotifyKind::Ntfy ? "ntfy" : kind == NotifyKind::Webhook ? "webhook" : "email";
}

}  // namespace

bool MonitorExtras::wanted(const MonitorSettings& settings) {
  return !settings.alerts.rules.empty() || settings.metrics.has_value();
}

MonitorExtras::MonitorExtras(const MonitorSettings& settings, PackOutput& output, Time start)
    : output_(output),
      engine_(settings.alerts.rules, packNames(settings), start),
      book_(packNames(settings), start) {
  if (!settings.alerts.channels.empty()) {
    notifier_ = std::make_unique<Notifier>(settings.alerts.channels);
    setupError_ = notifier_->setupError();
    std::vector<MetricsBook::Channel> channels;
    for (std::size_t i = 0; i < notifier_->channels().size(); ++i)
      channels.push_back(
          {std::string(channelKindName(notifier_->channels()[i].kind)) + "-" + std::to_string(i + 1)});
    book_.setChannels(std::move(channels));
  }
  if (settings.metrics && setupError_.empty()) {
    server_ = std::make_unique<MetricsServer>(*settings.metrics,
                                              [this](std::string& out, bool same) { render(out, same); });
    setupError_ = server_->setupError();
  }
}

std::vector<int> MonitorExtras::fds() const {
  return {notifier_ ? notifier_->fd() : -1, server_ ? server_->fd() : -1};
}

MonitorExtras::Time MonitorExtras::nextDeadline(Time now) const {
  Time next = engine_.nextDeadline();
  if (notifier_) next = std::min(next, notifier_->nextDeadline());
  if (server_) next = std::min(next, server_->nextDeadline(now));
  return next;
}

void MonitorExtras::onReady(std::size_t which, Time now) {
  if (which == 0 && notifier_) notifier_->onReady(now);
  if (which == kServerFd && server_) server_->run();
}

void MonitorExtras::onTimer(Time now) {
  if (engine_.nextDeadline() <= now) deliver(engine_.onTimer(now), now);
  if (notifier_ && notifier_->nextDeadline() <= now) notifier_->onTimer(now);
  if (server_ && server_->nextDeadline(now) <= now) server_->run();
}

void MonitorExtras::sendQueuedNotices(int signals) {
  if (!notifier_ || notifier_->idle()) return;
  const std::size_t queued = notifier_->waiting();
  const UniqueFd epoll(::epoll_create1(EPOLL_CLOEXEC));
  epoll_event watch{};
  watch.events = EPOLLIN;
  watch.data.fd = notifier_->fd();
  ::epoll_ctl(epoll.get(), EPOLL_CTL_ADD, notifier_->fd(), &watch);
  watch.data.fd = signals;
  ::epoll_ctl(epoll.get(), EPOLL_CTL_ADD, signals, &watch);
  const Time end = std::chrono::steady_clock::now() + kNoticeGrace;
  for (bool stop = false; !stop;) {
    Time now = std::chrono::steady_clock::now();
    const Time next = std::min(notifier_->nextDeadline(), end);
    // A channel that is down waits for its retry; one due after the grace is not waited for.
    if (notifier_->idle() || now >= end || (!notifier_->busy() && next >= end)) break;
    epoll_event ready[2];
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(std::max(next - now, Time::duration{}));
    const int count = ::epoll_wait(epoll.get(), ready, 2, static_cast<int>(wait.count()));
    now = std::chrono::steady_clock::now();
    for (int k = 0; k < count; ++k)
      if (ready[k].data.fd == signals)
        stop = true;
      else
        notifier_->onReady(now);
    notifier_->onTimer(now);
  }
  const std::size_t left = notifier_->waiting();
  if (left == 0)
    std::fprintf(stderr, "orlo-bms: notices queued at the stop: %zu, all sent\n", queued);
  else
    std::fprintf(stderr, "orlo-bms: notices queued at the stop: %zu, %zu left unsent\n", queued, left);
}

void MonitorExtras::onFrame(std::size_t pack, const LiveData& live, Time now) {
  book_.onFrame(pack, live, now);
  if (!engine_.rules().empty()) deliver(engine_.onFrame(pack, live, now), now);
}

void MonitorExtras::onLink(std::size_t pack, bool up, Time) {
  book_.onLink(pack, up);
}

void MonitorExtras::deliver(const AlertUpdate& update, Time now) {
  if (update.notices.empty() && update.changedPacks.empty()) return;
  const std::string time = isoTime(std::chrono::system_clock::now());
  for (const AlertNotice& notice : update.notices) {
    const Notice n = noticeOf(notice, time);
    if (notifier_) notifier_->send(n, now);
    output_.event(notice.pack, alertEvent(n));
  }
  for (const std::size_t pack : update.changedPacks) {
    nlohmann::json firing = nlohmann::json::array();
    for (const AlertEngine::Firing& f : engine_.firing(pack))
      firing.push_back(
          {{"rule", f.rule->name}, {"severity", severityName(f.rule->severity)}, {"message", f.message}});
    output_.alerts(pack, firing.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
  }
}

void MonitorExtras::render(std::string& out, bool same) {
  if (beforeScrape) beforeScrape(book_);
  book_.setBrokerReconnects(connections_ > 0 ? connections_ - 1 : 0);
  if (notifier_)
    for (std::size_t i = 0; i < notifier_->channels().size(); ++i)
      book_.setChannelCounts(i, notifier_->sent(i), notifier_->failed(i));
  book_.write(out, std::chrono::steady_clock::now(), same);
}

}  // namespace orlo::headless
