#pragma once
// The two places a pack's messages go.

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "headless/mqtt_link.h"
#include "headless/pack_output.h"

namespace orlo::headless {

// One JSON object per line on a stream, flushed at once so that a pipe sees every line.
class JsonLinesOutput : public PackOutput {
 public:
  JsonLinesOutput(std::FILE* out, std::vector<std::string> packs) : out_(out), packs_(std::move(packs)) {}
  void state(std::size_t pack, const std::string& text) override;
  void event(std::size_t pack, const nlohmann::json& object) override;
  void availability(std::size_t, bool) override {}
  void alerts(std::size_t pack, const std::string& text) override;

 private:
  std::FILE* out_;
  std::vector<std::string> packs_;
};

// Topics under the prefix P: P/availability (the program), P/NAME/state, P/NAME/event and
// P/NAME/availability, and the discovery configs. While the broker is away, only each pack's
// latest state and availability are kept; events of that time are dropped.
class MqttOutput : public PackOutput {
 public:
  MqttOutput(MqttLink& link, std::string prefix, const std::vector<std::string>& packs);

  void state(std::size_t pack, const std::string& text) override;
  void event(std::size_t pack, const nlohmann::json& object) override;
  void availability(std::size_t pack, bool online) override;
  // Retained on P/NAME/alerts, and again after each reconnection.
  void alerts(std::size_t pack, const std::string& text) override;

  // After every (re)connection: the program online, discovery, each pack's availability and
  // the state that waited.
  void onConnected();
  // Before a clean exit: every pack and the program offline.
  void goOffline();

  static std::string programAvailabilityTopic(const std::string& prefix) { return prefix + "/availability"; }

 private:
  struct Kept {
    std::string name;
    std::string stateTopic;
    bool online = false;
    std::string pendingState;  // empty: nothing waiting
    std::string alerts;        // empty: no rule has fired yet
  };
  std::string topic(const std::string& pack, const char* leaf) const {
    return prefix_ + "/" + pack + "/" + leaf;
  }

  MqttLink& link_;
  std::string prefix_;
  std::vector<Kept> packs_;  // in the order of the packs given
};

}  // namespace orlo::headless
