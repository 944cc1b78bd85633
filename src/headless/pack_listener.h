#pragma once
// What a pack's monitor tells a listener besides its output: each live data frame as decoded,
// and each change of its link.

#include <chrono>
#include <cstddef>

#include "link/answers.h"

namespace orlo::headless {

class PackListener {
 public:
  virtual ~PackListener() = default;
  virtual void onFrame(std::size_t pack, const LiveData& live, std::chrono::steady_clock::time_point now) = 0;
  virtual void onLink(std::size_t pack, bool up, std::chrono::steady_clock::time_point now) = 0;
};

}  // namespace orlo::headless
