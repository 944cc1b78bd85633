#include "core/calibration_check.h"

#include <cmath>
#include <cstdlib>
#include <limits>

namespace orlo {

std::int64_t measuredMilliamps(float amperes) {
  const float product = std::fabs(amperes * 1000.0f);
  if (!(product < 2147483648.0f)) return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int64_t>(product);
}

PointCheck checkCalibrationPoint(std::int32_t referenceMa, float liveCurrentA) {
  PointCheck check;
  check.measuredMa = measuredMilliamps(liveCurrentA);
  // In 64 bits: a reference near the 32-bit limits must not wrap into the tolerance.
  check.deviationMa = std::llabs(referenceMa - check.measuredMa);
  check.withinTolerance = check.deviationMa <= kCalibrationToleranceMa;
  if (check.withinTolerance && referenceMa != 0)
    check.errorPerMille =
        static_cast<std::uint32_t>(check.deviationMa * 1000) / static_cast<std::uint32_t>(referenceMa);
  return check;
}

float errorEvaluation(const std::array<float, 4>& pointErrors) {
  const float sum = pointErrors[0] + pointErrors[1] + pointErrors[2] + pointErrors[3];
  return sum * 0.25f / 1000.0f;
}

}  // namespace orlo
