#include "headless/monitor.h"

#include <signal.h>
#include <sys/epoll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <iterator>
#include <memory>
#include <optional>
#include <vector>

#include "headless/monitor_extras.h"
#include "headless/outputs.h"
#include "headless/pack_data_log.h"
#include "headless/pack_monitor.h"
#include "util/platform.h"
#include "util/unique_fd.h"

namespace orlo::headless {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kShutdownGrace{2000};

// SIGTERM, SIGINT, SIGHUP and SIGQUIT arrive as a readable descriptor, so the loop ends between
// two steps and every pack is reported offline.
UniqueFd signalDescriptor() {
  sigset_t set;
  sigemptyset(&set);
  for (const int s : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) sigaddset(&set, s);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  // A log file grown past the size limit must fail its write, not end the program.
  ::signal(SIGXFSZ, SIG_IGN);
  ::signal(SIGPIPE, SIG_IGN);
  return UniqueFd(::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC));
}

int timeoutUntil(Clock::time_point deadline, Clock::time_point now) {
  if (deadline <= now) return 0;
  // Round up so that the loop never wakes a hair early and spins.
  return static_cast<int>(std::chrono::ceil<milliseconds>(deadline - now).count());
}

// One descriptor as the epoll set knows it. A descriptor is registered once and stays until it
// is closed (the kernel then drops it by itself), so a wake-up costs only the ready ones; the
// generation tells a reopened device that got the same number from the one that was there.
struct Watch {
  int fd = -1;
  unsigned generation = 0;
  std::uint32_t events = 0;
};

void follow(int epoll, Watch& watch, int fd, unsigned generation, std::uint32_t events, std::uint64_t tag) {
  if (fd < 0) {
    watch.fd = -1;
    return;
  }
  const bool same = fd == watch.fd && generation == watch.generation;
  if (same && events == watch.events) return;
  epoll_event event{};
  event.events = events;
  event.data.u64 = tag;
  if (::epoll_ctl(epoll, same ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, fd, &event) != 0) {
    if (errno == EEXIST)
      ::epoll_ctl(epoll, EPOLL_CTL_MOD, fd, &event);
    else if (errno == ENOENT)
      ::epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &event);
  }
  watch = {fd, generation, events};
}

enum Tag : std::uint64_t { kSignals, kBroker, kFirstPack, kFirstExtra = 1ull << 32 };

struct Logs {
  std::vector<std::unique_ptr<PackDataLog>> files;  // one per pack, same order
  std::chrono::seconds interval{1};
  Clock::time_point next;
};

void writeLogRows(Logs& logs, const std::vector<std::unique_ptr<PackMonitor>>& packs, Clock::time_point now) {
  if (logs.files.empty() || now < logs.next) return;
  while (logs.next <= now) logs.next += logs.interval;
  const std::tm local = localTime(std::time(nullptr));
  for (std::size_t i = 0; i < packs.size(); ++i)
    if (packs[i]->linkUp() && packs[i]->lastLiveData())
      logs.files[i]->write(local, *packs[i]->lastLiveData());
}

// After a stop signal: the offline messages are tried until a short deadline (a stalled broker
// may never take them), and the log says whether they went.
void finish(MqttLink* link, MqttOutput* output) {
  if (link == nullptr) return;
  if (!link->connected()) {
    std::fprintf(stderr,
                 "orlo-bms: not connected to the broker at %s: the packs' offline messages were not sent\n",
                 link->where().c_str());
    return link->stop();
  }
  output->goOffline();
  const auto end = Clock::now() + kShutdownGrace;
  bool sent = false;
  while (!sent && link->connected() && Clock::now() < end) {
    output->send();
    sent = link->settle(milliseconds(20)) && output->idle();
  }
  if (sent)
    std::fprintf(stderr, "orlo-bms: every pack reported offline to the broker at %s\n",
                 link->where().c_str());
  else
    std::fprintf(stderr,
                 "orlo-bms: the broker at %s did not take the packs' offline messages within %lld s\n",
                 link->where().c_str(), static_cast<long long>(kShutdownGrace.count() / 1000));
  link->stop();
}

}  // namespace

