#pragma once
// Reads the [[alert]] and [[notify]] arrays of tables of the monitor's TOML config. Every
// refusal names the file and line ("site.toml:12: ...").

#include <string>
#include <vector>

#include <toml++/toml.h>

#include "core/alert_rule.h"

namespace orlo {

// `node`: the value of the key `alert` (or `notify`); `source`: the file name for messages.
// Each returns an empty string, or the message for the user.
std::string parseAlertRules(const toml::node& node, const std::string& source, std::vector<AlertRule>& out);
std::string parseNotifyChannels(const toml::node& node, const std::string& source,
                                std::vector<NotifyChannel>& out);

// Refuses a rule that names a pack not in `packs`, naming both.
std::string checkAlertPacks(const std::vector<AlertRule>& rules, const std::vector<std::string>& packs);

}  // namespace orlo
