#pragma once
// Builders for every request the tool sends. Each returns the whole frame, written to the port
// with one write: head AA 55, command, 00, 00, byte 5, sub-command, data, checksum (16-bit sum
// of bytes 4 ... L-5, low byte first), tail 55 AA.

#include <array>
#include <cstdint>

#include "link/serial_control.h"

namespace orlo {

// 16-bit sum of bytes [4, end) of a frame image; `end` is the offset of the checksum's low byte.
std::uint16_t frameChecksum(const std::uint8_t* frame, std::size_t end);

// Builds a frame of total length 11 + data.size() around the given data bytes (offset 7 on),
// filling in head, command, byte 5, sub-command, checksum and tail.
Bytes buildFrame(std::uint8_t command, std::uint8_t byte5, std::uint8_t subCommand, const Bytes& data);

Bytes pollRequest();                // 12 bytes, command 0x06
Bytes alarmParameterReadRequest();  // 18 bytes, command 0x0C, sub 0xB0

// 82 bytes, command 0x47, sub 0xB1. `data` are frame bytes 7 ... 77 (71 bytes).
using AlarmSetData = std::array<std::uint8_t, 71>;
Bytes alarmParameterSetRequest(const AlarmSetData& data);

Bytes balanceReadRequest();  // 0x18 / 0x0E
Bytes balanceSetRequest(std::uint16_t threshold, std::uint8_t difference, std::uint16_t release);  // 0x0F
Bytes manualBalanceRequest(int cell);  // 0x18 / 0x0D, cell 1 ... 4 (mask 1 << (cell-1))
Bytes manualBalanceOffRequest();       // 0x18 / 0x0D, all off

// 16 bytes, command 0x07. point 0 ... 3; direction 0 = discharge, 1 = charge.
Bytes calibrationReadRequest(int point, int direction);                             // byte 5 = 0x01
Bytes calibrationPointRequest(int point, int direction, std::int32_t referenceMa);  // byte 5 = 0x00

}  // namespace orlo
