#include "headless/monitor_settings.h"

#include <cerrno>
#include <cstring>

#include <toml++/toml.h>

#include "core/alert_config.h"
#include "headless/settings_checks.h"
#include "util/platform.h"

namespace orlo::headless {
namespace {

constexpr int kLongestInterval = 86400;
constexpr int kMqttPort = 1883;
constexpr int kMqttsPort = 8883;
constexpr int kShortestKeepAlive = 5;  // the library's own floor
constexpr int kLongestKeepAlive = 3600;
constexpr std::size_t kLargestPasswordFile = 64 << 10;

bool nameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

bool wholeNumber(const std::string& text, long low, long high, long& out) {
  if (text.empty() || text.size() > 9) return false;
  out = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    out = out * 10 + (c - '0');
  }
  return out >= low && out <= high;
}

std::string where(const std::string& source, const toml::source_region& region) {
  return source + ":" + std::to_string(region.begin.line);
}

// A string value, or a message naming the line that holds something else.
std::string stringValue(const toml::node& node, const std::string& key, const std::string& source,
                        std::string& out) {
  const auto* value = node.as_string();
  if (value == nullptr) return where(source, node.source()) + ": " + key + " must be a string in quotes";
  out = value->get();
  return {};
}

std::string applyPacks(const toml::node& node, const std::string& source, MonitorSettings& settings) {
  const toml::table* table = node.as_table();
  if (table == nullptr) return where(source, node.source()) + ": packs must be a table of NAME = \"DEVICE\"";
  for (const auto& [key, value] : *table) {
    std::string device;
    const std::string name(key.str());
    if (std::string error = stringValue(value, "pack " + name, source, device); !error.empty()) return error;
    PackEntry pack;
    if (std::string error = parsePackOption(name + "=" + device, pack); !error.empty())
      return where(source, value.source()) + ": " + error;
    settings.packs.push_back(pack);
  }
  return {};
}

std::string applyInterval(const toml::node& node, const std::string& source, MonitorSettings& settings) {
  const auto* value = node.as_integer();
  if (value == nullptr || value->get() < 1 || value->get() > kLongestInterval)
    return where(source, node.source()) + ": interval must be a whole number of seconds from 1 to 86400";
  settings.intervalSeconds = static_cast<int>(value->get());
  return {};
}

std::string applyKeepAlive(const toml::node& node, const std::string& source, MonitorSettings& settings) {
  const auto* value = node.as_integer();
  if (value == nullptr || value->get() < kShortestKeepAlive || value->get() > kLongestKeepAlive)
    return where(source, node.source()) + ": keepalive must be a whole number of seconds from 5 to 3600";
  settings.keepAliveSeconds = static_cast<int>(value->get());
  return {};
}

std::string applyTopicPrefix(const toml::node& node, const std::string& source, MonitorSettings& settings) {
  const std::string place = where(source, node.source());
  if (std::string error = stringValue(node, "topic_prefix", source, settings.topicPrefix); !error.empty())
    return error;
  if (Status ok = checkTopicPrefix(settings.topicPrefix); !ok) return place + ": topic_prefix: " + ok.error();
  settings.topicPrefixSource = place + ": topic_prefix";
  return {};
}

std::string applyKey(const std::string& key, const toml::node& node, const std::string& source,
                     MonitorSettings& settings) {
  struct StringKey {
    const char* name;
    std::string MonitorSettings::*field;
  };
  static const StringKey kStrings[] = {
      {"log_dir", &MonitorSettings::logDir},     {"ca_file", &MonitorSettings::caFile},
      {"cert_file", &MonitorSettings::certFile}, {"key_file", &MonitorSettings::keyFile},
      {"username", &MonitorSettings::username},  {"password", &MonitorSettings::password},
  };
  for (const StringKey& k : kStrings)
    if (key == k.name) return stringValue(node, key, source, settings.*k.field);
  if (key == "packs") return applyPacks(node, source, settings);
  if (key == "interval") return applyInterval(node, source, settings);
  if (key == "keepalive") return applyKeepAlive(node, source, settings);
  if (key == "topic_prefix") return applyTopicPrefix(node, source, settings);
  if (key == "alert") return parseAlertRules(node, source, settings.alerts.rules);
  if (key == "notify") return parseNotifyChannels(node, source, settings.alerts.channels);
  std::string text;
  if (key == "metrics") {
    if (std::string error = stringValue(node, key, source, text); !error.empty()) return error;
    MetricsAddress address;
    if (std::string error = parseMetricsAddress(text, address); !error.empty())
      return where(source, node.source()) + ": " + error;
    settings.metrics = address;
    return {};
  }
  if (key == "mqtt" || key == "password_file") {
    if (std::string error = stringValue(node, key, source, text); !error.empty()) return error;
    if (key == "password_file") return readPasswordFile(text, settings);
    BrokerUrl url;
    if (std::string error = parseBrokerUrl(text, url); !error.empty())
      return where(source, node.source()) + ": " + error;
    settings.broker = url;
    return {};
  }
  return where(source, node.source()) + ": unknown setting '" + key + "'";
}

}  // namespace

