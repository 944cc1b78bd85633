#pragma once
// Control ids of the "BMS Parameter" tab (resources/layouts/bms_parameter.layout). Cell-V1 ...
// Cell-V8 are 1060 ... 1067, Cell-V9 ... Cell-V16 1076 ... 1083.

#include <array>

#include "view/control_ids.h"

#define ORLO_BMS_IDS(X)      \
  X(CellV1, 1060)            \
  X(CellV2, 1061)            \
  X(CellV3, 1062)            \
  X(CellV4, 1063)            \
  X(CellV5, 1064)            \
  X(CellV6, 1065)            \
  X(CellV7, 1066)            \
  X(CellV8, 1067)            \
  X(CellV9, 1076)            \
  X(CellV10, 1077)           \
  X(CellV11, 1078)           \
  X(CellV12, 1079)           \
  X(CellV13, 1080)           \
  X(CellV14, 1081)           \
  X(CellV15, 1082)           \
  X(CellV16, 1083)           \
  X(SystemMode, 1115)        \
  X(Soc, 1084)               \
  X(Current, 1085)           \
  X(VoltageDiff, 1086)       \
  X(DischargeCapacity, 1087) \
  X(ChargeCapacity, 1088)    \
  X(RemainCapacity, 1116)    \
  X(CycleIndex, 1089)        \
  X(TempC1, 1090)            \
  X(TempC2, 1091)            \
  X(TempC3, 1092)            \
  X(TempC4, 1093)            \
  X(MeanTemp, 1094)          \
  X(MeanCell, 1069)          \
  X(MaxVolt, 1070)           \
  X(MinVolt, 1071)           \
  X(TotalVolt, 1110)         \
  X(MaxCell, 1111)           \
  X(MinCell, 1112)           \
  X(CellOvLamp, 1074)        \
  X(CellUvLamp, 1095)        \
  X(OvDifferLamp, 1096)      \
  X(OtDifferLamp, 1097)      \
  X(DsgOtLamp, 1098)         \
  X(DsgUtLamp, 1099)         \
  X(ChgOtLamp, 1100)         \
  X(ChgUtLamp, 1101)         \
  X(BusOvLamp, 1102)         \
  X(ChgOcLamp, 1103)         \
  X(DsgOcLamp, 1104)         \
  X(SocLowLamp, 1105)        \
  X(BusUvLamp, 1106)         \
  X(ShortCircuitLamp, 1107)  \
  X(LecuLineBreakLamp, 1108) \
  X(FetOtLamp, 1109)         \
  X(AfeConfigFailLamp, 1113) \
  X(AfeReadWriteErrorLamp, 1114)

namespace orlo {

ORLO_CONTROL_IDS(BmsId, "bms_parameter", ORLO_BMS_IDS)

namespace bms_ids {

// Every value field, as "clear" resets them.
constexpr std::array<BmsId, 35> kValueFields = {
    BmsId::CellV1,         BmsId::CellV2,     BmsId::CellV3,   BmsId::CellV4,      BmsId::CellV5,
    BmsId::CellV6,         BmsId::CellV7,     BmsId::CellV8,   BmsId::CellV9,      BmsId::CellV10,
    BmsId::CellV11,        BmsId::CellV12,    BmsId::CellV13,  BmsId::CellV14,     BmsId::CellV15,
    BmsId::CellV16,        BmsId::Soc,        BmsId::Current,  BmsId::VoltageDiff, BmsId::DischargeCapacity,
    BmsId::ChargeCapacity, BmsId::CycleIndex, BmsId::TempC1,   BmsId::TempC2,      BmsId::TempC3,
    BmsId::TempC4,         BmsId::MeanTemp,   BmsId::MeanCell, BmsId::MaxVolt,     BmsId::MinVolt,
    BmsId::TotalVolt,      BmsId::MaxCell,    BmsId::MinCell,  BmsId::SystemMode,  BmsId::RemainCapacity};

// "Alarm Status": lamp n (1 ... 18) shows alarm flag bit n-1.
constexpr std::array<BmsId, 18> kAlarmLamps = {
    BmsId::CellOvLamp,   BmsId::CellUvLamp,        BmsId::OvDifferLamp,
    BmsId::OtDifferLamp, BmsId::DsgOtLamp,         BmsId::DsgUtLamp,
    BmsId::ChgOtLamp,    BmsId::ChgUtLamp,         BmsId::BusOvLamp,
    BmsId::ChgOcLamp,    BmsId::DsgOcLamp,         BmsId::SocLowLamp,
    BmsId::BusUvLamp,    BmsId::ShortCircuitLamp,  BmsId::LecuLineBreakLamp,
    BmsId::FetOtLamp,    BmsId::AfeConfigFailLamp, BmsId::AfeReadWriteErrorLamp};

}  // namespace bms_ids
}  // namespace orlo
