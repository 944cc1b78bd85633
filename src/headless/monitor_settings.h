#pragma once
// Everything `orlo-bms monitor` is told, from its config file and its command line, and the
// checks that refuse a setting before anything is opened.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "core/alert_rule.h"
#include "headless/metrics_server.h"

namespace orlo::headless {

struct PackEntry {
  std::string name;    // letters, digits, '-', '_'
  std::string device;  // path of the serial device
};

struct BrokerUrl {
  bool tls = false;
  std::string host;
  int port = 0;
};

struct MonitorSettings {
  std::vector<PackEntry> packs;
  std::optional<BrokerUrl> broker;  // nothing: JSON lines on standard output
  std::string topicPrefix = "orlo";
  std::string topicPrefixSource = "topic prefix";  // where it was set, for messages
  std::string logDir;                              // empty: no data log
  int intervalSeconds = 1;
  int keepAliveSeconds = 30;  // the broker is declared lost after 1.5 times this in silence
  std::string caFile;
  std::string certFile;
  std::string keyFile;
  std::string username;
  std::string password;                   // never printed
  AlertConfig alerts;                     // [[alert]] and [[notify]]
  std::optional<MetricsAddress> metrics;  // nothing: no /metrics
};

// What the command line may set; unset fields leave the config file's value.
struct MonitorOverrides {
  std::vector<std::string> packs;  // NAME=DEVICE
  std::optional<std::string> mqtt;
  std::optional<std::string> topicPrefix;
  std::optional<std::string> logDir;
  std::optional<int> intervalSeconds;
  std::optional<int> keepAliveSeconds;
  std::optional<std::string> caFile;
  std::optional<std::string> certFile;
  std::optional<std::string> keyFile;
  std::optional<std::string> passwordFile;
  std::optional<std::string> configFile;
  std::optional<std::string> metrics;
};

// Each returns an empty string when the text is accepted, else the message for the user.
std::string parsePackOption(const std::string& text, PackEntry& out);
std::string parseBrokerUrl(const std::string& text, BrokerUrl& out);

// The largest config file read; a larger one is refused unread.
constexpr std::size_t kLargestConfigFile = 1 << 20;

// Refuses a file that users other than its owner and group may read, naming it.
std::string checkPrivateFile(const std::string& path, const char* what);

// Reads "USER:PASSWORD" from the first line of a password file (after checkPrivateFile); only
// a small regular file is read.
std::string readPasswordFile(const std::string& path, MonitorSettings& settings);

// Reads the login of every notify channel that names a password_file (after checkPrivateFile).
std::string readNotifySecrets(AlertConfig& alerts);

// Applies a TOML config text; `source` names it in messages. Unknown keys are refused.
std::string applyConfigText(const std::string& text, const std::string& source, MonitorSettings& settings);

// Config file (checked, then applied), then the command line on top, then the whole checked.
std::string buildSettings(const MonitorOverrides& overrides, MonitorSettings& settings);

}  // namespace orlo::headless