std::string parsePackOption(const std::string& text, PackEntry& out) {
  const std::size_t eq = text.find('=');
  if (eq == std::string::npos) return "pack '" + text + "' is not NAME=DEVICE";
  const std::string name = text.substr(0, eq);
  const std::string device = text.substr(eq + 1);
  if (name.empty() || name.size() > 64) return "pack name '" + name + "' must have 1 to 64 characters";
  for (char c : name)
    if (!nameCharacter(c)) return "pack name '" + name + "' may hold only letters, digits, '-' and '_'";
  if (device.empty()) return "pack " + name + " has no device";
  out = {name, device};
  return {};
}

std::string parseBrokerUrl(const std::string& text, BrokerUrl& out) {
  BrokerUrl url;
  std::string rest;
  if (text.rfind("mqtt://", 0) == 0) {
    rest = text.substr(7);
  } else if (text.rfind("mqtts://", 0) == 0) {
    url.tls = true;
    rest = text.substr(8);
  } else {
    return "broker '" + text + "' must start with mqtt:// or mqtts://";
  }
  url.port = url.tls ? kMqttsPort : kMqttPort;
  // A bracketed IPv6 address keeps its colons.
  std::size_t hostEnd = rest.find(':');
  std::size_t portAt = hostEnd;
  if (!rest.empty() && rest[0] == '[') {
    const std::size_t close = rest.find(']');
    if (close == std::string::npos) return "broker '" + text + "' has an unclosed '['";
    url.host = rest.substr(1, close - 1);
    portAt = close + 1 < rest.size() ? close + 1 : std::string::npos;
    if (portAt != std::string::npos && rest[portAt] != ':') return "broker '" + text + "' is not HOST[:PORT]";
  } else {
    url.host = rest.substr(0, hostEnd);
  }
  if (url.host.empty() || url.host.find_first_of("/@ ") != std::string::npos)
    return "broker '" + text + "' is not mqtt[s]://HOST[:PORT]";
  if (portAt != std::string::npos) {
    long port = 0;
    if (!wholeNumber(rest.substr(portAt + 1), 1, 65535, port))
      return "broker '" + text + "' has no port number from 1 to 65535 after ':'";
    url.port = static_cast<int>(port);
  }
  out = url;
  return {};
}

std::string checkPrivateFile(const std::string& path, const char* what) {
  FileFacts facts;
  if (!factsOfPath(path, &facts))
    return std::string("cannot read ") + what + " " + path + ": " + errorText(errno);
  if (facts.othersMayReadOrWrite)
    return std::string(what) + " " + path + " can be read by other users; refused (chmod o-rw " + path + ")";
  return {};
}

std::string readPasswordFile(const std::string& path, MonitorSettings& settings) {
  if (std::string error = checkPrivateFile(path, "password file"); !error.empty()) return error;
  const Result<std::string> text = readSmallFile(path, kLargestPasswordFile, "password file");
  if (!text) return text.error();
  std::string line = text->substr(0, text->find('\n'));
  if (!line.empty() && line.back() == '\r') line.pop_back();
  const std::size_t colon = line.find(':');
  if (colon == std::string::npos || colon == 0)
    return "password file " + path + ": the first line must be USER:PASSWORD";
  settings.username = line.substr(0, colon);
  settings.password = line.substr(colon + 1);
  return {};
}

std::string readNotifySecrets(AlertConfig& alerts) {
  for (NotifyChannel& channel : alerts.channels) {
    if (channel.passwordFile.empty()) continue;
    MonitorSettings login;
    if (std::string error = readPasswordFile(channel.passwordFile, login); !error.empty())
      return channel.where + ": " + error;
    channel.username = login.username;
    channel.password = login.password;
  }
  return {};
}

