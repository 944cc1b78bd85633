#include "headless/discovery.h"

#include <algorithm>

#include "link/answers.h"

namespace orlo::headless {
namespace {

constexpr char kDiscoveryPrefix[] = "homeassistant";

struct Sensor {
  std::string key;  // object id within the pack
  std::string name;
  std::string value;  // Jinja expression on value_json
  const char* unit;
  const char* deviceClass;  // nullptr: none fits
};

bool idCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

constexpr char kAlarmKind[] = "/binary_sensor/";
constexpr char kSensorKind[] = "/sensor/";

std::vector<Sensor> sensors() {
  std::vector<Sensor> list;
  for (std::size_t i = 0; i < kCellCount; ++i) {
    const std::string n = std::to_string(i + 1);
    list.push_back({"cell" + n + "_mv", "Cell " + n + " voltage",
                    "value_json.cell_mv[" + std::to_string(i) + "]", "mV", "voltage"});
  }
  for (std::size_t i = 0; i < kTemperatureCount; ++i) {
    const std::string n = std::to_string(i + 1);
    list.push_back({"temp" + n + "_c", "Temperature " + n, "value_json.temp_c[" + std::to_string(i) + "]",
                    "°C", "temperature"});
  }
  list.push_back({"current_a", "Current", "value_json.current_a", "A", "current"});
  list.push_back({"total_mv", "Total voltage", "value_json.total_mv", "mV", "voltage"});
  list.push_back({"bus_mv", "Bus voltage", "value_json.bus_mv", "mV", "voltage"});
  list.push_back({"soc_pct", "State of charge", "value_json.soc_pct", "%", "battery"});
  list.push_back({"remain_ah", "Remaining capacity", "value_json.remain_ah", "Ah", nullptr});
  return list;
}

}  // namespace

std::string discoveryNode(const std::string& topicPrefix, const std::string& pack) {
  const bool plain = std::all_of(topicPrefix.begin(), topicPrefix.end(), idCharacter);
  if (plain) return topicPrefix + "_" + pack;
  // Ids may hold only letters, digits, '-' and '_': every other byte of the prefix becomes '_'
  // and two hex digits, "__" ends the prefix, and the leading '_' sets these ids apart from the
  // plain ones (whose prefix starts with a letter, a digit or '-'). Read back left to right,
  // each id gives exactly one prefix and pack, so two of them never share a config topic.
  static const char kHex[] = "0123456789abcdef";
  std::string node = "_";
  for (const char c : topicPrefix) {
    if (idCharacter(c)) {
      node += c;
    } else {
      const auto byte = static_cast<unsigned char>(c);
      node += {'_', kHex[byte >> 4], kHex[byte & 15]};
    }
  }
  return node + "__" + pack;
}

std::size_t longestDiscoveryTopic(const std::string& topicPrefix, const std::string& pack) {
  // kDiscoveryPrefix KIND NODE "/" KEY "/config"
  std::size_t kindAndKey =
      std::string(kAlarmKind).size() + ("alarm" + std::to_string(kAlarmFlagCount)).size();
  for (const Sensor& s : sensors())
    kindAndKey = std::max(kindAndKey, std::string(kSensorKind).size() + s.key.size());
  return std::string(kDiscoveryPrefix).size() + kindAndKey + discoveryNode(topicPrefix, pack).size() + 1 +
         std::string("/config").size();
}

std::vector<DiscoveryMessage> discoveryMessages(const std::string& topicPrefix, const std::string& pack) {
  const std::string node = discoveryNode(topicPrefix, pack);
  const std::string stateTopic = topicPrefix + "/" + pack + "/state";
  const nlohmann::json device = {
      {"identifiers", {node}},
      {"name", "BMS " + pack},
      {"model", "4-cell pack"},
  };
  const nlohmann::json availability = nlohmann::json::array({
      {{"topic", topicPrefix + "/" + pack + "/availability"}},
      {{"topic", topicPrefix + "/availability"}},
  });
  auto base = [&](const std::string& key, const std::string& name) {
    return nlohmann::json{
        {"name", name},
        {"unique_id", node + "_" + key},
        {"object_id", node + "_" + key},
        {"state_topic", stateTopic},
        {"availability", availability},
        {"availability_mode", "all"},
        {"device", device},
    };
  };

  std::vector<DiscoveryMessage> messages;
  for (const Sensor& s : sensors()) {
    nlohmann::json config = base(s.key, s.name);
    config["value_template"] = "{{ " + s.value + " }}";
    config["unit_of_measurement"] = s.unit;
    config["state_class"] = "measurement";
    if (s.deviceClass) config["device_class"] = s.deviceClass;
    messages.push_back({kDiscoveryPrefix + (kSensorKind + node) + "/" + s.key + "/config", config});
  }
  for (std::size_t n = 1; n <= kAlarmFlagCount; ++n) {
    const std::string label(alarmName(n));
    const std::string key = "alarm" + std::to_string(n);
    nlohmann::json config = base(key, label);
    config["value_template"] = "{{ 'ON' if '" + label + "' in value_json.alarms else 'OFF' }}";
    config["device_class"] = "problem";
    messages.push_back({kDiscoveryPrefix + (kAlarmKind + node) + "/" + key + "/config", config});
  }
  return messages;
}

}  // namespace orlo::headless
