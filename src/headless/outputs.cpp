#include "headless/outputs.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "headless/discovery.h"
#include "headless/messages.h"

namespace orlo::headless {
namespace {

constexpr int kStateQos = 0;  // a lost state is replaced within a second
constexpr int kQos = 1;

const char* availabilityText(bool online) {
  return online ? "online" : "offline";
}

// Text that is not UTF-8 comes out with replacement characters instead of an exception.
std::string dumpText(const nlohmann::json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

void JsonLinesOutput::state(std::size_t pack, const std::string& text) {
  // The same line stdoutLine() would give: pack names need no escaping.
  const std::string line = "{\"pack\":\"" + packs_[pack] + "\",\"state\":" + text + "}\n";
  std::fwrite(line.data(), 1, line.size(), out_);
  std::fflush(out_);
}

void JsonLinesOutput::event(std::size_t pack, const nlohmann::json& object) {
  const std::string text = dumpText(stdoutLine(packs_[pack], "event", object)) + "\n";
  std::fwrite(text.data(), 1, text.size(), out_);
  std::fflush(out_);
}

void JsonLinesOutput::alerts(std::size_t pack, const std::string& text) {
  nlohmann::json object;
  object["pack"] = packs_[pack];
  object["alerts"] = nlohmann::json::parse(text, nullptr, false);  // discarded (null) if not JSON
  const std::string line = dumpText(object) + "\n";
  std::fwrite(line.data(), 1, line.size(), out_);
  std::fflush(out_);
}

MqttOutput::MqttOutput(MqttLink& link, std::string prefix, const std::vector<std::string>& packs)
    : link_(link), prefix_(std::move(prefix)), queueLimit_(kQueueSpare) {
  for (const std::string& pack : packs) {
    packs_.push_back({pack, topic(pack, "state"), false, false, {}, {}});
    queueLimit_ += discoveryMessages(prefix_, pack).size() + 2;
  }
}

void MqttOutput::state(std::size_t pack, const std::string& text) {
  Kept& kept = packs_[pack];
  kept.state.assign(text);
  kept.stateWaiting = true;
}

void MqttOutput::event(std::size_t pack, const nlohmann::json& object) {
  enqueue(topic(packs_[pack].name, "event"), dumpText(object), false, Kind::Event);
}

void MqttOutput::availability(std::size_t pack, bool online) {
  Kept& kept = packs_[pack];
  kept.online = online;
  enqueue(topic(kept.name, "availability"), availabilityText(online), true, Kind::Availability);
}

void MqttOutput::enqueue(std::string topic, std::string payload, bool retain, Kind kind) {
  if (queue_.size() >= queueLimit_) {
    queue_.pop_front();
    ++dropped_;
  }
  queue_.push_back({std::move(topic), std::move(payload), retain, kind});
}

void MqttOutput::dropKind(Kind kind) {
  queue_.erase(
      std::remove_if(queue_.begin(), queue_.end(), [kind](const Queued& q) { return q.kind == kind; }),
      queue_.end());
}

void MqttOutput::alerts(std::size_t pack, const std::string& text) {
  Kept& kept = packs_[pack];
  kept.alerts = text;
  enqueue(topic(kept.name, "alerts"), text, true, Kind::Event);
}

void MqttOutput::onConnected() {
  // What a former connection did not get to send is sent afresh below.
  dropKind(Kind::Renewed);
  enqueue(programAvailabilityTopic(prefix_), "online", true, Kind::Renewed);
  for (const Kept& kept : packs_) {
    for (const DiscoveryMessage& m : discoveryMessages(prefix_, kept.name))
      enqueue(m.topic, dumpText(m.config), true, Kind::Renewed);
    enqueue(topic(kept.name, "availability"), availabilityText(kept.online), true, Kind::Renewed);
    if (!kept.alerts.empty()) enqueue(topic(kept.name, "alerts"), kept.alerts, true, Kind::Renewed);
  }
}

void MqttOutput::send() {
  if (!link_.canTake()) return;
  for (Kept& kept : packs_)
    if (kept.stateWaiting) {
      link_.publish(kept.stateTopic, kept.state, kStateQos, false);
      kept.stateWaiting = false;
    }
  while (!queue_.empty() && link_.unacknowledged() < kWindow) {
    const Queued& q = queue_.front();
    link_.publish(q.topic, q.payload, kQos, q.retain);
    queue_.pop_front();
  }
  if (dropped_ > 0 && queue_.empty()) {
    std::fprintf(
        stderr,
        "orlo-bms: %zu events and availability messages were dropped, oldest first, while the broker "
        "could not take them\n",
        dropped_);
    dropped_ = 0;
  }
}

void MqttOutput::goOffline() {
  // An older availability still queued would overwrite the retained "offline".
  dropKind(Kind::Renewed);
  dropKind(Kind::Availability);
  std::deque<Queued> offline;
  for (const Kept& kept : packs_)
    offline.push_back({topic(kept.name, "availability"), "offline", true, Kind::Event});
  offline.push_back({programAvailabilityTopic(prefix_), "offline", true, Kind::Event});
  queue_.insert(queue_.begin(), offline.begin(), offline.end());
}

bool MqttOutput::idle() const {
  return queue_.empty() &&
         std::none_of(packs_.begin(), packs_.end(), [](const Kept& k) { return k.stateWaiting; });
}

}  // namespace orlo::headless
