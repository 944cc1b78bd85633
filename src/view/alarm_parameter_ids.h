#pragma once
// Control ids and timer id of the "Alarm Parameter" tab (resources/layouts/alarm_parameter.layout).

namespace orlo::alarm_ids {

// Parameter boxes, group by group: value, delay, release.
constexpr int kChgOcValue = 1026;
constexpr int kChgOcDelay = 1027;
constexpr int kChgOcRelease = 1028;
constexpr int kDsgOcValue = 1041;
constexpr int kDsgOcDelay = 1042;
constexpr int kDsgOcRelease = 1043;
constexpr int kCellOvValue = 1053;
constexpr int kCellOvDelay = 1054;
constexpr int kCellOvRelease = 1055;
constexpr int kCellUvValue = 1031;
constexpr int kCellUvDelay = 1032;
constexpr int kCellUvRelease = 1033;
constexpr int kOvDifferValue = 1044;
constexpr int kOvDifferDelay = 1045;
constexpr int kOvDifferRelease = 1046;
constexpr int kOtDifferValue = 1056;
constexpr int kOtDifferDelay = 1057;
constexpr int kOtDifferRelease = 1058;
constexpr int kDsgOtValue = 1034;
constexpr int kDsgOtDelay = 1035;
constexpr int kDsgOtRelease = 1036;
constexpr int kDsgUtValue = 1047;
constexpr int kDsgUtDelay = 1048;
constexpr int kDsgUtRelease = 1049;
constexpr int kChgOtValue = 1059;
constexpr int kChgOtDelay = 1060;
constexpr int kChgOtRelease = 1061;
constexpr int kChgUtValue = 1037;
constexpr int kChgUtDelay = 1039;
constexpr int kChgUtRelease = 1040;
constexpr int kBusOvValue = 1050;
constexpr int kBusOvDelay = 1051;
constexpr int kBusOvRelease = 1052;
constexpr int kBusUvValue = 1062;
constexpr int kBusUvDelay = 1063;
constexpr int kBusUvRelease = 1064;
constexpr int kNominalCapacity = 1065;
constexpr int kBmsId = 1066;
constexpr int kCycles = 1069;
constexpr int kSoc = 1067;
constexpr int kSocWarning = 1068;
constexpr int kMosfetOtValue = 1070;
constexpr int kMosfetOtDelay = 1071;
constexpr int kMosfetOtRelease = 1072;

// The captionless group: file path, buttons and status line.
constexpr int kPath = 1038;
constexpr int kRead = 1029;
constexpr int kSet = 1024;
constexpr int kLoadParameter = 1025;
constexpr int kSaveParameter = 1030;
constexpr int kStatus = 1078;

constexpr int kStatusClearTimer = 6;
constexpr int kStatusClearPeriodMs = 2000;

}  // namespace orlo::alarm_ids
