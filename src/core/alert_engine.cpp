#include "core/alert_engine.h"

#include <algorithm>
#include <cmath>

namespace orlo {
namespace {

using std::chrono::seconds;

bool applies(const AlertRule& rule, const std::string& pack) {
  return rule.packs.empty() || std::find(rule.packs.begin(), rule.packs.end(), pack) != rule.packs.end();
}

double secondsSince(AlertEngine::Time since, AlertEngine::Time now) {
  return std::chrono::duration<double>(now - since).count();
}

void markChanged(AlertUpdate& out, std::size_t pack) {
  if (std::find(out.changedPacks.begin(), out.changedPacks.end(), pack) == out.changedPacks.end())
    out.changedPacks.push_back(pack);
}

}  // namespace

AlertEngine::AlertEngine(std::vector<AlertRule> rules, std::vector<std::string> packs, Time start)
    : rules_(std::move(rules)), packs_(std::move(packs)), lastFrame_(packs_.size(), start) {
  for (std::size_t p = 0; p < packs_.size(); ++p) {
    packStart_.push_back(states_.size());
    for (std::size_t r = 0; r < rules_.size(); ++r)
      if (applies(rules_[r], packs_[p])) {
        if (rules_[r].watch == AlertWatch::LinkLostS) linkLost_.push_back(states_.size());
        State state;
        state.pack = p;
        state.rule = r;
        states_.push_back(state);
      }
  }
  packStart_.push_back(states_.size());
}

AlertUpdate AlertEngine::onFrame(std::size_t pack, const LiveData& live, Time now) {
  AlertUpdate out;
  if (pack >= packs_.size()) return out;
  lastFrame_[pack] = now;
  nextKnown_ = false;
  const auto first = states_.begin() + static_cast<std::ptrdiff_t>(packStart_[pack]);
  const auto last = states_.begin() + static_cast<std::ptrdiff_t>(packStart_[pack + 1]);
  // A valid frame ends a lost link at once, and the link comes back before the frame's news.
  for (auto state = first; state != last; ++state)
    if (rules_[state->rule].watch == AlertWatch::LinkLostS)
      step(*state, false, true, AlertReading{0, 0, {}}, now, out);
  for (auto it = first; it != last; ++it) {
    State& state = *it;
    const AlertRule& rule = rules_[state.rule];
    if (rule.watch == AlertWatch::LinkLostS) continue;
    const AlertReading reading = readAlert(rule, live);
    // While firing, the clearing is judged on the cell that fired, and named after it.
    const AlertReading held = state.firing && state.index != 0 ? readAlert(rule, live, state.index) : reading;
    step(state, pastLimit(rule, reading.value), backFromLimit(rule, held.value),
         state.firing ? held : reading, now, out);
  }
  return out;
}

AlertUpdate AlertEngine::onTimer(Time now) {
  AlertUpdate out;
  nextKnown_ = false;
  for (const std::size_t i : linkLost_) {
    State& state = states_[i];
    const AlertRule& rule = rules_[state.rule];
    if (state.firing) continue;
    const double lost = secondsSince(lastFrame_[state.pack], now);
    // Judged on the exact time, told in whole seconds.
    step(state, pastLimit(rule, lost), false, AlertReading{std::floor(lost), 0, {}}, now, out);
  }
  return out;
}

AlertEngine::Time AlertEngine::nextDeadline() const {
  if (nextKnown_) return next_;
  Time next = Time::max();
  for (const std::size_t i : linkLost_) {
    const State& state = states_[i];
    const AlertRule& rule = rules_[state.rule];
    if (state.firing) continue;
    const auto limit = std::chrono::duration_cast<Time::duration>(std::chrono::duration<double>(rule.limit));
    Time due = lastFrame_[state.pack] + limit;
    if (state.pending) due = std::max(due, state.pendingSince + seconds(rule.forSeconds));
    next = std::min(next, due);
  }
  next_ = next;
  nextKnown_ = true;
  return next;
}

void AlertEngine::step(State& state, bool past, bool back, const AlertReading& reading, Time now,
                       AlertUpdate& out) {
  const AlertRule& rule = rules_[state.rule];
  if (state.firing) {
    if (back) notify(state, false, reading, now, out);
    return;
  }
  if (!past) {
    state.pending = false;
    return;
  }
  if (!state.pending) {
    state.pending = true;
    state.pendingSince = now;
  }
  if (now - state.pendingSince >= seconds(rule.forSeconds)) notify(state, true, reading, now, out);
}

void AlertEngine::notify(State& state, bool firing, const AlertReading& reading, Time now, AlertUpdate& out) {
  const AlertRule& rule = rules_[state.rule];
  state.firing = firing;
  state.pending = false;
  markChanged(out, state.pack);
  const std::string message = alertMessage(rule, packs_[state.pack], reading, firing);
  if (firing) {
    state.index = reading.index;
    state.message = message;
    const auto repeat = std::chrono::minutes(rule.repeatMinutes);
    state.notified = !state.everNotified || now - state.lastNotice >= repeat;
    if (!state.notified) return;
    state.everNotified = true;
    state.lastNotice = now;
  } else {
    state.index = 0;
    if (!state.notified) return;
    state.notified = false;
  }
  out.notices.push_back(AlertNotice{state.pack, &packs_[state.pack], &rule, firing, message, reading.value});
}

std::vector<AlertEngine::Firing> AlertEngine::firing(std::size_t pack) const {
  std::vector<Firing> out;
  for (const State& state : states_)
    if (state.pack == pack && state.firing) out.push_back({&rules_[state.rule], state.message});
  return out;
}

}  // namespace orlo
