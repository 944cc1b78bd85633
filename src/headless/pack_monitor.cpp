#include "headless/pack_monitor.h"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <utility>

#include "headless/messages.h"
#include "link/requests.h"

namespace orlo::headless {
namespace {

std::string now() {
  return isoTime(std::chrono::system_clock::now());
}

}  // namespace

PackMonitor::PackMonitor(PackEntry pack, std::size_t index, PackOutput& output, SteadyTime firstPoll)
    : nextPoll_(firstPoll),
      nextOpen_(firstPoll),
      pollRequest_(pollRequest()),
      index_(index),
      output_(output),
      pack_(std::move(pack)) {
  tap_.onLive = [this](const LiveData& live) { onLive(live); };
  // Any valid frame keeps the link up, and brings it back before the frame's own message.
  tap_.onAnyFrame = [this] {
    linkDeadline_ = readTime_ + kLinkTimeout;
    setLink(true);
  };
  linkDeadline_ = firstPoll + kLinkTimeout;
  tryOpen(firstPoll);
}

void PackMonitor::tryOpen(SteadyTime now) {
  nextOpen_ = now + kReopenPeriod;
  const Status opened = port_.open(pack_.device);
  if (opened) {
    receiver_.reset();
    if (lossReported_)
      std::fprintf(stderr, "orlo-bms: pack %s: %s is back\n", pack_.name.c_str(), pack_.device.c_str());
    lossReported_ = false;
    nextPoll_ = now;
    return;
  }
  if (!lossReported_)
    std::fprintf(stderr, "orlo-bms: pack %s: cannot open %s: %s; trying again every 2 s\n",
                 pack_.name.c_str(), pack_.device.c_str(), opened.error().c_str());
  lossReported_ = true;
}

void PackMonitor::lose(const std::string& reason, SteadyTime now) {
  port_.close();
  std::fprintf(stderr, "orlo-bms: pack %s: lost %s: %s; trying again every 2 s\n", pack_.name.c_str(),
               pack_.device.c_str(), reason.c_str());
  lossReported_ = true;
  nextOpen_ = now + kReopenPeriod;
}

void PackMonitor::onReadable(SteadyTime now) {
  if (!port_.isOpen()) return;
  std::uint8_t buffer[1024];
  std::string reason;
  for (;;) {
    const long n = port_.read(buffer, sizeof buffer, reason);
    if (n < 0) return lose(reason, now);
    if (n == 0) break;
    receiver_.onBytes(buffer, static_cast<std::size_t>(n));
    // Every frame that is complete goes out now, not at the next tick.
    readTime_ = now;
    while (receiver_.frameTick(tap_)) {
    }
    if (static_cast<std::size_t>(n) < sizeof buffer) break;
  }
}

void PackMonitor::onLive(const LiveData& live) {
  live_ = live;
  haveLive_ = true;
  const std::vector<PackEvent> events = detector_.onLiveData(live);
  writeIsoTime(std::chrono::system_clock::now(), context_.time);
  context_.modeText = detector_.modeText();
  context_.mos = detector_.mos();
  writeStateText(live, context_, stateText_);
  output_.state(index_, stateText_);
  if (listener_ != nullptr) listener_->onFrame(index_, live, readTime_);
  emit(events);
}

void PackMonitor::setLink(bool up) {
  const std::vector<PackEvent> events = detector_.onLink(up);
  if (events.empty()) return;
  linkUp_ = up;
  output_.availability(index_, up);
  if (listener_ != nullptr) listener_->onLink(index_, up, readTime_);
  emit(events);
}

void PackMonitor::emit(const std::vector<PackEvent>& events) {
  if (events.empty()) return;
  const std::string time = now();
  for (const PackEvent& e : events) output_.event(index_, eventObject(e, time));
}

void PackMonitor::onTimer(SteadyTime now) {
  if (!port_.isOpen() && now >= nextOpen_) tryOpen(now);
  if (port_.isOpen() && now >= nextPoll_) {
    // A request that does not go out is not retried: the next poll is a second away, and a line
    // that stays down shows in the link check.
    port_.write(pollRequest_.data(), pollRequest_.size());
    // Keep the beat: a late wake-up does not shift every later poll.
    while (nextPoll_ <= now) nextPoll_ += kPollPeriod;
  }
  if (now >= linkDeadline_) {
    setLink(false);
    linkDeadline_ = now + kLinkTimeout;
  }
}

SteadyTime PackMonitor::nextDeadline() const {
  SteadyTime next = linkDeadline_;
  if (port_.isOpen() && nextPoll_ < next) next = nextPoll_;
  if (!port_.isOpen() && nextOpen_ < next) next = nextOpen_;
  return next;
}

}  // namespace orlo::headless
