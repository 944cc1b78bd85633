#pragma once
// The JSON objects the monitor publishes for a pack: its state per live data frame and its
// events. The same objects go to MQTT and, one per line, to standard output.

#include <chrono>
#include <optional>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "core/pack_events.h"
#include "link/answers.h"

namespace orlo::headless {

// Local time in ISO 8601 with milliseconds and the UTC offset: 2024-05-01T14:03:07.250+02:00.
std::string isoTime(std::chrono::system_clock::time_point when);
// The same text into `out`, replacing what it held, without allocating once `out` has grown.
void writeIsoTime(std::chrono::system_clock::time_point when, std::string& out);

// What the state object needs besides the frame: texts the window keeps from earlier frames.
struct StateContext {
  std::string time;
  std::string modeText;         // empty: no mode known yet (null in the object)
  std::optional<MosState> mos;  // nothing: no MOSFET state known yet (null)
};

// The state object, and the same object written straight as its JSON text (the bytes
// stateObject(...).dump() gives) into `out`, replacing what it held: at one message per pack
// a second the monitor builds no document and, once `out` has grown, allocates nothing.
nlohmann::json stateObject(const LiveData& data, const StateContext& context);
void writeStateText(const LiveData& data, const StateContext& context, std::string& out);
nlohmann::json eventObject(const PackEvent& event, const std::string& time);

// The object of a line on standard output: {"pack": NAME, "state"|"event": object}.
nlohmann::json stdoutLine(const std::string& pack, const char* kind, const nlohmann::json& object);

}  // namespace orlo::headless
