#pragma once
// Milliseconds since the simulator started. Tests drive a manual clock; the program runs on
// the steady clock.

#include <chrono>
#include <cstdint>

namespace orlo::sim {

class SimClock {
 public:
  virtual ~SimClock() = default;
  virtual std::int64_t nowMs() const = 0;
};

class SteadyClock : public SimClock {
 public:
  std::int64_t nowMs() const override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_)
        .count();
  }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

class ManualClock : public SimClock {
 public:
  std::int64_t nowMs() const override { return now_; }
  void advance(std::int64_t ms) { now_ += ms; }

 private:
  std::int64_t now_ = 0;
};

}  // namespace orlo::sim
