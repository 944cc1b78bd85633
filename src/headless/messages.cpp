#include "headless/messages.h"

#include <charconv>
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
  std::string out;
  writeIsoTime(when, out);
  return out;
}

void writeIsoTime(std::chrono::system_clock::time_point when, std::string& out) {
  using namespace std::chrono;
  // Every pack's state asks within the same second: the calendar part and the offset are
  // worked out once per second, only the milliseconds per call.
  struct Second {
    std::time_t seconds = -1;
    char head[32] = {};   // 2024-05-01T14:03:07
    char offset[8] = {};  // +02:00
  };
  thread_local Second cached;
  const std::time_t seconds = system_clock::to_time_t(when);
  auto millis = duration_cast<milliseconds>(when.time_since_epoch()).count() % 1000;
  if (millis < 0) millis += 1000;
  if (seconds != cached.seconds) {
    std::tm local{};
    localtime_r(&seconds, &local);
    std::strftime(cached.head, sizeof cached.head, "%Y-%m-%dT%H:%M:%S", &local);
    const long offset = local.tm_gmtoff;
    const long minutes = (offset < 0 ? -offset : offset) / 60;
    std::snprintf(cached.offset, sizeof cached.offset, "%c%02ld:%02ld", offset < 0 ? '-' : '+',
                  minutes / 60 % 100, minutes % 60);
    cached.seconds = seconds;
  }
  const char fraction[5] = {'.', static_cast<char>('0' + millis / 100),
                            static_cast<char>('0' + millis / 10 % 10), static_cast<char>('0' + millis % 10),
                            '\0'};
  out.assign(cached.head);
  out.append(fraction, 4);
  out.append(cached.offset);
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

namespace {

// A number as nlohmann's dump writes a double that shownAs() made: the shortest text that reads
// back as it, which for these few decimals is the window's text without its trailing zeros,
// one decimal kept ("40.0", "-20.122999", "-0.0").
void appendShown(std::string& out, double value, int decimals) {
  std::string text = formatFixed(value, decimals);
  const std::size_t point = text.find('.');
  if (point != std::string::npos) {
    std::size_t end = text.size();
    while (end > point + 2 && text[end - 1] == '0') --end;
    text.resize(end);
  } else {
    text += ".0";
  }
  out += text;
}

void appendInt(std::string& out, long long value) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out.append(digits, static_cast<std::size_t>(end - digits));
}

// Texts of our own tables and the time, none of which needs escaping.
void appendText(std::string& out, std::string_view text) {
  out += '"';
  out.append(text.data(), text.size());
  out += '"';
}

template <typename Values>
void appendArray(std::string& out, const Values& values) {
  out += '[';
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i > 0) out += ',';
    appendInt(out, values[i]);
  }
  out += ']';
}

}  // namespace

// Keys in the order nlohmann's object keeps them (sorted), so both give the same bytes.
void writeStateText(const LiveData& d, const StateContext& context, std::string& out) {
  out.clear();
  out += "{\"alarms\":[";
  bool first = true;
  for (std::size_t n = 1; n <= kAlarmFlagCount; ++n) {
    if (!d.alarm(n)) continue;
    if (!first) out += ',';
    first = false;
    appendText(out, alarmName(n));
  }
  out += "],\"balancing\":[";
  first = true;
  for (std::size_t cell = 1; cell <= kCellCount; ++cell) {
    if (!d.balancing(cell)) continue;
    if (!first) out += ',';
    first = false;
    appendInt(out, static_cast<long long>(cell));
  }
  out += "],\"bus_mv\":";
  appendInt(out, d.busMv);
  out += ",\"cell_mv\":";
  appendArray(out, d.cellMv);
  out += ",\"current_a\":";
  appendShown(out, d.currentA(), 6);
  out += ",\"cycles\":";
  appendInt(out, d.cycleCount);
  out += ",\"mode\":";
  if (context.modeText.empty()) {
    out += "null";
  } else {
    appendText(out, context.modeText);
  }
  out += ",\"mos\":";
  if (context.mos) {
    out += context.mos->charge ? "{\"chg\":true," : "{\"chg\":false,";
    out += context.mos->discharge ? "\"dis\":true}" : "\"dis\":false}";
  } else {
    out += "null";
  }
  out += ",\"remain_ah\":";
  appendShown(out, d.remainingCentiAh / 100.0, 2);
  out += ",\"soc_pct\":";
  appendInt(out, d.socPercent);
  out += ",\"temp_c\":";
  appendArray(out, d.temperatureC);
  out += ",\"time\":";
  appendText(out, context.time);
  out += ",\"total_mv\":";
  appendInt(out, d.totalMv);
  out += '}';
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
