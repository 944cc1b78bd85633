#pragma once
// Where a pack's messages go: the MQTT broker or standard output.

#include <cstddef>
#include <string>

#include <nlohmann/json_fwd.hpp>

namespace orlo::headless {

// A pack is named by its place in the list of packs the output was made with.
class PackOutput {
 public:
  virtual ~PackOutput() = default;
  // `text`: the state object's JSON text (writeStateText).
  virtual void state(std::size_t pack, const std::string& text) = 0;
  virtual void event(std::size_t pack, const nlohmann::json& object) = 0;
  virtual void availability(std::size_t pack, bool online) = 0;
  // The alert rules now firing for the pack, as a JSON array's text; kept by the receiver.
  virtual void alerts(std::size_t /*pack*/, const std::string& /*text*/) {}
};

}  // namespace orlo::headless