int runMonitor(const MonitorSettings& settings) {
  const UniqueFd signals = signalDescriptor();
  std::vector<std::string> names;
  for (const PackEntry& p : settings.packs) names.push_back(p.name);
  std::unique_ptr<MqttLink> link;
  std::unique_ptr<MqttOutput> mqtt;
  JsonLinesOutput lines(stdout, names);
  PackOutput* output = &lines;
  if (settings.broker) {
    auto made = MqttLink::create(settings, MqttOutput::programAvailabilityTopic(settings.topicPrefix));
    if (!made) {
      std::fprintf(stderr, "orlo-bms: %s\n", made.error().c_str());
      return 2;
    }
    link = std::move(made.value());
    mqtt = std::make_unique<MqttOutput>(*link, settings.topicPrefix, names);
    output = mqtt.get();
    link->start();
  }

  const auto start = Clock::now();
  std::vector<std::unique_ptr<PackMonitor>> packs;
  Logs logs;
  logs.interval = std::chrono::seconds(settings.intervalSeconds);
  logs.next = start + logs.interval;
  for (std::size_t i = 0; i < settings.packs.size(); ++i) {
    // Every pack is polled in the same tick: one wake-up writes all the requests and the
    // answers come back close together, so a few wake-ups read them all. The writes never
    // block, so a silent or slow pack holds up no other.
    packs.push_back(std::make_unique<PackMonitor>(settings.packs[i], i, *output, start));
    if (!settings.logDir.empty())
      logs.files.push_back(std::make_unique<PackDataLog>(settings.logDir, settings.packs[i].name));
    output->availability(i, false);
  }

  std::unique_ptr<MonitorExtras> extras;
  if (MonitorExtras::wanted(settings)) {
    extras = std::make_unique<MonitorExtras>(settings, *output, start);
    if (!extras->setupError().empty()) {
      std::fprintf(stderr, "orlo-bms: %s\n", extras->setupError().c_str());
      return 2;
    }
    for (const auto& pack : packs) pack->setListener(extras.get());
    extras->beforeScrape = [&packs](MetricsBook& book) {
      for (std::size_t i = 0; i < packs.size(); ++i) {
        const ReceiveStats& s = packs[i]->receiveStats();
        book.setFrameCounts(i, s.framesAccepted, s.dropBadChecksum + s.dropNoTail + s.dropQueueFull);
      }
    };
  }

  const UniqueFd epollFd(::epoll_create1(EPOLL_CLOEXEC));
  const int epoll = epollFd.get();
  if (epoll < 0) {
    std::perror("orlo-bms: epoll");
    return 1;
  }
  Watch signalWatch, brokerWatch;
  std::vector<Watch> packWatches(packs.size());
  follow(epoll, signalWatch, signals.get(), 0, EPOLLIN, kSignals);
  std::vector<Watch> extraWatches(extras ? extras->fds().size() : 0);
  for (std::size_t k = 0; k < extraWatches.size(); ++k)
    follow(epoll, extraWatches[k], extras->fds()[k], 0, EPOLLIN, kFirstExtra + k);
  // A wake-up touches only the packs it is for: those with bytes waiting and those whose poll,
  // reopen or link check is due. Their descriptors and deadlines are taken afresh after each turn
  // (a reopened port has a new descriptor), the others' stay as they were.
  std::vector<Clock::time_point> due(packs.size());
  const auto settle = [&](std::size_t i) {
    follow(epoll, packWatches[i], packs[i]->fd(), packs[i]->opens(), EPOLLIN, kFirstPack + i);
    due[i] = packs[i]->nextDeadline();
  };
  for (std::size_t i = 0; i < packs.size(); ++i) settle(i);
  std::vector<std::size_t> readable;
  readable.reserve(packs.size());
  epoll_event ready[64];
  Clock::time_point deadline;
  bool scrapeOnly = false;
  for (;;) {
    auto now = Clock::now();
    if (scrapeOnly) {
      // Answering a scrape changed nothing the other parts wait for: only the server's own
      // deadline may have moved.
      deadline = std::min(deadline, extras->nextDeadline(now));
    } else {
      if (link)
        follow(epoll, brokerWatch, link->socket(), link->socketGeneration(),
               EPOLLIN | (link->wantWrite() ? EPOLLOUT : 0u), kBroker);
      deadline = now + milliseconds(1000);
      for (const Clock::time_point t : due) deadline = std::min(deadline, t);
      if (!logs.files.empty()) deadline = std::min(deadline, logs.next);
      if (link) deadline = std::min(deadline, link->nextDeadline());
      if (extras) deadline = std::min(deadline, extras->nextDeadline(now));
    }
    const int count =
        ::epoll_wait(epoll, ready, static_cast<int>(std::size(ready)), timeoutUntil(deadline, now));

    now = Clock::now();
    // A scrape alone, before anything else is due, wakes the metrics server and nothing else.
    scrapeOnly = count == 1 && ready[0].data.u64 == kFirstExtra + MonitorExtras::kServerFd && now < deadline;
    if (scrapeOnly) {
      extras->onReady(MonitorExtras::kServerFd, now);
      continue;
    }
    bool stop = false, brokerReady = false, brokerReadable = false;
    for (int k = 0; k < count; ++k) {
      const std::uint64_t tag = ready[k].data.u64;
      if (tag == kSignals)
        stop = true;
      else if (tag == kBroker) {
        brokerReady = true;
        brokerReadable = (ready[k].events & (EPOLLIN | EPOLLHUP | EPOLLERR)) != 0;
      } else if (tag >= kFirstExtra)
        extras->onReady(tag - kFirstExtra, now);
      else if (tag - kFirstPack < packs.size())
        readable.push_back(tag - kFirstPack);
    }
    if (stop) break;
    if (link && brokerReady) link->onSocketEvent(brokerReadable, now);
    if (link) link->onTimer(now);
    if (link && link->takeConnected()) {
      mqtt->onConnected();
      if (extras) extras->onBrokerConnected();
    }
    for (const std::size_t i : readable) {
      packs[i]->onReadable(now);
      settle(i);
    }
    readable.clear();
    for (std::size_t i = 0; i < packs.size(); ++i)
      if (due[i] <= now) {
        packs[i]->onTimer(now);
        settle(i);
      }
    writeLogRows(logs, packs, now);
    if (extras) extras->onTimer(Clock::now());
    if (link) {
      mqtt->send();
      link->push();
    }
  }

  // Polling stops; the notices still queued go out first, then the packs are reported offline.
  for (const auto& pack : packs) pack->close();
  signalfd_siginfo taken{};
  while (::read(signals.get(), &taken, sizeof taken) == static_cast<ssize_t>(sizeof taken)) {
  }
  if (extras) extras->sendQueuedNotices(signals.get());
  finish(link.get(), mqtt.get());
  return 0;
}

}  // namespace orlo::headless
