#include "core/time_ticks.h"

#include <algorithm>
#include <iterator>

namespace orlo {

namespace {

constexpr std::int64_t kS = 1000, kM = 60 * kS, kH = 60 * kM, kD = 24 * kH;
constexpr std::int64_t kSteps[] = {kS,     2 * kS, 5 * kS,  10 * kS, 15 * kS, 30 * kS, kM,
                                   2 * kM, 5 * kM, 10 * kM, 15 * kM, 30 * kM, kH,      2 * kH,
                                   3 * kH, 4 * kH, 6 * kH,  12 * kH, kD,      7 * kD,  30 * kD};

}  // namespace

std::int64_t timeTickStepMs(std::int64_t spanMs, int maxTicks) {
  const std::int64_t wanted = std::max(1, maxTicks);
  for (const std::int64_t step : kSteps)
    if (spanMs / step <= wanted) return step;
  return kSteps[std::size(kSteps) - 1];
}

}  // namespace orlo
