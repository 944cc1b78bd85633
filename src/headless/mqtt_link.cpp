#include "headless/mqtt_link.h"

#include <mosquitto.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace orlo::headless {
namespace {

constexpr int kKeepAliveSeconds = 30;
constexpr std::chrono::seconds kFirstPause{1};
constexpr std::chrono::seconds kLongestPause{30};
constexpr std::chrono::seconds kMiscPeriod{1};
// With the keep-alive at 30 s, its round may run this much early or late: it then rides along
// with a wake-up the loop has anyway (the packs' poll tick) instead of waking the program on its
// own.
constexpr std::chrono::milliseconds kMiscSlack{500};
constexpr char kSystemCertificates[] = "/etc/ssl/certs";
constexpr int kVerifyPeer = 1;                        // OpenSSL's SSL_VERIFY_PEER
constexpr std::size_t kLongestRemaining = 268435455;  // what four length bytes can say

std::string clientId() {
  char host[64] = {};
  ::gethostname(host, sizeof host - 1);
  return "orlo-bms-" + std::string(host) + "-" + std::to_string(::getpid());
}

}  // namespace

MqttLink::MqttLink(const MonitorSettings& settings, const std::string& willTopic)
    : host_(settings.broker->host), port_(settings.broker->port), tls_(settings.broker->tls) {
  notifyFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  client_ = mosquitto_new(clientId().c_str(), true, this);
  if (client_ == nullptr || notifyFd_ < 0) {
    setupError_ = "cannot set up the MQTT client";
    return;
  }
  mosquitto_int_option(client_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
  // The packs' states leave in one burst a second; with Nagle's algorithm all but the first
  // waited for the broker's delayed acknowledgement (40 ms on loopback).
  mosquitto_int_option(client_, MOSQ_OPT_TCP_NODELAY, 1);
  mosquitto_connect_callback_set(client_, connectCallback);
  mosquitto_disconnect_callback_set(client_, disconnectCallback);
  mosquitto_publish_callback_set(client_, publishCallback);
  mosquitto_log_callback_set(client_, logCallback);
  // No window on unacknowledged messages: with one, the retained discovery burst would hold
  // back later availability messages while states overtake them.
  mosquitto_max_inflight_messages_set(client_, 0);
  mosquitto_will_set(client_, willTopic.c_str(), 7, "offline", 1, true);
  if (!settings.username.empty())
    mosquitto_username_pw_set(client_, settings.username.c_str(),
                              settings.password.empty() ? nullptr : settings.password.c_str());
  if (!tls_) return;
  const char* caFile = settings.caFile.empty() ? nullptr : settings.caFile.c_str();
  const char* caPath = caFile ? nullptr : kSystemCertificates;
  const char* cert = settings.certFile.empty() ? nullptr : settings.certFile.c_str();
  const char* key = settings.keyFile.empty() ? nullptr : settings.keyFile.c_str();
  if (mosquitto_tls_set(client_, caFile, caPath, cert, key, nullptr) != MOSQ_ERR_SUCCESS) {
    setupError_ =
        "cannot use the TLS files (CA " + (caFile ? settings.caFile : std::string(caPath)) +
        (cert ? ", certificate " + settings.certFile + ", key " + settings.keyFile : std::string()) + ")";
    return;
  }
  // Peer verification and the host name check stay on; nothing here turns them off.
  mosquitto_tls_opts_set(client_, kVerifyPeer, nullptr, nullptr);
}

MqttLink::~MqttLink() {
  stop();
  if (client_) mosquitto_destroy(client_);
  if (notifyFd_ >= 0) ::close(notifyFd_);
}

void MqttLink::start() {
  if (!setupError_.empty() || started_) return;
  started_ = true;
  const auto now = std::chrono::steady_clock::now();
  nextTimer_ = now + kMiscPeriod;
  ++attempts_;
  libraryIdle_ = false;
  const int rc = mosquitto_connect_async(client_, host_.c_str(), port_, kKeepAliveSeconds);
  if (rc != MOSQ_ERR_SUCCESS) {
    report("cannot reach the broker at " + where() + ": " + mosquitto_strerror(rc));
    retryLater(now);
  }
}

void MqttLink::stop() {
  if (!started_) return;
  started_ = false;
  libraryIdle_ = false;
  mosquitto_disconnect(client_);
  connected_ = false;
}

int MqttLink::socket() const {
  return started_ ? mosquitto_socket(client_) : -1;
}

bool MqttLink::wantWrite() const {
  if (!held_.empty()) return true;
  // The library queues bytes only inside our calls to it (it has no thread of its own): once it
  // has said it has none, it is not asked again (two mutexes) until it has been called.
  if (libraryIdle_) return false;
  const bool want = mosquitto_want_write(client_);
  libraryIdle_ = !want;
  return want;
}

void MqttLink::onSocketEvent(std::chrono::steady_clock::time_point now) {
  libraryIdle_ = false;
  int rc = MOSQ_ERR_SUCCESS;
  if (!held_.empty() && !writeHeld()) {
    // Our own bytes still wait for room: only read (acknowledgements write nothing back), so
    // that no keep-alive ping lands inside the packet half sent.
    rc = mosquitto_loop_read(client_, 1);
  } else {
    // mosquitto_loop with no wait: it carries on a TLS handshake as well as reading and
    // writing, which mosquitto_loop_read and _write alone do not.
    rc = mosquitto_loop(client_, 0, 1);
  }
  if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(client_) < 0) retryLater(now);
}