std::string applyConfigText(const std::string& text, const std::string& source, MonitorSettings& settings) {
  toml::table table;
  try {
    table = toml::parse(text, source);
  } catch (const toml::parse_error& e) {
    return where(source, e.source()) + ": " + std::string(e.description());
  }
  for (const auto& [key, node] : table)
    if (std::string error = applyKey(std::string(key.str()), node, source, settings); !error.empty())
      return error;
  return {};
}

std::string buildSettings(const MonitorOverrides& o, MonitorSettings& settings) {
  if (o.configFile) {
    if (std::string error = checkPrivateFile(*o.configFile, "config file"); !error.empty()) return error;
    const Result<std::string> text = readSmallFile(*o.configFile, kLargestConfigFile, "config file");
    if (!text) return text.error();
    if (std::string error = applyConfigText(*text, *o.configFile, settings); !error.empty()) return error;
  }
  if (!o.packs.empty()) settings.packs.clear();
  for (const std::string& text : o.packs) {
    PackEntry pack;
    if (std::string error = parsePackOption(text, pack); !error.empty()) return "--pack: " + error;
    settings.packs.push_back(pack);
  }
  if (o.mqtt) {
    BrokerUrl url;
    if (std::string error = parseBrokerUrl(*o.mqtt, url); !error.empty()) return "--mqtt: " + error;
    settings.broker = url;
  }
  if (o.metrics) {
    MetricsAddress address;
    if (std::string error = parseMetricsAddress(*o.metrics, address); !error.empty()) return error;
    settings.metrics = address;
  }
  if (o.topicPrefix) {
    settings.topicPrefix = *o.topicPrefix;
    settings.topicPrefixSource = "--topic-prefix";
  }
  if (o.logDir) settings.logDir = *o.logDir;
  if (o.intervalSeconds) settings.intervalSeconds = *o.intervalSeconds;
  if (o.keepAliveSeconds) settings.keepAliveSeconds = *o.keepAliveSeconds;
  if (o.caFile) settings.caFile = *o.caFile;
  if (o.certFile) settings.certFile = *o.certFile;
  if (o.keyFile) settings.keyFile = *o.keyFile;
  if (o.passwordFile)
    if (std::string error = readPasswordFile(*o.passwordFile, settings); !error.empty()) return error;

  if (std::string error = readNotifySecrets(settings.alerts); !error.empty()) return error;
  if (settings.packs.empty()) return "no pack given (--pack NAME=DEVICE or [packs] in the config file)";
  for (std::size_t i = 0; i < settings.packs.size(); ++i)
    for (std::size_t j = 0; j < i; ++j)
      if (settings.packs[i].name == settings.packs[j].name)
        return "pack " + settings.packs[i].name + " is given twice";
  if (Status ok = checkTopicPrefix(settings.topicPrefix); !ok)
    return settings.topicPrefixSource + ": " + ok.error();
  if (Status ok = checkTopicLengths(settings.topicPrefix, settings.packs); !ok)
    return settings.topicPrefixSource + ": " + ok.error();
  if (Status ok = checkDistinctDevices(settings.packs); !ok) return ok.error();
  std::vector<std::string> names;
  for (const PackEntry& pack : settings.packs) names.push_back(pack.name);
  if (std::string error = checkAlertPacks(settings.alerts.rules, names); !error.empty()) return error;
  if (settings.intervalSeconds < 1 || settings.intervalSeconds > kLongestInterval)
    return "--interval must be a whole number of seconds from 1 to 86400";
  if (settings.certFile.empty() != settings.keyFile.empty())
    return "a client certificate needs its key and the other way round";
  if (!settings.broker &&
      (!settings.caFile.empty() || !settings.certFile.empty() || !settings.username.empty()))
    return "TLS files, user name and password need --mqtt";
  if (!settings.certFile.empty() && settings.broker && !settings.broker->tls)
    return "a client certificate needs an mqtts:// broker";
  if (settings.keepAliveSeconds < kShortestKeepAlive || settings.keepAliveSeconds > kLongestKeepAlive)
    return "--keepalive must be a whole number of seconds from 5 to 3600";
  // A file that is no certificate would only fail at each connection attempt, for ever.
  if (!settings.caFile.empty())
    if (Status ok = checkCertificateFile(settings.caFile, "CA file"); !ok) return ok.error();
  if (!settings.certFile.empty())
    if (Status ok = checkCertificateFile(settings.certFile, "certificate file"); !ok) return ok.error();
  return {};
}

}  // namespace orlo::headless
