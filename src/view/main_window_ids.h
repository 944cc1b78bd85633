#pragma once
// Control ids of the main window (resources/layouts/main.layout), one (name, id) pair per
// layout row, and the main window's timers.

#include <array>

#include "view/control_ids.h"

#define ORLO_MAIN_IDS(X) \
  X(CellV1, 1009)        \
  X(CellV2, 1010)        \
  X(CellV3, 1011)        \
  X(CellV4, 1012)        \
  X(CellV5, 1013)        \
  X(CellV6, 1014)        \
  X(CellV7, 1015)        \
  X(CellV8, 1016)        \
  X(CellV9, 1017)        \
  X(CellV10, 1018)       \
  X(CellV11, 1019)       \
  X(CellV12, 1020)       \
  X(CellV13, 1021)       \
  X(CellV14, 1022)       \
  X(CellV15, 1023)       \
  X(CellV16, 1025)       \
  X(TempC1, 1041)        \
  X(TempC2, 1042)        \
  X(TempC3, 1043)        \
  X(TempC4, 1044)        \
  X(BalanVal, 1045)      \
  X(ErrorVal, 1046)      \
  X(Current, 1047)       \
  X(TotalVal, 1048)      \
  X(Soc, 1049)           \
  X(BusVolt, 1088)       \
  X(DisLamp, 1076)       \
  X(ChgLamp, 1075)       \
  X(Tabs, 1000)          \
  X(SerialPorts, 1002)   \
  X(DevicePath, 2001)    \
  X(StartUp, 1001)       \
  X(Clear, 1079)         \
  X(BaudRate, 1003)      \
  X(DataSize, 1005)      \
  X(StopBits, 1004)      \
  X(Parity, 1006)        \
  X(SendHex, 1039)       \
  X(SendString, 1040)    \
  X(ReceiveHex, 1052)    \
  X(ReceiveString, 1053) \
  X(LogPath, 1051)       \
  X(Path, 1024)          \
  X(SaveFile, 1057)      \
  X(TimeInterval, 1054)  \
  X(PortText, 1059)      \
  X(PortLamp, 1118)      \
  X(LinkText, 1060)      \
  X(LinkLamp, 1119)      \
  X(Clock, 1058)

namespace orlo {

ORLO_CONTROL_IDS(MainId, "main", ORLO_MAIN_IDS)

namespace main_ids {

// Every header field, in the order the header reset writes them.
constexpr std::array<MainId, 26> kHeaderFields = {
    MainId::CellV1,  MainId::CellV2,  MainId::CellV3,   MainId::CellV4,   MainId::CellV5,  MainId::CellV6,
    MainId::CellV7,  MainId::CellV8,  MainId::CellV9,   MainId::CellV10,  MainId::CellV11, MainId::CellV12,
    MainId::CellV13, MainId::CellV14, MainId::CellV15,  MainId::CellV16,  MainId::TempC1,  MainId::TempC2,
    MainId::TempC3,  MainId::TempC4,  MainId::BalanVal, MainId::ErrorVal, MainId::Current, MainId::TotalVal,
    MainId::Soc,     MainId::BusVolt};

// Timers of the main window.
constexpr int kLogTimer = 1;
constexpr int kClockTimer = 2;
constexpr int kFrameTimer = 3;
constexpr int kPollTimer = 4;
constexpr int kLinkTimer = 5;

}  // namespace main_ids
}  // namespace orlo
