#include "headless/messages.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "util/text_format.h"

namespace orlo::headless {
namespace {

// A decimal as the window prints it, turned back into a number, so that a float's binary
// tail (20.122999...) never reaches the message.
double shownAs(double value, int decimals) {
  return std::strtod(formatFixed(value, decimals).c_str(), nullptr);
}

nlohmann::json mosObject(const MosState& mos) {
  return {{"dis", mos.discharge}, {"chg", mos.charge}};
}

const char* kindName(PackEvent::Kind kind) {
  switch (kind) {
    case PackEvent::Kind::Alarm:
      return "alarm";
    case PackEvent::Kind::Mos:
      return "mos";
    case PackEvent::Kind::Mode:
      return "mode";
    case PackEvent::Kind::Link:
      return "link";
  }
  return "";
}

}  // namespace

std::string isoTime(std::chrono::system_clock::time_point when) {
  using namespace std::chrono;
  const std::time_t seconds = system_clock::to_time_t(when);
  auto millis = duration_cast<milliseconds>(when.time_since_epoch()).count() % 1000;
  if (millis < 0) millis += 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  char head[32];
  std::strftime(head, sizeof head, "%Y-%m-%dT%H:%M:%S", &local);
  const long offset = local.tm_gmtoff;
  const long minutes = (offset < 0 ? -offset : offset) / 60;
  char out[64];
  std::snprintf(out, sizeof out, "%s.%03d%c%02ld:%02ld", head, static_cast<int>(millis),
                offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
  return out;
}

nlohmann::json stateObject(const LiveData& d, const StateContext& context) {
  nlohmann::json alarms = nlohmann::json::array();
  for (std::size_t n = 1; n <= kAlarmFlagCount; ++n)
    if (d.alarm(n)) alarms.push_back(std::string(alarmName(n)));
  nlohmann::json balancing = nlohmann::json::array();
  for (std::size_t cell = 1; cell <= kCellCount; ++cell)
    if (d.balancing(cell)) balancing.push_back(cell);
  nlohmann::json object = {
      {"time", context.time},
      {"cell_mv", d.cellMv},
      {"temp_c", d.temperatureC},
      {"current_a", shownAs(d.currentA(), 6)},
      {"total_mv", d.totalMv},
      {"bus_mv", d.busMv},
      {"soc_pct", d.socPercent},
      {"remain_ah", shownAs(d.remainingCentiAh / 100.0, 2)},
      {"cycles", d.cycleCount},
      {"mos", context.mos ? mosObject(*context.mos) : nlohmann::json()},
      {"mode", context.modeText.empty() ? nlohmann::json() : nlohmann::json(context.modeText)},
      {"alarms", alarms},
      {"balancing", balancing},
  };
  return object;
}

nlohmann::json eventObject(const PackEvent& e, const std::string& time) {
  nlohmann::json object = {{"time", time}, {"event", kindName(e.kind)}};
  switch (e.kind) {
    case PackEvent::Kind::Alarm:
      object["alarm"] = e.name;
      object["on"] = e.on;
      break;
    case PackEvent::Kind::Mos:
      object["mos"] = mosObject(e.mos);
      break;
    case PackEvent::Kind::Mode:
      object["mode"] = e.name;
      object["previous"] = e.previous;
      break;
    case PackEvent::Kind::Link:
      object["online"] = e.on;
      break;
  }
  return object;
}

nlohmann::json stdoutLine(const std::string& pack, const char* kind, const nlohmann::json& object) {
  return {{"pack", pack}, {kind, object}};
}

}  // namespace orlo::headless
