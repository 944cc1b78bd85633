#pragma once
// Local wall-clock time, injectable so that tests can fix it.

#include <ctime>

namespace orlo {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::tm localNow() const = 0;
};

class SystemClock : public Clock {
 public:
  std::tm localNow() const override {
    std::time_t now = std::time(nullptr);
    std::tm out{};
    localtime_r(&now, &out);
    return out;
  }
};

}  // namespace orlo
