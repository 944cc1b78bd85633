#include "core/alert_reading.h"

#include <charconv>

namespace orlo {
namespace {

// The extreme of the values 1..count in the direction the rule fires, or the one it names.
template <typename Values>
AlertReading pick(const AlertRule& rule, const Values& values, std::size_t index) {
  if (index == 0 && rule.index) index = *rule.index;
  if (index >= 1 && index <= values.size()) return {static_cast<double>(values[index - 1]), index, {}};
  std::size_t best = 0;
  for (std::size_t i = 1; i < values.size(); ++i)
    if (rule.above ? values[i] > values[best] : values[i] < values[best]) best = i;
  return {static_cast<double>(values[best]), best + 1, {}};
}

AlertReading readFlag(const AlertRule& rule, const LiveData& live) {
  for (std::size_t n = 1; n <= kAlarmFlagCount; ++n) {
    if (!live.alarm(n)) continue;  // the usual case: no flag set, no label looked up
    const std::string_view label = alarmName(n);
    if (rule.label.empty() || label == rule.label) return {1, 0, label};
  }
  return {0, 0, rule.label};
}

// The unit after a value, and the noun before it.
struct Words {
  const char* noun;
  const char* unit;
};

Words wordsOf(AlertWatch watch) {
  switch (watch) {
    case AlertWatch::CellMv:
      return {"cell", " mV"};
    case AlertWatch::SpreadMv:
      return {"cell spread", " mV"};
    case AlertWatch::TempC:
      return {"sensor", " °C"};
    case AlertWatch::SocPct:
      return {"SOC", " %"};
    case AlertWatch::ChargeA:
      return {"charge current", " A"};
    case AlertWatch::DischargeA:
      return {"discharge current", " A"};
    case AlertWatch::LinkLostS:
      return {"link", " s"};
    case AlertWatch::Alarm:
      return {"alarm", ""};
  }
  return {"", ""};
}

}  // namespace

AlertReading readAlert(const AlertRule& rule, const LiveData& live, std::size_t index) {
  switch (rule.watch) {
    case AlertWatch::CellMv:
      return pick(rule, live.cellMv, index);
    case AlertWatch::TempC:
      return pick(rule, live.temperatureC, index);
    case AlertWatch::SpreadMv:
      return {static_cast<double>(live.maxCellMv) - static_cast<double>(live.minCellMv), 0, {}};
    case AlertWatch::SocPct:
      return {static_cast<double>(live.socPercent), 0, {}};
    case AlertWatch::DischargeA:
      return {static_cast<double>(live.currentMa()) / 1000.0, 0, {}};
    case AlertWatch::ChargeA:
      return {-static_cast<double>(live.currentMa()) / 1000.0, 0, {}};
    case AlertWatch::Alarm:
      return readFlag(rule, live);
    case AlertWatch::LinkLostS:
      break;  // read from the clock, not a frame
  }
  return {};
}

bool pastLimit(const AlertRule& rule, double value) {
  if (rule.watch == AlertWatch::LinkLostS) return value >= rule.limit;
  return rule.above ? value > rule.limit : value < rule.limit;
}

bool backFromLimit(const AlertRule& rule, double value) {
  return rule.above ? value <= rule.clear : value >= rule.clear;
}

std::string numberText(double value) {
  if (value == 0) value = 0;  // no "-0"
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

std::string alertMessage(const AlertRule& rule, const std::string& pack, const AlertReading& reading,
                         bool firing) {
  const Words words = wordsOf(rule.watch);
  std::string out = pack + ": ";
  if (rule.watch == AlertWatch::Alarm) {
    const std::string label = reading.label.empty() ? std::string("flags") : std::string(reading.label);
    return out + "alarm " + label + (firing ? " on" : " off");
  }
  if (rule.watch == AlertWatch::LinkLostS)
    return out + (firing ? "link lost for " + numberText(reading.value) + " s" : std::string("link back"));
  out += words.noun;
  if (reading.index != 0) out += " " + std::to_string(reading.index);
  if (!firing) return out + " back at " + numberText(reading.value) + words.unit;
  out += " at " + numberText(reading.value) + words.unit + (rule.above ? ", above " : ", below ") +
         numberText(rule.limit) + words.unit;
  if (rule.forSeconds > 0) out += " for " + std::to_string(rule.forSeconds) + " s";
  return out;
}

}  // namespace orlo
