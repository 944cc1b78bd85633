#pragma once
// Local wall-clock time, injectable so that tests can fix it.

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

}  // namespace orlo
