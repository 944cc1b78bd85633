#include "core/alert_config.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include "link/answers.h"

namespace orlo {
namespace {

constexpr int kLongestHoldOff = 86400;
constexpr int kLongestRepeat = 7 * 24 * 60;
constexpr long long kMaxIndex = 64;

std::string where(const std::string& source, const toml::node& node) {
  return source + ":" + std::to_string(node.source().begin.line);
}

struct Named {
  const char* name;
  int value;
};

constexpr Named kWatches[] = {
    {"cell_mv", static_cast<int>(AlertWatch::CellMv)},
    {"spread_mv", static_cast<int>(AlertWatch::SpreadMv)},
    {"temp_c", static_cast<int>(AlertWatch::TempC)},
    {"soc_pct", static_cast<int>(AlertWatch::SocPct)},
    {"charge_a", static_cast<int>(AlertWatch::ChargeA)},
    {"discharge_a", static_cast<int>(AlertWatch::DischargeA)},
    {"link_lost_s", static_cast<int>(AlertWatch::LinkLostS)},
    {"alarm", static_cast<int>(AlertWatch::Alarm)},
};
constexpr Named kSeverities[] = {
    {"info", static_cast<int>(AlertSeverity::Info)},
    {"warning", static_cast<int>(AlertSeverity::Warning)},
    {"critical", static_cast<int>(AlertSeverity::Critical)},
};
constexpr Named kKinds[] = {
    {"ntfy", static_cast<int>(NotifyKind::Ntfy)},
    {"webhook", static_cast<int>(NotifyKind::Webhook)},
    {"email", static_cast<int>(NotifyKind::Email)},
};

template <std::size_t N>
std::string choices(const Named (&table)[N]) {
  std::string out;
  for (const Named& n : table) out += (out.empty() ? "" : ", ") + std::string(n.name);
  return out;
}

// A reader for one key: fills the value or returns the message (without the place).
using KeyReader = std::function<std::string(const toml::node&)>;

std::string readString(const toml::node& node, std::string& out) {
  const auto* value = node.as_string();
  if (value == nullptr) return "must be a string in quotes";
  out = value->get();
  return {};
}

std::string readWhole(const toml::node& node, long long low, long long high, int& out) {
  const auto* value = node.as_integer();
  if (value == nullptr || value->get() < low || value->get() > high)
    return "must be a whole number from " + std::to_string(low) + " to " + std::to_string(high);
  out = static_cast<int>(value->get());
  return {};
}

std::string readNumber(const toml::node& node, double& out) {
  if (const auto* i = node.as_integer()) {
    out = static_cast<double>(i->get());
    return {};
  }
  const auto* f = node.as_floating_point();
  if (f == nullptr || !std::isfinite(f->get())) return "must be a number";
  out = f->get();
  return {};
}

std::string readStrings(const toml::node& node, std::vector<std::string>& out) {
  const auto* array = node.as_array();
  if (array == nullptr) return "must be a list of strings";
  out.clear();
  for (const toml::node& item : *array) {
    const auto* text = item.as_string();
    if (text == nullptr) return "must be a list of strings";
    out.push_back(text->get());
  }
  return {};
}

template <std::size_t N>
std::string readChoice(const toml::node& node, const Named (&table)[N], int& out) {
  std::string text;
  if (!readString(node, text).empty()) return "must be one of " + choices(table);
  for (const Named& n : table)
    if (text == n.name) {
      out = n.value;
      return {};
    }
  return "'" + text + "' is not one of " + choices(table);
}

// Applies every key of one table through `readers`; an unknown key or a bad value names its line.
std::string applyTable(const toml::table& table, const std::string& what, const std::string& source,
                       const std::vector<std::pair<const char*, KeyReader>>& readers) {
  for (const auto& [key, value] : table) {
    const std::string_view name = key.str();  // a lambda may not capture a structured binding
    const auto reader =
        std::find_if(readers.begin(), readers.end(), [&](const auto& r) { return name == r.first; });
    if (reader == readers.end())
      return where(source, value) + ": unknown key '" + std::string(key.str()) + "' in [[" + what + "]]";
    if (std::string error = reader->second(value); !error.empty())
      return where(source, value) + ": " + what + " " + std::string(key.str()) + " " + error;
  }
  return {};
}

bool knownAlarmLabel(const std::string& label) {
  for (std::size_t n = 1; n <= kAlarmFlagCount; ++n)
    if (alarmName(n) == label) return true;
  return false;
}

std::string checkRule(const AlertRule& rule, bool hasLimit, bool hasClear, bool hasIndex) {
  if (rule.name.empty()) return "has no name";
  const bool flag = rule.watch == AlertWatch::Alarm;
  if (!flag && !hasLimit) return "'" + rule.name + "' needs above = ... or below = ...";
  if (flag && hasLimit) return "'" + rule.name + "' watches an alarm flag: it takes no above or below";
  if (!rule.label.empty() && !flag) return "'" + rule.name + "': label is for watch = \"alarm\"";
  if (!rule.label.empty() && !knownAlarmLabel(rule.label))
    return "'" + rule.name + "': no alarm lamp is labelled '" + rule.label + "'";
  const bool indexed = rule.watch == AlertWatch::CellMv || rule.watch == AlertWatch::TempC;
  if (hasIndex && !indexed) return "'" + rule.name + "': cell is for cell_mv and temp_c";
  const std::size_t count = rule.watch == AlertWatch::TempC ? kTemperatureCount : kCellCount;
  if (hasIndex && (*rule.index < 1 || *rule.index > count))
    return "'" + rule.name + "': the pack has no " + (rule.watch == AlertWatch::TempC ? "sensor " : "cell ") +
           std::to_string(*rule.index);
  if (rule.watch == AlertWatch::LinkLostS && !rule.above)
    return "'" + rule.name + "': link_lost_s takes above";
  if (hasClear && (rule.above ? rule.clear > rule.limit : rule.clear < rule.limit))
    return "'" + rule.name + "': clear must be on the safe side of the limit";
  return {};
}

std::string parseRule(const toml::table& table, const std::string& source, AlertRule& rule) {
  bool hasLimit = false, hasClear = false, hasIndex = false;
  int watch = 0, severity = static_cast<int>(AlertSeverity::Warning), index = 0;
  std::string twice;
  const auto limit = [&](bool above) {
    return [&, above](const toml::node& n) {
      if (hasLimit) return std::string("is a second limit: give above or below, once");
      hasLimit = true;
      rule.above = above;
      return readNumber(n, rule.limit);
    };
  };
  const std::vector<std::pair<const char*, KeyReader>> readers = {
      {"name", [&](const toml::node& n) { return readString(n, rule.name); }},
      {"watch", [&](const toml::node& n) { return readChoice(n, kWatches, watch); }},
      {"above", limit(true)},
      {"below", limit(false)},
      {"clear", [&](const toml::node& n) { return hasClear = true, readNumber(n, rule.clear); }},
      {"for_s", [&](const toml::node& n) { return readWhole(n, 0, kLongestHoldOff, rule.forSeconds); }},
      {"cell", [&](const toml::node& n) { return hasIndex = true, readWhole(n, 0, kMaxIndex, index); }},
      {"sensor", [&](const toml::node& n) { return hasIndex = true, readWhole(n, 0, kMaxIndex, index); }},
      {"label", [&](const toml::node& n) { return readString(n, rule.label); }},
      {"packs", [&](const toml::node& n) { return readStrings(n, rule.packs); }},
      {"severity", [&](const toml::node& n) { return readChoice(n, kSeverities, severity); }},
      {"repeat_min",
       [&](const toml::node& n) { return readWhole(n, 0, kLongestRepeat, rule.repeatMinutes); }},
  };
  if (std::string error = applyTable(table, "alert", source, readers); !error.empty()) return error;
  rule.watch = static_cast<AlertWatch>(watch);
  rule.severity = static_cast<AlertSeverity>(severity);
  if (hasIndex) rule.index = static_cast<std::size_t>(index);
  if (!hasClear) rule.clear = rule.limit;
  if (rule.watch == AlertWatch::Alarm) rule.limit = rule.clear = 0;  // fires while the flag reads 1
  if (std::string error = checkRule(rule, hasLimit, hasClear, hasIndex); !error.empty())
    return where(source, table) + ": alert " + error;
  return {};
}

std::string readHeaders(const toml::node& node, std::map<std::string, std::string>& out) {
  const auto* table = node.as_table();
  if (table == nullptr) return "must be a table of NAME = \"VALUE\"";
  for (const auto& [key, value] : *table) {
    const auto* text = value.as_string();
    const std::string name(key.str());
    if (text == nullptr || name.empty() || name.find_first_of(":\r\n ") != std::string::npos ||
        text->get().find_first_of("\r\n") != std::string::npos)
      return "'" + name + "' must be a header name and a one-line string";
    out[name] = text->get();
  }
  return {};
}

std::string checkChannel(const NotifyChannel& c) {
  const auto starts = [&](const char* prefix) { return c.url.rfind(prefix, 0) == 0; };
  if (c.kind == NotifyKind::Email) {
    if (!starts("smtp://") && !starts("smtps://"))
      return "an email channel needs url = \"smtp[s]://HOST[:PORT]\"";
    if (c.from.empty() || c.to.empty()) return "an email channel needs from and to";
    if (c.password.empty() != c.username.empty() && c.passwordFile.empty())
      return "an email login needs both username and password (or password_file)";
    return {};
  }
  if (!starts("http://") && !starts("https://")) return "needs url = \"http[s]://...\"";
  return {};
}

std::string parseChannel(const toml::table& table, const std::string& source, NotifyChannel& c) {
  int kind = -1;
  const std::vector<std::pair<const char*, KeyReader>> readers = {
      {"kind", [&](const toml::node& n) { return readChoice(n, kKinds, kind); }},
      {"url", [&](const toml::node& n) { return readString(n, c.url); }},
      {"headers", [&](const toml::node& n) { return readHeaders(n, c.headers); }},
      {"token", [&](const toml::node& n) { return readString(n, c.token); }},
      {"from", [&](const toml::node& n) { return readString(n, c.from); }},
      {"to", [&](const toml::node& n) { return readStrings(n, c.to); }},
      {"username", [&](const toml::node& n) { return readString(n, c.username); }},
      {"password", [&](const toml::node& n) { return readString(n, c.password); }},
      {"password_file", [&](const toml::node& n) { return readString(n, c.passwordFile); }},
      {"ca_file", [&](const toml::node& n) { return readString(n, c.caFile); }},
      {"retry_s", [&](const toml::node& n) { return readWhole(n, 1, 3600, c.retrySeconds); }},
      {"timeout_s", [&](const toml::node& n) { return readWhole(n, 1, 300, c.timeoutSeconds); }},
  };
  if (std::string error = applyTable(table, "notify", source, readers); !error.empty()) return error;
  c.where = where(source, table);
  if (kind < 0) return c.where + ": notify needs kind = " + choices(kKinds);
  c.kind = static_cast<NotifyKind>(kind);
  if (std::string error = checkChannel(c); !error.empty()) return c.where + ": notify " + error;
  return {};
}

template <typename T, typename Parse>
std::string parseArray(const toml::node& node, const std::string& source, const char* what, Parse parse,
                       std::vector<T>& out) {
  const auto* array = node.as_array();
  if (array == nullptr || !array->is_array_of_tables())
    return where(source, node) + ": write each " + what + " as a [[" + what + "]] table";
  for (const toml::node& item : *array) {
    T value;
    if (std::string error = parse(*item.as_table(), source, value); !error.empty()) return error;
    out.push_back(std::move(value));
  }
  return {};
}

}  // namespace

const char* watchName(AlertWatch watch) {
  for (const Named& n : kWatches)
    if (n.value == static_cast<int>(watch)) return n.name;
  return "";
}

const char* severityName(AlertSeverity severity) {
  for (const Named& n : kSeverities)
    if (n.value == static_cast<int>(severity)) return n.name;
  return "";
}

std::string parseAlertRules(const toml::node& node, const std::string& source, std::vector<AlertRule>& out) {
  return parseArray<AlertRule>(node, source, "alert", parseRule, out);
}

std::string parseNotifyChannels(const toml::node& node, const std::string& source,
                                std::vector<NotifyChannel>& out) {
  return parseArray<NotifyChannel>(node, source, "notify", parseChannel, out);
}

std::string checkAlertPacks(const std::vector<AlertRule>& rules, const std::vector<std::string>& packs) {
  for (const AlertRule& rule : rules)
    for (const std::string& name : rule.packs)
      if (std::find(packs.begin(), packs.end(), name) == packs.end())
        return "alert '" + rule.name + "' names pack '" + name + "', which is not among the packs";
  return {};
}

}  // namespace orlo
