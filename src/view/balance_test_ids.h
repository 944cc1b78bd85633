#pragma once
// Control ids and timer id of the "Balance Test" page (resources/layouts/balance_test.layout).
// Balancing lamp n (1 ... 15) is Lamp1 + n - 1; manual cell button k (1 ... 5) is
// CellButton1 + k - 1, and cell 5 has no action.

#include "view/control_ids.h"

#define ORLO_BALANCE_IDS(X)  \
  X(Status, 1078)            \
  X(ThresholdVoltage, 1089)  \
  X(ReleaseVoltage, 1090)    \
  X(VoltageDifference, 1091) \
  X(Read, 1024)              \
  X(Set, 1064)               \
  X(ManualToggle, 1060)      \
  X(CellButton1, 1040)       \
  X(CellButton2, 1041)       \
  X(CellButton3, 1042)       \
  X(CellButton4, 1043)       \
  X(CellButton5, 1044)       \
  X(Lamp1, 1025)             \
  X(Lamp2, 1026)             \
  X(Lamp3, 1027)             \
  X(Lamp4, 1028)             \
  X(Lamp5, 1029)             \
  X(Lamp6, 1030)             \
  X(Lamp7, 1031)             \
  X(Lamp8, 1032)             \
  X(Lamp9, 1033)             \
  X(Lamp10, 1034)            \
  X(Lamp11, 1035)            \
  X(Lamp12, 1036)            \
  X(Lamp13, 1037)            \
  X(Lamp14, 1038)            \
  X(Lamp15, 1039)

namespace orlo {

ORLO_CONTROL_IDS(BalanceId, "balance_test", ORLO_BALANCE_IDS)

namespace balance_ids {

constexpr int kLampCount = 15;
constexpr int kCellButtonCount = 5;
constexpr int kActiveCellButtons = 4;

constexpr int kStatusTimer = 8;
constexpr int kStatusTimerPeriodMs = 2000;

}  // namespace balance_ids
}  // namespace orlo
