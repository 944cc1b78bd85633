#pragma once
// Evaluates the alert rules against every pack's live data frames and link, in the caller's
// time: a condition must hold for the rule's hold-off before it fires, it clears only once the
// value is back at the clear level, and while it flaps at most one firing notice goes out per
// repeat period (a silenced firing also clears silently). No I/O: the caller sends the notices.

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "core/alert_reading.h"
#include "core/alert_rule.h"
#include "link/answers.h"

namespace orlo {

struct AlertNotice {
  std::size_t pack = 0;
  const std::string* packName = nullptr;
  const AlertRule* rule = nullptr;
  bool firing = false;  // false: cleared
  std::string message;
  double value = 0;
};

struct AlertUpdate {
  std::vector<AlertNotice> notices;
  std::vector<std::size_t> changedPacks;  // packs whose set of firing rules changed
};

class AlertEngine {
 public:
  using Time = std::chrono::steady_clock::time_point;

  // Rules naming packs not in `packs` apply to none (the config check refuses them first).
  AlertEngine(std::vector<AlertRule> rules, std::vector<std::string> packs, Time start);

  const std::vector<AlertRule>& rules() const { return rules_; }
  const std::string& packName(std::size_t pack) const { return packs_[pack]; }

  AlertUpdate onFrame(std::size_t pack, const LiveData& live, Time now);
  // Link-lost rules; due at nextDeadline().
  AlertUpdate onTimer(Time now);
  Time nextDeadline() const;

  // The rules now firing for `pack`, with the message each fired with.
  struct Firing {
    const AlertRule* rule;
    std::string message;
  };
  std::vector<Firing> firing(std::size_t pack) const;

 private:
  struct State {
    std::size_t pack = 0;
    std::size_t rule = 0;
    bool pending = false;  // past the limit, hold-off running
    Time pendingSince{};
    bool firing = false;
    bool notified = false;  // the firing was announced, so its clearing is too
    bool everNotified = false;
    Time lastNotice{};
    std::size_t index = 0;  // the cell or sensor that fired
    std::string message;
  };

  void step(State& state, bool past, bool back, const AlertReading& reading, Time now, AlertUpdate& out);
  void notify(State& state, bool firing, const AlertReading& reading, Time now, AlertUpdate& out);

  std::vector<AlertRule> rules_;
  std::vector<std::string> packs_;
  std::vector<State> states_;           // one per pack and rule that applies to it, by pack
  std::vector<std::size_t> packStart_;  // a pack's states are [packStart_[p], packStart_[p + 1])
  std::vector<std::size_t> linkLost_;   // the states of link-lost rules
  std::vector<Time> lastFrame_;
  // The loop asks for the deadline on every wake-up; it changes only with a frame or a timer.
  mutable Time next_ = Time::max();
  mutable bool nextKnown_ = false;
};

}  // namespace orlo
