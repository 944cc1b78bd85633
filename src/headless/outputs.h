#pragma once
// The two places a pack's messages go.

#include <cstdio>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "headless/mqtt_link.h"
#include "headless/pack_output.h"

namespace orlo::headless {

// One JSON object per line on a stream, flushed at once so that a pipe sees every line.
class JsonLinesOutput : public PackOutput {
 public:
  JsonLinesOutput(std::FILE* out, std::vector<std::string> packs) : out_(out), packs_(std::move(packs)) {}
  void state(std::size_t pack, const std::string& text) override;
  void event(std::size_t pack, const nlohmann::json& object) override;
  void availability(std::size_t, bool) override {}
  void alerts(std::size_t pack, const std::string& text) override;

 private:
  std::FILE* out_;
  std::vector<std::string> packs_;
};

// Topics under the prefix P: P/availability (the program), P/NAME/state, P/NAME/event and
// P/NAME/availability, and the discovery configs. Nothing waits inside the library: send() hands
// it each pack's latest state only while the broker takes everything (the states of a stall
// overwrite each other, one per pack), and the quality-1 messages (events, availability,
// discovery) from a bounded queue while fewer than kWindow of them wait for their
// acknowledgement. A full queue drops its oldest message; the count goes to the log.
class MqttOutput : public PackOutput {
 public:
  static constexpr std::size_t kWindow = 256;
  // The queue holds this many messages beyond one discovery round of the packs.
  static constexpr std::size_t kQueueSpare = 1024;

  MqttOutput(MqttLink& link, std::string prefix, const std::vector<std::string>& packs);

  void state(std::size_t pack, const std::string& text) override;
  void event(std::size_t pack, const nlohmann::json& object) override;
  void availability(std::size_t pack, bool online) override;
  // Retained on P/NAME/alerts, and again after each reconnection.
  void alerts(std::size_t pack, const std::string& text) override;

  // After every (re)connection: the program online, discovery, each pack's availability.
  void onConnected();
  // Hands the link what the broker can take now; once per wake-up, before the link's push().
  void send();
  // Before a clean exit: every pack and the program offline, ahead of anything still queued.
  void goOffline();
  // Nothing waits here (the link may still hold messages).
  bool idle() const;
  std::size_t queued() const { return queue_.size(); }

  static std::string programAvailabilityTopic(const std::string& prefix) { return prefix + "/availability"; }

 private:
  // Renewed: sent again after every reconnection anyway.
  enum class Kind { Event, Availability, Renewed };
  struct Queued {
    std::string topic, payload;
    bool retain = false;
    Kind kind = Kind::Event;
  };
  struct Kept {
    std::string name;
    std::string stateTopic;
    bool online = false;
    bool stateWaiting = false;
    std::string state;   // the latest, kept so its buffer is reused
    std::string alerts;  // empty: no rule has fired yet
  };
  std::string topic(const std::string& pack, const char* leaf) const {
    return prefix_ + "/" + pack + "/" + leaf;
  }
  void enqueue(std::string topic, std::string payload, bool retain, Kind kind);
  void dropKind(Kind kind);

  MqttLink& link_;
  std::string prefix_;
  std::vector<Kept> packs_;  // in the order of the packs given
  std::size_t queueLimit_;
  std::deque<Queued> queue_;
  std::size_t dropped_ = 0;
};

}  // namespace orlo::headless
