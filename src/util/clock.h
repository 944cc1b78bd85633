#pragma once
// Local wall-clock time, injectable so that tests can fix it.

#include <chrono>
#include <cstdint>
#include <ctime>

#include "util/platform.h"

namespace orlo {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::tm localNow() const = 0;
};

class SystemClock : public Clock {
 public:
  std::tm localNow() const override { return localTime(std::time(nullptr)); }
};

// Milliseconds on a clock that only goes forward, for time-outs.
inline std::int64_t monotonicMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace orlo
