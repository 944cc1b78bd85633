#pragma once
// Where a pack's messages go: the MQTT broker or standard output.

#include <string>

#include <nlohmann/json.hpp>

namespace orlo::headless {

class PackOutput {
 public:
  virtual ~PackOutput() = default;
  // `text`: the state object's JSON text (writeStateText).
  virtual void state(const std::string& pack, const std::string& text) = 0;
  virtual void event(const std::string& pack, const nlohmann::json& object) = 0;
  virtual void availability(const std::string& pack, bool online) = 0;
};

}  // namespace orlo::headless
