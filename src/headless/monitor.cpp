#include "headless/monitor.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>
#include <vector>

#include "headless/outputs.h"
#include "headless/pack_data_log.h"
#include "headless/pack_monitor.h"

namespace orlo::headless {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kShutdownGrace{2000};

// SIGTERM and SIGINT arrive as a readable descriptor, so the loop ends between two steps.
int signalDescriptor() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  // A log file grown past the size limit must fail its write, not end the program.
  ::signal(SIGXFSZ, SIG_IGN);
  ::signal(SIGPIPE, SIG_IGN);
  return ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
}

int timeoutUntil(Clock::time_point deadline, Clock::time_point now) {
  if (deadline <= now) return 0;
  // Round up so that the loop never wakes a hair early and spins.
  return static_cast<int>(std::chrono::ceil<milliseconds>(deadline - now).count());
}

struct Logs {
  std::vector<std::unique_ptr<PackDataLog>> files;  // one per pack, same order
  std::chrono::seconds interval{1};
  Clock::time_point next;
};

void writeLogRows(Logs& logs, const std::vector<std::unique_ptr<PackMonitor>>& packs, Clock::time_point now) {
  if (logs.files.empty() || now < logs.next) return;
  while (logs.next <= now) logs.next += logs.interval;
  const std::time_t wall = std::time(nullptr);
  std::tm local{};
  localtime_r(&wall, &local);
  for (std::size_t i = 0; i < packs.size(); ++i)
    if (packs[i]->linkUp() && packs[i]->lastLiveData())
      logs.files[i]->write(local, *packs[i]->lastLiveData());
}

// After SIGTERM: the offline messages reach the broker before the connection closes.
void finish(MqttLink* link, MqttOutput* output) {
  if (link == nullptr || !link->connected()) return;
  output->goOffline();
  const auto end = Clock::now() + kShutdownGrace;
  link->flush(end);
  link->stop();
}

}  // namespace

int runMonitor(const MonitorSettings& settings) {
  const int signals = signalDescriptor();
  std::unique_ptr<MqttLink> link;
  std::unique_ptr<MqttOutput> mqtt;
  JsonLinesOutput lines(stdout);
  PackOutput* output = &lines;
  if (settings.broker) {
    link = std::make_unique<MqttLink>(settings, MqttOutput::programAvailabilityTopic(settings.topicPrefix));
    if (!link->setupError().empty()) {
      std::fprintf(stderr, "orlo-bms: %s\n", link->setupError().c_str());
      return 2;
    }
    std::vector<std::string> names;
    for (const PackSpec& p : settings.packs) names.push_back(p.name);
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
    packs.push_back(std::make_unique<PackMonitor>(settings.packs[i], *output, start));
    if (!settings.logDir.empty())
      logs.files.push_back(std::make_unique<PackDataLog>(settings.logDir, settings.packs[i].name));
    output->availability(settings.packs[i].name, false);
  }

  std::vector<pollfd> fds;
  for (;;) {
    fds.clear();
    fds.push_back({signals, POLLIN, 0});
    if (link) {
      fds.push_back({link->notifyFd(), POLLIN, 0});
      fds.push_back({link->socket(), static_cast<short>(POLLIN | (link->wantWrite() ? POLLOUT : 0)), 0});
    }
    const std::size_t firstPack = fds.size();
    for (const auto& pack : packs) fds.push_back({pack->fd(), POLLIN, 0});  // -1 is skipped by poll

    auto now = Clock::now();
    Clock::time_point deadline = now + milliseconds(1000);
    for (const auto& pack : packs) deadline = std::min(deadline, pack->nextDeadline());
    if (!logs.files.empty()) deadline = std::min(deadline, logs.next);
    if (link) deadline = std::min(deadline, link->nextDeadline());
    ::poll(fds.data(), fds.size(), timeoutUntil(deadline, now));

    now = Clock::now();
    if (fds[0].revents & POLLIN) break;
    if (link && fds[2].revents != 0) link->onSocketEvent(now);
    if (link) link->onTimer(now);
    if (link && (fds[1].revents & POLLIN) && link->takeConnected()) mqtt->onConnected();
    for (std::size_t i = 0; i < packs.size(); ++i)
      if (fds[firstPack + i].revents & (POLLIN | POLLHUP | POLLERR)) packs[i]->onReadable(now);
    for (const auto& pack : packs) pack->onTimer(now);
    writeLogRows(logs, packs, now);
  }

  for (const auto& pack : packs) pack->close();
  finish(link.get(), mqtt.get());
  ::close(signals);
  return 0;
}

}  // namespace orlo::headless
