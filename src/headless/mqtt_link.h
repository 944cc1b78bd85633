#pragma once
// The broker connection, driven from the monitor's own poll loop: no network thread. libmosquitto
// is the only writer on the socket. It runs in its threaded mode, so a publish only queues its
// packet, and what one wake-up queued leaves at push(), in one pass of the library's writer
// under a TCP cork. The loop watches socket() (for writing too while wantWrite()), calls
// onSocketEvent() when it is ready and onTimer() by nextDeadline(). Connecting is asynchronous
// (TCP and TLS handshakes go on in the loop), a lost or refused connection is tried again after
// a growing pause (1 s up to 30 s), and a broker that has sent nothing for one and a half
// keep-alives (it answers the library's ping within one) is declared lost and reconnected.
#include <chrono>
#include <memory>
#include <string>
#include <unordered_set>

#include "headless/monitor_settings.h"
#include "util/result.h"

struct mosquitto;

namespace orlo::headless {

class MqttLink {
 public:
  using Time = std::chrono::steady_clock::time_point;

  // The broker publishes `willTopic` = "offline" (retained) should the program vanish. Fails
  // when the client cannot be set up (unusable TLS files, for instance).
  static Result<std::unique_ptr<MqttLink>> create(const MonitorSettings& settings,
                                                  const std::string& willTopic);
  ~MqttLink();
  MqttLink(const MqttLink&) = delete;
  MqttLink& operator=(const MqttLink&) = delete;

  void start();

  // The socket to watch, -1 while there is none (between attempts).
  int socket() const;
  // Changes with every connection attempt: a new socket may get the number of the old one.
  unsigned socketGeneration() const { return attempts_; }
  // The library holds bytes the socket has not taken yet.
  bool wantWrite() const;
  // The socket is ready (`readable`: the broker sent something): read, write and run callbacks.
  void onSocketEvent(bool readable, Time now);
  // Keep-alive, the broker's answer deadline and reconnection attempts that are due.
  void onTimer(Time now);
  Time nextDeadline() const;

  bool connected() const { return connected_; }
  // Whether a (re)connection was accepted since the last call.
  bool takeConnected();
  // Connected and every byte handed over so far went out: the broker can take more.
  bool canTake() const { return connected_ && !wantWrite(); }

  // Hands the message to the library (quality 1 is kept by it until acknowledged, across
  // reconnections). False when it refused the message.
  bool publish(const std::string& topic, const std::string& payload, int qos, bool retain);
  // Quality-1 messages handed over and not acknowledged yet.
  std::size_t unacknowledged() const { return unacknowledged_.size(); }
  // Writes what this wake-up queued.
  void push();
  // Runs the connection for up to `wait`; true once every message is out and acknowledged.
  bool settle(std::chrono::milliseconds wait);
  // Ends the connection cleanly (no last will) if the socket takes the disconnect now.
  void stop();

  std::string where() const;

 private:
  explicit MqttLink(const MonitorSettings& settings);
  Status setUp(const MonitorSettings& settings, const std::string& willTopic);
  static void connectCallback(mosquitto*, void* self, int rc);
  static void disconnectCallback(mosquitto*, void* self, int rc);
  static void publishCallback(mosquitto*, void* self, int mid);
  static void logCallback(mosquitto*, void* self, int level, const char* text);

  void report(const std::string& message);
  void retryLater(Time now);
  void attempt(Time now, bool first);
  void declareLost(Time now);

  mosquitto* client_ = nullptr;
  std::string host_;
  int port_ = 0;
  bool tls_ = false;
  std::chrono::seconds keepAlive_{30};
  bool started_ = false;
  unsigned attempts_ = 0;
  Time nextTimer_;
  Time lastHeard_;                 // the last time the broker sent anything (or the attempt began)
  std::chrono::seconds pause_{1};  // before the next attempt after a failed one

  bool connected_ = false;
  bool accepted_ = false;  // the current connection got the broker's acceptance
  bool justConnected_ = false;
  std::unordered_set<int> unacknowledged_;  // message ids of quality 1
  std::string lastReport_;
};

}  // namespace orlo::headless
