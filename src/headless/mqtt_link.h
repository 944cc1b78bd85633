#pragma once
// The broker connection, driven from the monitor's own poll loop: no network thread. The loop
// watches socket() (for writing too while wantWrite()), calls onSocketEvent() when it is ready
// and onTimer() by nextDeadline(); what one wake-up publishes leaves at push(). Connecting is
// asynchronous (TCP and TLS handshakes go on in the loop), a lost or refused connection is tried
// again after a growing pause (1 s up to 30 s). The loop learns about a (re)connection through
// notifyFd(), readable once the broker has accepted it.
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "headless/monitor_settings.h"

struct mosquitto;

namespace orlo::headless {

class MqttLink {
 public:
  // The broker publishes `willTopic` = "offline" (retained) should the program vanish.
  MqttLink(const MonitorSettings& settings, const std::string& willTopic);
  ~MqttLink();
  MqttLink(const MqttLink&) = delete;
  MqttLink& operator=(const MqttLink&) = delete;

  // Empty, or why the client could not even be set up (unreadable TLS files, for instance).
  const std::string& setupError() const { return setupError_; }
  void start();

  // The socket to watch, -1 while there is none (between attempts).
  int socket() const;
  // Changes with every connection attempt: a new socket may get the number of the old one.
  unsigned socketGeneration() const { return attempts_; }
  bool wantWrite() const;
  // The socket is ready: read, write and run callbacks; a lost connection is tried again later.
  void onSocketEvent(std::chrono::steady_clock::time_point now);
  // Keep-alive and reconnection attempts that are due.
  void onTimer(std::chrono::steady_clock::time_point now);
  std::chrono::steady_clock::time_point nextDeadline() const;
  // Runs the connection until every message is acknowledged or `deadline` passes.
  void flush(std::chrono::steady_clock::time_point deadline);

  bool connected() const { return connected_; }
  // False when the connection is down and the message was not taken.
  bool publish(const std::string& topic, const std::string& payload, int qos, bool retain);

  // Readable when the broker has accepted a (re)connection; takeConnected() then clears it and
  // says whether one happened.
  int notifyFd() const { return notifyFd_; }
  bool takeConnected();

  // Sends what publish() held back since the last call: the messages of one wake-up leave in
  // one write instead of one pass through the network stack each.
  void push();

  // Messages handed over and not yet sent (quality 0) or acknowledged (quality 1).
  int unacknowledged() const { return sent_ - acknowledged_; }
  // Ends the connection cleanly (no last will).
  void stop();

 private:
  static void connectCallback(mosquitto*, void* self, int rc);
  static void disconnectCallback(mosquitto*, void* self, int rc);
  static void publishCallback(mosquitto*, void* self, int mid);
  static void logCallback(mosquitto*, void* self, int level, const char* text);

  struct Deferred {
    std::string topic, payload;
    int qos = 0;
    bool retain = false;
  };
  bool publishThroughLibrary(const std::string& topic, const std::string& payload, int qos, bool retain);
  bool appendPlain(const std::string& topic, const std::string& payload);
  bool writeHeld();
  void dropHeld();
  void report(const std::string& message);
  std::string where() const;
  void retryLater(std::chrono::steady_clock::time_point now);

  mosquitto* client_ = nullptr;
  std::string host_;
  int port_ = 0;
  bool tls_ = false;
  std::string setupError_;
  int notifyFd_ = -1;
  bool started_ = false;
  unsigned attempts_ = 0;
  int corked_ = -1;  // the socket held back, -1: none
  // Quality-0 packets of this wake-up, encoded here (see appendPlain), and what a full socket
  // left of them; while any is left, the library's own messages wait in deferred_.
  std::string held_;
  mutable bool libraryIdle_ = false;  // the library said it has nothing to write, and was not called since
  std::vector<Deferred> deferred_;
  std::chrono::steady_clock::time_point nextTimer_;
  std::chrono::seconds pause_{1};  // before the next attempt after a failed one

  std::atomic<bool> connected_{false};
  std::atomic<bool> accepted_{false};  // the current connection got the broker's acceptance
  std::atomic<int> sent_{0};
  std::atomic<int> acknowledged_{0};
  std::mutex reportMutex_;
  std::string lastReport_;
};

}  // namespace orlo::headless
