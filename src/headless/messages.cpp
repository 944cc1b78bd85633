#include "headless/messages.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>
#include <string_view>

#include "util/platform.h"
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
    const std::tm local = localTime(seconds);
    // Digits by hand: strftime and printf are large for a few fixed fields, and this runs in
    // the first wake-up of every second.
    const long year = 1900L + local.tm_year;
    if (year >= 0 && year <= 9999) {
      char* at = cached.head;
      const auto two = [&at](long value, char after) {
        *at++ = static_cast<char>('0' + value / 10 % 10);
        *at++ = static_cast<char>('0' + value % 10);
        if (after != '\0') *at++ = after;
      };
      two(year / 100, '\0');
      two(year % 100, '-');
      two(local.tm_mon + 1, '-');
      two(local.tm_mday, 'T');
      two(local.tm_hour, ':');
      two(local.tm_min, ':');
      two(local.tm_sec, '\0');
      *at = '\0';
    } else {
      std::strftime(cached.head, sizeof cached.head, "%Y-%m-%dT%H:%M:%S", &local);
    }
    const std::string zone = isoZoneText(utcOffsetSeconds(local));
    std::memcpy(cached.offset, zone.c_str(), zone.size() + 1);
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

// Writes the state text straight into a buffer sized beforehand: a state is a few hundred bytes
// sent once a second per pack, and this keeps its cost to the digits themselves.
class TextWriter {
 public:
  explicit TextWriter(char* at) : at_(at) {}
  char* end() const { return at_; }

  void raw(std::string_view text) {
    std::memcpy(at_, text.data(), text.size());
    at_ += text.size();
  }
  // Texts of our own tables and the time, none of which needs escaping.
  void quoted(std::string_view text) {
    *at_++ = '"';
    raw(text);
    *at_++ = '"';
  }
  void integer(long long value) { at_ = std::to_chars(at_, at_ + kIntegerRoom, value).ptr; }
  template <typename Values>
  void integers(const Values& values) {
    *at_++ = '[';
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (i > 0) *at_++ = ',';
      integer(values[i]);
    }
    *at_++ = ']';
  }
  // The current as nlohmann's dump writes the double shownAs(current, 6) makes: the shortest text
  // that reads back as it, which for six decimals is the window's text without its trailing zeros,
  // one decimal kept ("40.0", "-20.122999", "-0.0"). A float times a million is exact in a double
  // (24 bits times 15625 times a power of two), so rounding that product to an integer, ties to
  // even as printf does, gives the window's six decimals without a general float printer.
  void current(float value) {
    const double scaled = std::nearbyint(static_cast<double>(value) * 1e6);
    if (!(std::fabs(scaled) < 1e18)) {  // nothing the board's 32-bit field can make
      raw("null");
      return;
    }
    char* const begin = at_;
    if (std::signbit(value)) *at_++ = '-';
    const auto millionths = static_cast<unsigned long long>(std::fabs(scaled));
    integer(static_cast<long long>(millionths / 1000000));
    *at_++ = '.';
    unsigned long long fraction = millionths % 1000000;
    for (int i = 5; i >= 0; --i, fraction /= 10) at_[i] = static_cast<char>('0' + fraction % 10);
    at_ += 6;
    trimZeros(begin);
  }
  // Hundredths as nlohmann writes shownAs(hundredths / 100.0, 2), without going through a double.
  void hundredths(unsigned value) {
    char* const begin = at_;
    integer(value / 100);
    *at_++ = '.';
    *at_++ = static_cast<char>('0' + value / 10 % 10);
    *at_++ = static_cast<char>('0' + value % 10);
    trimZeros(begin);
  }

  static constexpr std::size_t kIntegerRoom = 21;  // -9223372036854775808

 private:
  void trimZeros(const char* begin) {
    const char* point = std::find(begin, static_cast<const char*>(at_), '.');
    if (point == at_) {
      raw(".0");
      return;
    }
    while (at_ > point + 2 && at_[-1] == '0') --at_;
  }

  char* at_;
};

}  // namespace

// Keys in the order nlohmann's object keeps them (sorted), so both give the same bytes.
void writeStateText(const LiveData& d, const StateContext& context, std::string& out) {
  std::size_t room = 512 + context.time.size() + context.modeText.size();
  for (std::size_t n = 1; n <= kAlarmFlagCount; ++n)
    if (d.alarm(n)) room += alarmName(n).size() + 3;
  out.resize(room);
  TextWriter w(out.data());
  w.raw("{\"alarms\":[");
  bool first = true;
  for (std::size_t n = 1; n <= kAlarmFlagCount; ++n) {
    if (!d.alarm(n)) continue;
    if (!first) w.raw(",");
    first = false;
    w.quoted(alarmName(n));
  }
  w.raw("],\"balancing\":[");
  first = true;
  for (std::size_t cell = 1; cell <= kCellCount; ++cell) {
    if (!d.balancing(cell)) continue;
    if (!first) w.raw(",");
    first = false;
    w.integer(static_cast<long long>(cell));
  }
  w.raw("],\"bus_mv\":");
  w.integer(d.busMv);
  w.raw(",\"cell_mv\":");
  w.integers(d.cellMv);
  w.raw(",\"current_a\":");
  w.current(d.currentA());
  w.raw(",\"cycles\":");
  w.integer(d.cycleCount);
  w.raw(",\"mode\":");
  if (context.modeText.empty()) {
    w.raw("null");
  } else {
    w.quoted(context.modeText);
  }
  w.raw(",\"mos\":");
  if (context.mos) {
    w.raw(context.mos->charge ? "{\"chg\":true," : "{\"chg\":false,");
    w.raw(context.mos->discharge ? "\"dis\":true}" : "\"dis\":false}");
  } else {
    w.raw("null");
  }
  w.raw(",\"remain_ah\":");
  w.hundredths(d.remainingCentiAh);
  w.raw(",\"soc_pct\":");
  w.integer(d.socPercent);
  w.raw(",\"temp_c\":");
  w.integers(d.temperatureC);
  w.raw(",\"time\":");
  w.quoted(context.time);
  w.raw(",\"total_mv\":");
  w.integer(d.totalMv);
  w.raw("}");
  out.resize(static_cast<std::size_t>(w.end() - out.data()));
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
