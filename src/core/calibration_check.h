#pragma once
// The board's rule for a calibration point, shared by the calibration page and the end-of-line
// station: the reference against the live current within 500 mA, the point error in per mille of
// the reference, and the Error Evaluation as the mean of four point errors.

#include <array>
#include <cstdint>
#include <optional>

namespace orlo {

constexpr std::int64_t kCalibrationToleranceMa = 500;

// |amperes x 1000| in mA, product in single precision, truncated toward zero. A value beyond
// the 32-bit range (or not a number) counts as the largest, so it can never pass the tolerance.
std::int64_t measuredMilliamps(float amperes);

struct PointCheck {
  std::int64_t measuredMa = 0;
  std::int64_t deviationMa = 0;
  bool withinTolerance = false;
  // Deviation x 1000 / reference, unsigned and truncated; none outside the tolerance or for a
  // zero reference (no divisor).
  std::optional<std::uint32_t> errorPerMille;
};

// `liveCurrentA` is the current as the window's header shows it.
PointCheck checkCalibrationPoint(std::int32_t referenceMa, float liveCurrentA);

// (e1 + e2 + e3 + e4) x 0.25 / 1000 in single precision: points not calibrated count as 0.
float errorEvaluation(const std::array<float, 4>& pointErrors);

}  // namespace orlo
