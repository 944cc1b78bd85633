#include "headless/notice_format.h"

#include <cmath>

#include <nlohmann/json.hpp>

namespace orlo::headless {
namespace {

nlohmann::ordered_json number(const std::optional<double>& value) {
  if (!value) return nullptr;
  if (std::trunc(*value) == *value && std::fabs(*value) < 9e15) return static_cast<long long>(*value);
  return *value;
}

// Header values take one line of printable text: a rule name from the config may hold anything.
std::string headerText(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  return text;
}

std::string title(const Notice& n) {
  if (n.state == "test") return headerText(n.message);
  return headerText(n.pack + ": " + n.rule + (n.state == "cleared" ? " cleared" : ""));
}

}  // namespace

Notice noticeOf(const AlertNotice& a, const std::string& time) {
  Notice n;
  n.pack = *a.packName;
  n.rule = a.rule->name;
  n.state = a.firing ? "firing" : "cleared";
  n.message = a.message;
  n.value = a.value;
  if (a.rule->watch != AlertWatch::Alarm) n.limit = a.rule->limit;
  n.severity = a.rule->severity;
  n.time = time;
  return n;
}

Notice testNotice(const std::string& host, const std::string& time) {
  Notice n;
  n.pack = host;
  n.rule = "test";
  n.state = "test";
  n.message = "orlo-bms on " + host + ": test notice";
  n.severity = AlertSeverity::Info;
  n.time = time;
  return n;
}

std::string webhookBody(const Notice& n) {
  nlohmann::ordered_json body;
  body["pack"] = n.pack;
  body["rule"] = n.rule;
  body["state"] = n.state;
  body["message"] = n.message;
  body["value"] = number(n.value);
  body["limit"] = number(n.limit);
  body["severity"] = severityName(n.severity);
  body["time"] = n.time;
  // A config's rule name that is not UTF-8 must not throw: it is replaced, not sent raw.
  return body.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

nlohmann::json alertEvent(const Notice& n) {
  nlohmann::ordered_json fields = nlohmann::ordered_json::parse(webhookBody(n));
  nlohmann::json event = {{"event", "alert"}};
  for (const auto& [key, value] : fields.items())
    if (key != "pack") event[key] = value;
  return event;
}

std::vector<std::string> ntfyHeaders(const Notice& n) {
  int priority = 3;
  std::string tags = "information_source";
  if (n.state == "firing") {
    priority = n.severity == AlertSeverity::Critical ? 5 : n.severity == AlertSeverity::Warning ? 4 : 3;
    tags = n.severity == AlertSeverity::Critical ? "rotating_light" : "warning";
  } else if (n.state == "cleared") {
    tags = "white_check_mark";
  }
  return {"Title: " + title(n), "Priority: " + std::to_string(priority), "Tags: " + tags};
}

std::string mailText(const Notice& n, const std::string& from, const std::vector<std::string>& to,
                     const std::string& date) {
  std::string rcpt;
  for (const std::string& address : to) rcpt += (rcpt.empty() ? "" : ", ") + headerText(address);
  std::string text = "Date: " + date + "\r\nFrom: " + headerText(from) + "\r\nTo: " + rcpt +
                     "\r\nSubject: " + title(n) +
                     "\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=utf-8\r\n"
                     "Content-Transfer-Encoding: 8bit\r\n\r\n";
  text += n.message + "\r\nseverity: " + severityName(n.severity) + "\r\ntime: " + n.time + "\r\n";
  return text;
}

}  // namespace orlo::headless
