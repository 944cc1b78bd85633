#pragma once
// Control ids and timer id of the "Current-Calibration" page
// (resources/layouts/current_calibration.layout). Point p (0 ... 3) owns the controls
// Coefficient1 + p, CurrentTest1 + p, Read1 + p and
// CalibrationPoint1 + p.

#include "view/control_ids.h"

#define ORLO_CALIBRATION_IDS(X) \
  X(Discharge, 1128)            \
  X(Charge, 1129)               \
  X(Coefficient1, 1120)         \
  X(CurrentTest1, 1124)         \
  X(Read1, 1133)                \
  X(CalibrationPoint1, 1138)    \
  X(Coefficient2, 1121)         \
  X(CurrentTest2, 1125)         \
  X(Read2, 1134)                \
  X(CalibrationPoint2, 1139)    \
  X(Coefficient3, 1122)         \
  X(CurrentTest3, 1126)         \
  X(Read3, 1135)                \
  X(CalibrationPoint3, 1140)    \
  X(Coefficient4, 1123)         \
  X(CurrentTest4, 1127)         \
  X(Read4, 1136)                \
  X(CalibrationPoint4, 1141)    \
  X(ErrorEvaluation, 1068)      \
  X(StartStop, 1059)            \
  X(Status, 1137)

namespace orlo {

ORLO_CONTROL_IDS(CalibrationId, "current_calibration", ORLO_CALIBRATION_IDS)

namespace calibration_ids {

constexpr int kPointCount = 4;

constexpr int kStatusTimer = 7;
constexpr int kStatusTimerPeriodMs = 2000;

}  // namespace calibration_ids
}  // namespace orlo
