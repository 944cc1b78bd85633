#pragma once
// Control ids and timer id of the "Alarm Parameter" tab (resources/layouts/alarm_parameter.layout):
// the parameter boxes group by group (value, delay, release), then the captionless group with
// the file path, buttons and status line.

#include "view/control_ids.h"

#define ORLO_ALARM_IDS(X)  \
  X(ChgOcValue, 1026)      \
  X(ChgOcDelay, 1027)      \
  X(ChgOcRelease, 1028)    \
  X(CellUvValue, 1031)     \
  X(CellUvDelay, 1032)     \
  X(CellUvRelease, 1033)   \
  X(DsgOtValue, 1034)      \
  X(DsgOtDelay, 1035)      \
  X(DsgOtRelease, 1036)    \
  X(ChgUtValue, 1037)      \
  X(ChgUtDelay, 1039)      \
  X(ChgUtRelease, 1040)    \
  X(DsgOcValue, 1041)      \
  X(DsgOcDelay, 1042)      \
  X(DsgOcRelease, 1043)    \
  X(OvDifferValue, 1044)   \
  X(OvDifferDelay, 1045)   \
  X(OvDifferRelease, 1046) \
  X(DsgUtValue, 1047)      \
  X(DsgUtDelay, 1048)      \
  X(DsgUtRelease, 1049)    \
  X(BusOvValue, 1050)      \
  X(BusOvDelay, 1051)      \
  X(BusOvRelease, 1052)    \
  X(CellOvValue, 1053)     \
  X(CellOvDelay, 1054)     \
  X(CellOvRelease, 1055)   \
  X(OtDifferValue, 1056)   \
  X(OtDifferDelay, 1057)   \
  X(OtDifferRelease, 1058) \
  X(ChgOtValue, 1059)      \
  X(ChgOtDelay, 1060)      \
  X(ChgOtRelease, 1061)    \
  X(BusUvValue, 1062)      \
  X(BusUvDelay, 1063)      \
  X(BusUvRelease, 1064)    \
  X(MosfetOtValue, 1070)   \
  X(MosfetOtDelay, 1071)   \
  X(MosfetOtRelease, 1072) \
  X(NominalCapacity, 1065) \
  X(BoardId, 1066)         \
  X(Cycles, 1069)          \
  X(Soc, 1067)             \
  X(SocWarning, 1068)      \
  X(Path, 1038)            \
  X(Read, 1029)            \
  X(Set, 1024)             \
  X(LoadParameter, 1025)   \
  X(SaveParameter, 1030)   \
  X(Status, 1078)

namespace orlo {

ORLO_CONTROL_IDS(AlarmId, "alarm_parameter", ORLO_ALARM_IDS)

namespace alarm_ids {

constexpr int kStatusClearTimer = 6;
constexpr int kStatusClearPeriodMs = 2000;

}  // namespace alarm_ids
}  // namespace orlo
