#pragma once
// Control ids and timer id of the "Current-Calibration" page. Point p (0 ... 3) owns the
// controls kFirstX + p.

namespace orlo::calibration_ids {

constexpr int kDischarge = 1128;
constexpr int kCharge = 1129;

constexpr int kFirstCoefficient = 1120;
constexpr int kFirstCurrentTest = 1124;
constexpr int kFirstRead = 1133;
constexpr int kFirstCalibrationPoint = 1138;
constexpr int kPointCount = 4;

constexpr int kErrorEvaluation = 1068;
constexpr int kStartStop = 1059;
constexpr int kStatus = 1137;

constexpr int kStatusTimer = 7;
constexpr int kStatusTimerPeriodMs = 2000;

}  // namespace orlo::calibration_ids
