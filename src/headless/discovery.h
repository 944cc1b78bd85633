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

// The node id of a pack's configs: `prefix_pack` for a prefix of letters, digits and '-', an
// escaped form for any other; two (prefix, pack) pairs never get the same id.
std::string discoveryNode(const std::string& topicPrefix, const std::string& pack);
// The length of the longest config topic of the pack.
std::size_t longestDiscoveryTopic(const std::string& topicPrefix, const std::string& pack);

std::vector<DiscoveryMessage> discoveryMessages(const std::string& topicPrefix, const std::string& pack);

}  // namespace orlo::headless
