#pragma once
// Control ids of the "BMS Parameter" tab (resources/layouts/bms_parameter.layout).

#include <array>

namespace orlo::bms_ids {

// "Voltage Information": Cell-V1 ... Cell-V8 are 1060 ... 1067, Cell-V9 ... Cell-V16 1076 ... 1083.
constexpr int kCellV1 = 1060;
constexpr int kCellV2 = 1061;
constexpr int kCellV3 = 1062;
constexpr int kCellV4 = 1063;

// "System Value Information".
constexpr int kSystemMode = 1115;
constexpr int kSoc = 1084;
constexpr int kCurrent = 1085;
constexpr int kVoltageDiff = 1086;
constexpr int kDischargeCapacity = 1087;
constexpr int kChargeCapacity = 1088;
constexpr int kRemainCapacity = 1116;
constexpr int kCycleIndex = 1089;

// "Temperature Information".
constexpr int kTempC1 = 1090;
constexpr int kTempC2 = 1091;
constexpr int kTempC3 = 1092;
constexpr int kTempC4 = 1093;
constexpr int kMeanTemp = 1094;

// The untitled cell statistics group.
constexpr int kMeanCell = 1069;
constexpr int kMaxVolt = 1070;
constexpr int kMinVolt = 1071;
constexpr int kTotalVolt = 1110;
constexpr int kMaxCell = 1111;
constexpr int kMinCell = 1112;

// Every value field, as "clear" resets them.
constexpr std::array<int, 35> kValueFields = {1060, 1061, 1062, 1063, 1064, 1065, 1066, 1067, 1076,
                                              1077, 1078, 1079, 1080, 1081, 1082, 1083, 1084, 1085,
                                              1086, 1087, 1088, 1089, 1090, 1091, 1092, 1093, 1094,
                                              1069, 1070, 1071, 1110, 1111, 1112, 1115, 1116};

// "Alarm Status": lamp n (1 ... 18) shows alarm flag bit n-1.
constexpr std::array<int, 18> kAlarmLamps = {1074, 1095, 1096, 1097, 1098, 1099, 1100, 1101, 1102,
                                             1103, 1104, 1105, 1106, 1107, 1108, 1109, 1113, 1114};

}  // namespace orlo::bms_ids
