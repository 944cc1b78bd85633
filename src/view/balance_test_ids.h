#pragma once
// Control ids and timer id of the "Balance Test" page.

namespace orlo::balance_ids {

// Balance condition.
constexpr int kThresholdVoltage = 1089;
constexpr int kReleaseVoltage = 1090;
constexpr int kVoltageDifference = 1091;
constexpr int kRead = 1024;
constexpr int kSet = 1064;
constexpr int kStatus = 1078;

// Balancing lamps: lamp n (1 ... 15) is kFirstLamp + n - 1.
constexpr int kFirstLamp = 1025;
constexpr int kLampCount = 15;

// Manual balance test: cell button k (1 ... 5) is kFirstCellButton + k - 1. Cell 5 has no action.
constexpr int kManualToggle = 1060;
constexpr int kFirstCellButton = 1040;
constexpr int kCellButtonCount = 5;
constexpr int kActiveCellButtons = 4;

constexpr int kStatusTimer = 8;
constexpr int kStatusTimerPeriodMs = 2000;

}  // namespace orlo::balance_ids