void MqttLink::onTimer(std::chrono::steady_clock::time_point now) {
  // Most wake-ups are for the packs: those leave without asking the library anything.
  if (!started_ || now < nextTimer_ - kMiscSlack) return;
  const bool open = mosquitto_socket(client_) >= 0;
  if (!open && now < nextTimer_) return;
  nextTimer_ = now + kMiscPeriod;
  if (open && connected_ && held_.empty()) {
    // Keep-alive only: the socket itself is watched, so there is nothing to wait for here.
    libraryIdle_ = false;
    int rc = mosquitto_loop_misc(client_);
    if (rc == MOSQ_ERR_SUCCESS && mosquitto_want_write(client_)) rc = mosquitto_loop_write(client_, 1);
    if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(client_) < 0) retryLater(now);
    return;
  }
  if (open) {
    onSocketEvent(now);  // a connection under way, or our own bytes waiting for room
    return;
  }
  ++attempts_;
  libraryIdle_ = false;
  const int rc = mosquitto_reconnect_async(client_);
  if (rc == MOSQ_ERR_SUCCESS) return;
  report("cannot reach the broker at " + where() + ": " + mosquitto_strerror(rc));
  retryLater(now);
}

std::chrono::steady_clock::time_point MqttLink::nextDeadline() const {
  // Reconnection attempts keep their time; the keep-alive round waits for the next tick.
  return connected_ ? nextTimer_ + kMiscSlack : nextTimer_;
}

void MqttLink::retryLater(std::chrono::steady_clock::time_point now) {
  connected_ = false;
  if (mosquitto_socket(client_) >= 0) return;
  nextTimer_ = now + pause_;
  pause_ = std::min(pause_ * 2, kLongestPause);
}

void MqttLink::flush(std::chrono::steady_clock::time_point deadline) {
  push();
  while ((!held_.empty() || unacknowledged() > 0) && mosquitto_socket(client_) >= 0 &&
         std::chrono::steady_clock::now() < deadline) {
    if (!held_.empty()) {
      pollfd room{mosquitto_socket(client_), POLLOUT, 0};
      ::poll(&room, 1, 10);
      push();
      continue;
    }
    libraryIdle_ = false;
    if (mosquitto_loop(client_, 10, 1) != MOSQ_ERR_SUCCESS) break;
  }
}

bool MqttLink::publish(const std::string& topic, const std::string& payload, int qos, bool retain) {
  if (!connected_) return false;
  // A state (quality 0, not kept) of a plain connection is encoded here and leaves with the
  // others of this wake-up in one write at push(). Through the library each message cost a
  // write to its wake-up pipe, a write to the socket and a cork and uncork: at 16 packs that
  // was most of the program's system calls. Everything else, and all of TLS, goes through the
  // library, which then has the socket to itself whenever none of these bytes are in flight.
  if (qos == 0 && !retain && !tls_ && deferred_.empty() && (!held_.empty() || !wantWrite()) &&
      appendPlain(topic, payload))
    return true;
  if (!held_.empty() && !writeHeld()) {
    // Part of a packet of ours is out: a message of the library's would land inside it.
    deferred_.push_back({topic, payload, qos, retain});
    return true;
  }
  if (!deferred_.empty()) {
    deferred_.push_back({topic, payload, qos, retain});
    return true;
  }
  return publishThroughLibrary(topic, payload, qos, retain);
}

bool MqttLink::publishThroughLibrary(const std::string& topic, const std::string& payload, int qos,
                                     bool retain) {
  const int socket = mosquitto_socket(client_);
  if (socket >= 0 && socket != corked_) {
    const int on = 1;
    if (::setsockopt(socket, IPPROTO_TCP, TCP_CORK, &on, sizeof on) == 0) corked_ = socket;
  }
  int mid = 0;
  libraryIdle_ = false;
  const int rc = mosquitto_publish(client_, &mid, topic.c_str(), static_cast<int>(payload.size()),
                                   payload.data(), qos, retain);
  if (rc != MOSQ_ERR_SUCCESS) return false;
  ++sent_;
  return true;
}

