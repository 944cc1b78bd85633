#pragma once
// A wall clock that shows whatever time the test sets, so that texts with a time in them
// (the clock box, log rows) can be compared exactly.

#include <ctime>

#include "util/clock.h"

namespace orlo::test {

class FixedClock : public Clock {
 public:
  std::tm localNow() const override { return now; }
  std::tm now{};
};

}  // namespace orlo::test
