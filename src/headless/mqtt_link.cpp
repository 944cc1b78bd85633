#include "headless/mqtt_link.h"

#include <mosquitto.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "util/platform.h"

namespace orlo::headless {
namespace {

constexpr std::chrono::seconds kFirstPause{1};
constexpr std::chrono::seconds kLongestPause{30};
constexpr std::chrono::seconds kMiscPeriod{1};
// The keep-alive round may run this much early or late: it then rides along with a wake-up the
// loop has anyway (the packs' poll tick) instead of waking the program on its own.
constexpr std::chrono::milliseconds kMiscSlack{500};
constexpr char kSystemCertificates[] = "/etc/ssl/certs";
constexpr int kVerifyPeer = 1;  // OpenSSL's SSL_VERIFY_PEER

std::string clientId() {
  return "orlo-bms-" + hostName().substr(0, 63) + "-" + std::to_string(::getpid());
}

// Bytes the kernel may hold unsent for a connection. Beyond them the socket refuses more, so a
// broker that stops reading shows at once (the library keeps what is left and MqttOutput stops
// handing over), and what reaches it late is at most this much stale.
constexpr int kUnsentBytes = 256 * 1024;

void cork(int socket, int on) {
  ::setsockopt(socket, IPPROTO_TCP, TCP_CORK, &on, sizeof on);
}

}  // namespace

Result<std::unique_ptr<MqttLink>> MqttLink::create(const MonitorSettings& settings,
                                                   const std::string& willTopic) {
  std::unique_ptr<MqttLink> link(new MqttLink(settings));
  if (Status set = link->setUp(settings, willTopic); !set) return fail(set.error());
  return link;
}

MqttLink::MqttLink(const MonitorSettings& settings)
    : host_(settings.broker->host),
      port_(settings.broker->port),
      tls_(settings.broker->tls),
      keepAlive_(settings.keepAliveSeconds) {}

Status MqttLink::setUp(const MonitorSettings& settings, const std::string& willTopic) {
  client_ = mosquitto_new(clientId().c_str(), true, this);
  if (client_ == nullptr) return fail("cannot set up the MQTT client");
  mosquitto_int_option(client_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
  // A publish only queues its packet; push() writes what a wake-up queued in one pass.
  mosquitto_threaded_set(client_, true);
  // The packs' states leave in one burst a second; with Nagle's algorithm all but the first
  // waited for the broker's delayed acknowledgement (40 ms on loopback).
  mosquitto_int_option(client_, MOSQ_OPT_TCP_NODELAY, 1);
  mosquitto_connect_callback_set(client_, connectCallback);
  mosquitto_disconnect_callback_set(client_, disconnectCallback);
  mosquitto_publish_callback_set(client_, publishCallback);
  mosquitto_log_callback_set(client_, logCallback);
  // The library's own window stays open: MqttOutput bounds what it hands over.
  mosquitto_max_inflight_messages_set(client_, 0);
  mosquitto_will_set(client_, willTopic.c_str(), 7, "offline", 1, true);
  if (!settings.username.empty())
    mosquitto_username_pw_set(client_, settings.username.c_str(),
                              settings.password.empty() ? nullptr : settings.password.c_str());
  if (!tls_) return {};
  const char* caFile = settings.caFile.empty() ? nullptr : settings.caFile.c_str();
  const char* caPath = caFile ? nullptr : kSystemCertificates;
  const char* cert = settings.certFile.empty() ? nullptr : settings.certFile.c_str();
  const char* key = settings.keyFile.empty() ? nullptr : settings.keyFile.c_str();
  if (mosquitto_tls_set(client_, caFile, caPath, cert, key, nullptr) != MOSQ_ERR_SUCCESS)
    return fail("cannot use the TLS files (CA " + (caFile ? settings.caFile : std::string(caPath)) +
                (cert ? ", certificate " + settings.certFile + ", key " + settings.keyFile : std::string()) +
                ")");
  // Peer verification and the host name check stay on; nothing here turns them off.
  mosquitto_tls_opts_set(client_, kVerifyPeer, nullptr, nullptr);
  return {};
}

MqttLink::~MqttLink() {
  stop();
  if (client_) mosquitto_destroy(client_);
}

void MqttLink::start() {
  if (started_) return;
  started_ = true;
  const Time now = std::chrono::steady_clock::now();
  nextTimer_ = now + kMiscPeriod;
  attempt(now, true);
}

void MqttLink::attempt(Time now, bool first) {
  ++attempts_;
  lastHeard_ = now;
  const int rc =
      first ? mosquitto_connect_async(client_, host_.c_str(), port_, static_cast<int>(keepAlive_.count()))
            : mosquitto_reconnect_async(client_);
  if (rc == MOSQ_ERR_SUCCESS) return;
  report("cannot reach the broker at " + where() + ": " + mosquitto_strerror(rc));
  retryLater(now);
}

void MqttLink::stop() {
  if (!started_) return;
  started_ = false;
  if (mosquitto_socket(client_) >= 0) {
    // The disconnect leaves now or never: a broker that cannot take it publishes the will.
    mosquitto_disconnect(client_);
    mosquitto_loop_write(client_, 1);
  }
  connected_ = false;
}

int MqttLink::socket() const {
  return started_ ? mosquitto_socket(client_) : -1;
}

bool MqttLink::wantWrite() const {
  return started_ && mosquitto_want_write(client_);
}

void MqttLink::onSocketEvent(bool readable, Time now) {
  if (readable) lastHeard_ = now;
  // mosquitto_loop with no wait: it carries on a TLS handshake as well as reading and writing,
  // which mosquitto_loop_read and _write alone do not.
  const int rc = mosquitto_loop(client_, 0, 1);
  if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(client_) < 0) retryLater(now);
}

void MqttLink::onTimer(Time now) {
  if (!started_) return;
  const bool open = mosquitto_socket(client_) >= 0;
  if (open && now >= lastHeard_ + std::chrono::milliseconds(keepAlive_) * 3 / 2) return declareLost(now);
  // Most wake-ups are for the packs: those leave without asking the library anything.
  if (now < nextTimer_ - kMiscSlack || (!open && now < nextTimer_)) return;
  nextTimer_ = now + kMiscPeriod;
  if (open && connected_) {
    // Keep-alive only (a ping it queues leaves at push()); the socket itself is watched.
    if (mosquitto_loop_misc(client_) != MOSQ_ERR_SUCCESS || mosquitto_socket(client_) < 0) retryLater(now);
  } else if (open) {
    onSocketEvent(false, now);  // a connection under way
  } else {
    attempt(now, false);
  }
}

void MqttLink::declareLost(Time now) {
  // Closed with a reset: what still waits in the kernel for the silent broker is dropped.
  const linger reset{1, 0};
  ::setsockopt(mosquitto_socket(client_), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  char waited[16];
  std::snprintf(waited, sizeof waited, "%.1f", static_cast<double>(keepAlive_.count()) * 1.5);
  report(accepted_
             ? "the broker at " + where() + " sent nothing for " + std::string(waited) + " s; reconnecting"
             : "the broker at " + where() + " did not answer the connection in " + waited + " s");
  connected_ = false;
  accepted_ = false;
  // Closes the silent socket and starts afresh; quality-1 messages not acknowledged stay with
  // the library, which sends them again once the broker accepts.
  attempt(now, false);
}

MqttLink::Time MqttLink::nextDeadline() const {
  // Reconnection attempts keep their time; the keep-alive round waits for the next tick.
  Time next = connected_ ? nextTimer_ + kMiscSlack : nextTimer_;
  if (socket() >= 0) next = std::min(next, lastHeard_ + std::chrono::milliseconds(keepAlive_) * 3 / 2);
  return next;
}

void MqttLink::retryLater(Time now) {
  connected_ = false;
  if (mosquitto_socket(client_) >= 0) return;
  nextTimer_ = now + pause_;
  pause_ = std::min(pause_ * 2, kLongestPause);
}

bool MqttLink::takeConnected() {
  const bool was = justConnected_;
  justConnected_ = false;
  return was;
}

bool MqttLink::publish(const std::string& topic, const std::string& payload, int qos, bool retain) {
  int mid = 0;
  const int rc = mosquitto_publish(client_, &mid, topic.c_str(), static_cast<int>(payload.size()),
                                   payload.data(), qos, retain);
  // A quality-1 message is the library's from here on, even when the connection is down.
  if (qos > 0 && (rc == MOSQ_ERR_SUCCESS || rc == MOSQ_ERR_NO_CONN)) {
    unacknowledged_.insert(mid);
    return true;
  }
  if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_NO_CONN)
    report("the MQTT library refused a message on " + topic + ": " + mosquitto_strerror(rc));
  return rc == MOSQ_ERR_SUCCESS;
}

void MqttLink::push() {
  const int socket = this->socket();
  if (socket < 0 || !mosquitto_want_write(client_)) return;
  // The library sends each packet on its own: corked, they leave in full segments.
  cork(socket, 1);
  const int rc = mosquitto_loop_write(client_, 1);
  if (mosquitto_socket(client_) == socket) cork(socket, 0);
  if (rc != MOSQ_ERR_SUCCESS) retryLater(std::chrono::steady_clock::now());
}

bool MqttLink::settle(std::chrono::milliseconds wait) {
  push();
  const bool done = !wantWrite() && unacknowledged_.empty();
  const int fd = socket();
  if (done || fd < 0) return done;
  pollfd ready{fd, static_cast<short>(POLLIN | (wantWrite() ? POLLOUT : 0)), 0};
  if (::poll(&ready, 1, static_cast<int>(wait.count())) > 0)
    onSocketEvent((ready.revents & POLLIN) != 0, std::chrono::steady_clock::now());
  push();
  return !wantWrite() && unacknowledged_.empty();
}

std::string MqttLink::where() const {
  return (tls_ ? "mqtts://" : "mqtt://") + host_ + ":" + std::to_string(port_);
}

void MqttLink::report(const std::string& message) {
  if (message == lastReport_) return;
  lastReport_ = message;
  std::fprintf(stderr, "orlo-bms: %s\n", message.c_str());
}

void MqttLink::connectCallback(mosquitto*, void* self, int rc) {
  auto* link = static_cast<MqttLink*>(self);
  if (rc != 0) {
    link->report("the broker at " + link->where() +
                 " refused the connection: " + mosquitto_connack_string(rc) +
                 (rc == 4 || rc == 5 ? " (check the user name and password)" : ""));
    return;
  }
  link->accepted_ = true;
  link->connected_ = true;
  ::setsockopt(mosquitto_socket(link->client_), IPPROTO_TCP, TCP_NOTSENT_LOWAT, &kUnsentBytes,
               sizeof kUnsentBytes);
  link->justConnected_ = true;
  link->pause_ = kFirstPause;  // a connection that worked starts the pauses afresh
  if (!link->lastReport_.empty()) std::fprintf(stderr, "orlo-bms: connected to %s\n", link->where().c_str());
  link->lastReport_.clear();
}

void MqttLink::disconnectCallback(mosquitto*, void* self, int rc) {
  auto* link = static_cast<MqttLink*>(self);
  link->connected_ = false;
  const bool wasAccepted = link->accepted_;
  link->accepted_ = false;
  if (rc == 0) return;  // our own disconnect
  const std::string broker = "the broker at " + link->where();
  if (wasAccepted) {
    link->report("lost the broker at " + link->where() + "; reconnecting");
  } else if (rc == MOSQ_ERR_KEEPALIVE) {
    link->report(broker + " did not answer the connection");
  } else if (!link->tls_ && rc == MOSQ_ERR_CONN_LOST) {
    // A TLS listener closes on the first bytes of a plain connection.
    link->report(broker + " closed the connection before accepting it (if it expects TLS, use mqtts://)");
  } else {
    link->report(broker + " closed the connection before accepting it");
  }
}

void MqttLink::publishCallback(mosquitto*, void* self, int mid) {
  static_cast<MqttLink*>(self)->unacknowledged_.erase(mid);
}

void MqttLink::logCallback(mosquitto*, void* self, int level, const char* text) {
  if (level != MOSQ_LOG_ERR || text == nullptr) return;
  // The library's own words are the only news of a failed TLS handshake (an untrusted
  // certificate, a wrong host name): no disconnect follows a connection that never was.
  auto* link = static_cast<MqttLink*>(self);
  link->report("cannot connect to " + link->where() + ": " + text);
}

}  // namespace orlo::headless
