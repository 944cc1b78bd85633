#include "headless/outputs.h"

#include "headless/discovery.h"
#include "headless/messages.h"

namespace orlo::headless {
namespace {

constexpr int kStateQos = 0;  // a lost state is replaced within a second
constexpr int kQos = 1;

const char* availabilityText(bool online) {
  return online ? "online" : "offline";
}

}  // namespace

void JsonLinesOutput::state(std::size_t pack, const std::string& text) {
  // The same line stdoutLine() would give: pack names need no escaping.
  const std::string line = "{\"pack\":\"" + packs_[pack] + "\",\"state\":" + text + "}\n";
  std::fwrite(line.data(), 1, line.size(), out_);
  std::fflush(out_);
}

void JsonLinesOutput::event(std::size_t pack, const nlohmann::json& object) {
  const std::string text = stdoutLine(packs_[pack], "event", object).dump() + "\n";
  std::fwrite(text.data(), 1, text.size(), out_);
  std::fflush(out_);
}

void JsonLinesOutput::alerts(std::size_t pack, const std::string& text) {
  const std::string line = "{\"pack\":\"" + packs_[pack] + "\",\"alerts\":" + text + "}\n";
  std::fwrite(line.data(), 1, line.size(), out_);
  std::fflush(out_);
}

MqttOutput::MqttOutput(MqttLink& link, std::string prefix, const std::vector<std::string>& packs)
    : link_(link), prefix_(std::move(prefix)) {
  for (const std::string& pack : packs) packs_.push_back({pack, topic(pack, "state"), false, {}, {}});
}

void MqttOutput::state(std::size_t pack, const std::string& text) {
  Kept& kept = packs_[pack];
  if (link_.publish(kept.stateTopic, text, kStateQos, false)) {
    kept.pendingState.clear();
  } else {
    kept.pendingState = text;
  }
}

void MqttOutput::event(std::size_t pack, const nlohmann::json& object) {
  link_.publish(topic(packs_[pack].name, "event"), object.dump(), kQos, false);
}

void MqttOutput::availability(std::size_t pack, bool online) {
  Kept& kept = packs_[pack];
  kept.online = online;
  link_.publish(topic(kept.name, "availability"), availabilityText(online), kQos, true);
}

void MqttOutput::alerts(std::size_t pack, const std::string& text) {
  Kept& kept = packs_[pack];
  kept.alerts = text;
  link_.publish(topic(kept.name, "alerts"), text, kQos, true);
}

void MqttOutput::onConnected() {
  link_.publish(programAvailabilityTopic(prefix_), "online", kQos, true);
  for (Kept& kept : packs_) {
    for (const DiscoveryMessage& m : discoveryMessages(prefix_, kept.name))
      link_.publish(m.topic, m.config.dump(), kQos, true);
    link_.publish(topic(kept.name, "availability"), availabilityText(kept.online), kQos, true);
    if (!kept.alerts.empty()) link_.publish(topic(kept.name, "alerts"), kept.alerts, kQos, true);
    if (!kept.pendingState.empty() && link_.publish(kept.stateTopic, kept.pendingState, kStateQos, false))
      kept.pendingState.clear();
  }
}

void MqttOutput::goOffline() {
  for (const Kept& kept : packs_) link_.publish(topic(kept.name, "availability"), "offline", kQos, true);
  link_.publish(programAvailabilityTopic(prefix_), "offline", kQos, true);
}

}  // namespace orlo::headless
