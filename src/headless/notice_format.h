#pragma once
// The words and bodies of an alert notice on each channel: the webhook's JSON object, ntfy's
// title, priority and tags, and the mail's header and text.

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "core/alert_engine.h"
#include "core/alert_rule.h"

namespace orlo::headless {

struct Notice {
  std::string pack;
  std::string rule;
  std::string state;  // "firing", "cleared", or "test"
  std::string message;
  std::optional<double> value;  // nothing: no value (a test)
  std::optional<double> limit;  // nothing: a rule without a limit (an alarm flag)
  AlertSeverity severity = AlertSeverity::Warning;
  std::string time;  // ISO 8601 local time
};

Notice noticeOf(const AlertNotice& notice, const std::string& time);
// The notice `orlo-bms alert test` sends.
Notice testNotice(const std::string& host, const std::string& time);

// {"pack":...,"rule":...,"state":...,"message":...,"value":...,"limit":...,"severity":...,"time":...}
// in that order; whole values as integers (3712, not 3712.0).
std::string webhookBody(const Notice& notice);

// The alert's event on P/NAME/event and in the JSON lines: {"event":"alert", then the webhook's
// fields but the pack}.
nlohmann::json alertEvent(const Notice& notice);

// HTTP header lines ("Name: value") for an ntfy topic: title, priority (3 for info and every
// clearing, 4 for warning, 5 for critical) and tags.
std::vector<std::string> ntfyHeaders(const Notice& notice);

// The whole mail, CRLF line ends, as it goes to the SMTP server after DATA.
std::string mailText(const Notice& notice, const std::string& from, const std::vector<std::string>& to,
                     const std::string& date);

}  // namespace orlo::headless