bool MqttLink::appendPlain(const std::string& topic, const std::string& payload) {
  // MQTT 3.1.1 PUBLISH at quality 0: type byte, remaining length (7 bits a byte, low first),
  // topic with its 16-bit length, payload; no packet identifier. The topics are checked once,
  // by the settings (no wildcards) and by the library for the messages it sends.
  const std::size_t remaining = 2 + topic.size() + payload.size();
  if (topic.empty() || topic.size() > 0xFFFF || remaining > kLongestRemaining) return false;
  char header[7] = {'\x30'};
  std::size_t length = 1;
  std::size_t left = remaining;
  do {
    const auto digit = static_cast<unsigned char>(left % 128);
    left /= 128;
    header[length++] = static_cast<char>(left > 0 ? digit | 0x80 : digit);
  } while (left > 0);
  header[length++] = static_cast<char>(topic.size() >> 8);
  header[length++] = static_cast<char>(topic.size() & 0xFF);
  // One resize, then the parts in place: the buffer keeps its room from one wake-up to the next.
  const std::size_t at = held_.size();
  held_.resize(at + length + topic.size() + payload.size());
  char* out = held_.data() + at;
  std::memcpy(out, header, length);
  std::memcpy(out + length, topic.data(), topic.size());
  std::memcpy(out + length + topic.size(), payload.data(), payload.size());
  return true;
}

bool MqttLink::writeHeld() {
  while (!held_.empty()) {
    const int socket = mosquitto_socket(client_);
    if (socket < 0) {
      dropHeld();
      return true;
    }
    const ssize_t n = ::send(socket, held_.data(), held_.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n > 0) {
      held_.erase(0, static_cast<std::size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      return false;  // the rest when the socket has room (wantWrite)
    } else {
      dropHeld();  // the connection broke; the library sees it at its next read
      return true;
    }
  }
  // All out: what waited goes to the library now, in the order it came.
  std::vector<Deferred> waiting;
  waiting.swap(deferred_);
  for (const Deferred& d : waiting) publishThroughLibrary(d.topic, d.payload, d.qos, d.retain);
  return true;
}

void MqttLink::dropHeld() {
  held_.clear();
  deferred_.clear();
}

void MqttLink::push() {
  if (!held_.empty()) writeHeld();
  if (corked_ < 0) return;
  // A socket replaced since starts uncorked; uncorking it does no harm either.
  const int socket = mosquitto_socket(client_);
  if (socket >= 0) {
    const int off = 0;
    ::setsockopt(socket, IPPROTO_TCP, TCP_CORK, &off, sizeof off);
  }
  corked_ = -1;
}

bool MqttLink::takeConnected() {
  std::uint64_t count = 0;
  return ::read(notifyFd_, &count, sizeof count) == sizeof count && count > 0;
}

std::string MqttLink::where() const {
  return (tls_ ? "mqtts://" : "mqtt://") + host_ + ":" + std::to_string(port_);
}

void MqttLink::report(const std::string& message) {
  std::lock_guard<std::mutex> lock(reportMutex_);
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
  link->pause_ = kFirstPause;  // a connection that worked starts the pauses afresh
  {
    std::lock_guard<std::mutex> lock(link->reportMutex_);
    if (!link->lastReport_.empty())
      std::fprintf(stderr, "orlo-bms: connected to %s\n", link->where().c_str());
    link->lastReport_.clear();
  }
  const std::uint64_t one = 1;
  if (::write(link->notifyFd_, &one, sizeof one) < 0) {
    // The counter cannot overflow at one write per connection; nothing to do.
  }
}

void MqttLink::disconnectCallback(mosquitto*, void* self, int rc) {
  auto* link = static_cast<MqttLink*>(self);
  link->connected_ = false;
  link->dropHeld();  // bytes for a connection that is gone
  const bool wasAccepted = link->accepted_.exchange(false);
  if (rc == 0) return;  // our own disconnect
  if (wasAccepted) {
    link->report("lost the broker at " + link->where() + "; reconnecting");
  } else if (!link->tls_) {
    link->report("the broker at " + link->where() +
                 " closed the connection before accepting it (if it expects TLS, use mqtts://)");
  } else {
    link->report("the broker at " + link->where() + " closed the connection before accepting it");
  }
}

void MqttLink::publishCallback(mosquitto*, void* self, int) {
  ++static_cast<MqttLink*>(self)->acknowledged_;
}

void MqttLink::logCallback(mosquitto*, void* self, int level, const char* text) {
  if (level != MOSQ_LOG_ERR || text == nullptr) return;
  // The library's own words are the only news of a failed TLS handshake (an untrusted
  // certificate, a wrong host name): no disconnect follows a connection that never was.
  auto* link = static_cast<MqttLink*>(self);
  link->report("cannot connect to " + link->where() + ": " + text);
}

}  // namespace orlo::headless
