#pragma once
// The two places a pack's messages go.

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "headless/mqtt_link.h"
#include "headless/pack_output.h"

namespace orlo::headless {

// One JSON object per line on a stream, flushed at once so that a pipe sees every line.
class JsonLinesOutput : public PackOutput {
 public:
  explicit JsonLinesOutput(std::FILE* out) : out_(out) {}
  void state(const std::string& pack, const std::string& text) override;
  void event(const std::string& pack, const nlohmann::json& object) override;
  void availability(const std::string&, bool) override {}

 private:
  void line(const std::string& pack, const char* kind, const nlohmann::json& object);
  std::FILE* out_;
};

// Topics under the prefix P: P/availability (the program), P/NAME/state, P/NAME/event and
// P/NAME/availability, and the discovery configs. While the broker is away, only each pack's
// latest state and availability are kept; events of that time are dropped.
class MqttOutput : public PackOutput {
 public:
  MqttOutput(MqttLink& link, std::string prefix, const std::vector<std::string>& packs);

  void state(const std::string& pack, const std::string& text) override;
  void event(const std::string& pack, const nlohmann::json& object) override;
  void availability(const std::string& pack, bool online) override;

  // After every (re)connection: the program online, discovery, each pack's availability and
  // the state that waited.
  void onConnected();
  // Before a clean exit: every pack and the program offline.
  void goOffline();

  static std::string programAvailabilityTopic(const std::string& prefix) { return prefix + "/availability"; }

 private:
  struct Kept {
    bool online = false;
    std::string pendingState;  // empty: nothing waiting
    std::string stateTopic;
  };
  std::string topic(const std::string& pack, const char* leaf) const {
    return prefix_ + "/" + pack + "/" + leaf;
  }

  MqttLink& link_;
  std::string prefix_;
  std::map<std::string, Kept> packs_;
};

}  // namespace orlo::headless
