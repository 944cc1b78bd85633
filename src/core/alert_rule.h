#pragma once
// The [[alert]] and [[notify]] tables of the monitor's config, as values.

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace orlo {

enum class AlertWatch { CellMv, SpreadMv, TempC, SocPct, ChargeA, DischargeA, LinkLostS, Alarm };
enum class AlertSeverity { Info, Warning, Critical };

const char* watchName(AlertWatch watch);
const char* severityName(AlertSeverity severity);

struct AlertRule {
  std::string name;
  AlertWatch watch = AlertWatch::CellMv;
  bool above = true;  // false: fires below the limit
  double limit = 0;
  double clear = 0;  // back once the value is at or past this level (the limit unless set)
  int forSeconds = 0;
  std::optional<std::size_t> index;  // cell or sensor, 1-based; nothing: any
  std::string label;                 // alarm lamp label; empty: any flag
  std::vector<std::string> packs;    // empty: every pack
  AlertSeverity severity = AlertSeverity::Warning;
  int repeatMinutes = 0;  // 0: no limit
};

enum class NotifyKind { Ntfy, Webhook, Email };

struct NotifyChannel {
  NotifyKind kind = NotifyKind::Webhook;
  std::string url;                             // topic URL, webhook URL, smtp:// or smtps:// server
  std::map<std::string, std::string> headers;  // webhook
  std::string token;                           // ntfy access token (Bearer)
  std::string from;                            // email
  std::vector<std::string> to;                 // email
  std::string username;                        // email login
  std::string password;                        // never printed
  std::string passwordFile;                    // first line USER:PASSWORD, read by the program
  std::string caFile;                          // to verify the server's certificate
  int retrySeconds = 30;                       // first retry; doubles up to ten times that
  int timeoutSeconds = 20;
  std::string where;  // file:line of the table, for messages
};

struct AlertConfig {
  std::vector<AlertRule> rules;
  std::vector<NotifyChannel> channels;
};

}  // namespace orlo
