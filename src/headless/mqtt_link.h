#pragma once
// The broker connection, on libmosquitto's own network thread: that thread connects (TCP and
// TLS without blocking the serial poll loop), reconnects with a growing pause (1 s up to 30 s)
// and writes what the poll loop publishes. The poll loop learns about a (re)connection through
// a descriptor it watches, so everything the monitor keeps is touched by one thread only.

#include <atomic>
#include <mutex>
#include <string>

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

  bool connected() const { return connected_; }
  // False when the connection is down and the message was not taken.
  bool publish(const std::string& topic, const std::string& payload, int qos, bool retain);

  // Readable when the broker has accepted a (re)connection; takeConnected() then clears it and
  // says whether one happened.
  int notifyFd() const { return notifyFd_; }
  bool takeConnected();

  // Messages handed over and not yet sent (quality 0) or acknowledged (quality 1).
  int unacknowledged() const { return sent_ - acknowledged_; }
  // Ends the connection cleanly (no last will) and stops the network thread.
  void stop();

 private:
  static void connectCallback(mosquitto*, void* self, int rc);
  static void disconnectCallback(mosquitto*, void* self, int rc);
  static void publishCallback(mosquitto*, void* self, int mid);
  static void logCallback(mosquitto*, void* self, int level, const char* text);

  void report(const std::string& message);
  std::string where() const;

  mosquitto* client_ = nullptr;
  std::string host_;
  int port_ = 0;
  bool tls_ = false;
  std::string setupError_;
  int notifyFd_ = -1;
  bool started_ = false;

  std::atomic<bool> connected_{false};
  std::atomic<bool> accepted_{false};  // the current connection got the broker's acceptance
  std::atomic<int> sent_{0};
  std::atomic<int> acknowledged_{0};
  std::mutex reportMutex_;
  std::string lastReport_;
};

}  // namespace orlo::headless
