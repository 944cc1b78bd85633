#pragma once
// Control ids of the main window (resources/layouts/main.layout).

#include <array>

namespace orlo::main_ids {

// Header readout: sixteen cell voltages, then ten further values.
constexpr int kCellV1 = 1009;
constexpr int kCellV2 = 1010;
constexpr int kCellV3 = 1011;
constexpr int kCellV4 = 1012;
constexpr int kCellV16 = 1025;  // cells 5 ... 15 are 1013 ... 1023
constexpr int kTempC1 = 1041;
constexpr int kTempC2 = 1042;
constexpr int kTempC3 = 1043;
constexpr int kTempC4 = 1044;
constexpr int kBalanVal = 1045;
constexpr int kErrorVal = 1046;
constexpr int kCurrent = 1047;
constexpr int kTotalVal = 1048;
constexpr int kSoc = 1049;
constexpr int kBusVolt = 1088;

// Every header field, in the order the header reset writes them.
constexpr std::array<int, 26> kHeaderFields = {1009, 1010, 1011, 1012, 1013, 1014, 1015, 1016, 1017,
                                               1018, 1019, 1020, 1021, 1022, 1023, 1025, 1041, 1042,
                                               1043, 1044, 1045, 1046, 1047, 1048, 1049, 1088};

// MOSFET lamps.
constexpr int kDisLamp = 1076;
constexpr int kChgLamp = 1075;

constexpr int kTabs = 1000;

// Serial connection.
constexpr int kStartUp = 1001;
constexpr int kSerialPorts = 1002;
constexpr int kDevicePath = 2001;  // read-only text: the device the selected COMn maps to
constexpr int kBaudRate = 1003;
constexpr int kStopBits = 1004;
constexpr int kDataSize = 1005;
constexpr int kParity = 1006;
constexpr int kClear = 1079;

constexpr int kSendHex = 1039;
constexpr int kSendString = 1040;
constexpr int kReceiveHex = 1052;
constexpr int kReceiveString = 1053;

// Data log.
constexpr int kPath = 1024;
constexpr int kLogPath = 1051;
constexpr int kTimeInterval = 1054;
constexpr int kSaveFile = 1057;

// Status row and clock.
constexpr int kPortText = 1059;
constexpr int kPortLamp = 1118;
constexpr int kLinkText = 1060;
constexpr int kLinkLamp = 1119;
constexpr int kClock = 1058;

// Timers of the main window.
constexpr int kLogTimer = 1;
constexpr int kClockTimer = 2;
constexpr int kFrameTimer = 3;
constexpr int kPollTimer = 4;
constexpr int kLinkTimer = 5;

}  // namespace orlo::main_ids
