#include "headless/alert_command.h"

#include <sys/epoll.h>

#include <chrono>
#include <cstdio>

#include "headless/messages.h"
#include "headless/monitor_settings.h"
#include "headless/notifier.h"
#include "util/platform.h"
#include "util/unique_fd.h"

namespace orlo::headless {
namespace {

using Clock = std::chrono::steady_clock;

std::string loadChannels(const std::string& path, MonitorSettings& settings) {
  if (std::string error = checkPrivateFile(path, "config file"); !error.empty()) return error;
  const Result<std::string> text = readSmallFile(path, kLargestConfigFile, "config file");
  if (!text) return text.error();
  if (std::string error = applyConfigText(*text, path, settings); !error.empty()) return error;
  if (std::string error = readNotifySecrets(settings.alerts); !error.empty()) return error;
  if (settings.alerts.channels.empty()) return path + " has no [[notify]] channel";
  return {};
}

// Runs the notifier's transfers until each channel has its answer.
void drive(Notifier& notifier) {
  const UniqueFd epoll(::epoll_create1(EPOLL_CLOEXEC));
  epoll_event watch{};
  watch.events = EPOLLIN;
  ::epoll_ctl(epoll.get(), EPOLL_CTL_ADD, notifier.fd(), &watch);
  while (!notifier.idle()) {
    const auto now = Clock::now();
    const auto next = std::min(notifier.nextDeadline(), now + std::chrono::seconds(1));
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(std::max(next - now, Clock::duration{}));
    epoll_event ready{};
    if (::epoll_wait(epoll.get(), &ready, 1, static_cast<int>(wait.count())) > 0)
      notifier.onReady(Clock::now());
    notifier.onTimer(Clock::now());
  }
}

}  // namespace

int runAlertTest(const std::string& configFile) {
  MonitorSettings settings;
  if (std::string error = loadChannels(configFile, settings); !error.empty()) {
    std::fprintf(stderr, "orlo-bms: %s\n", error.c_str());
    return 2;
  }
  int failures = 0;
  const auto report = [&](std::size_t channel, bool sent, const std::string& error) {
    const std::string name = Notifier::describe(settings.alerts.channels[channel]);
    if (sent)
      std::printf("%s: sent\n", name.c_str());
    else
      std::printf("%s: failed: %s\n", name.c_str(), error.c_str());
    failures += sent ? 0 : 1;
  };
  Notifier notifier(settings.alerts.channels, false, report);
  if (!notifier.setupError().empty()) {
    std::fprintf(stderr, "orlo-bms: %s\n", notifier.setupError().c_str());
    return 1;
  }
  const std::string host = hostName();
  notifier.send(testNotice(host.empty() ? "orlo-bms" : host, isoTime(std::chrono::system_clock::now())),
                Clock::now());
  drive(notifier);
  std::fflush(stdout);
  return failures == 0 ? 0 : 1;
}

}  // namespace orlo::headless
