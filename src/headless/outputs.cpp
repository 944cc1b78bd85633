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

void JsonLinesOutput::state(const std::string& pack, const std::string& text) {
  // The same line stdoutLine() would give: pack names need no escaping.
  const std::string line = "{\"pack\":\"" + pack + "\",\"state\":" + text + "}\n";
  std::fwrite(line.data(), 1, line.size(), out_);
  std::fflush(out_);
}

void JsonLinesOutput::event(const std::string& pack, const nlohmann::json& object) {
  line(pack, "event", object);
}

void JsonLinesOutput::line(const std::string& pack, const char* kind, const nlohmann::json& object) {
  const std::string text = stdoutLine(pack, kind, object).dump() + "\n";
  std::fwrite(text.data(), 1, text.size(), out_);
  std::fflush(out_);
}

MqttOutput::MqttOutput(MqttLink& link, std::string prefix, const std::vector<std::string>& packs)
    : link_(link), prefix_(std::move(prefix)) {
  for (const std::string& pack : packs) packs_[pack].stateTopic = topic(pack, "state");
}

void MqttOutput::state(const std::string& pack, const std::string& text) {
  Kept& kept = packs_[pack];
  if (kept.stateTopic.empty()) kept.stateTopic = topic(pack, "state");
  if (link_.publish(kept.stateTopic, text, kStateQos, false)) {
    kept.pendingState.clear();
  } else {
    kept.pendingState = text;
  }
}

void MqttOutput::event(const std::string& pack, const nlohmann::json& object) {
  link_.publish(topic(pack, "event"), object.dump(), kQos, false);
}

void MqttOutput::availability(const std::string& pack, bool online) {
  packs_[pack].online = online;
  link_.publish(topic(pack, "availability"), availabilityText(online), kQos, true);
}

void MqttOutput::onConnected() {
  link_.publish(programAvailabilityTopic(prefix_), "online", kQos, true);
  for (auto& [pack, kept] : packs_) {
    for (const DiscoveryMessage& m : discoveryMessages(prefix_, pack))
      link_.publish(m.topic, m.config.dump(), kQos, true);
    link_.publish(topic(pack, "availability"), availabilityText(kept.online), kQos, true);
    if (!kept.pendingState.empty() &&
        link_.publish(topic(pack, "state"), kept.pendingState, kStateQos, false))
      kept.pendingState.clear();
  }
}

void MqttOutput::goOffline() {
  for (auto& [pack, kept] : packs_) link_.publish(topic(pack, "availability"), "offline", kQos, true);
  link_.publish(programAvailabilityTopic(prefix_), "offline", kQos, true);
}

}  // namespace orlo::headless
