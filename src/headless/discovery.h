#pragma once
// Home Assistant MQTT discovery: one retained config per value of a pack, so that the pack
// appears without configuration and reads unavailable when its link or the program is down.

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace orlo::headless {

struct DiscoveryMessage {
  std::string topic;
  nlohmann::json config;
};

std::vector<DiscoveryMessage> discoveryMessages(const std::string& topicPrefix, const std::string& pack);

}  // namespace orlo::headless
