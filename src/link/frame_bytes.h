#pragma once
// The marks that open and close every Link frame, and the command bytes this tool sends or
// routes, in one place so that the request builders, the receive path, the dispatcher, the
// pages and the traffic log cannot drift apart. The simulator keeps its own copy on purpose:
// it plays the other end, and a mistake shared by both ends would pass every test.

#include <cstddef>
#include <cstdint>

namespace orlo::frame_bytes {

constexpr std::uint8_t kHead0 = 0xAA;
constexpr std::uint8_t kHead1 = 0x55;
constexpr std::uint8_t kTail0 = 0x55;
constexpr std::uint8_t kTail1 = 0xAA;

constexpr std::size_t kCommandAt = 2;
constexpr std::size_t kSubCommandAt = 6;

// Command bytes (frame byte 2).
constexpr std::uint8_t kPoll = 0x06;
constexpr std::uint8_t kCalibration = 0x07;
constexpr std::uint8_t kAlarmRead = 0x0C;
constexpr std::uint8_t kCalibrationResult = 0x15;
constexpr std::uint8_t kBalance = 0x18;
constexpr std::uint8_t kAlarmSet = 0x47;  // also the board's answer to an alarm read
constexpr std::uint8_t kSetAcknowledge = 0x48;
constexpr std::uint8_t kLiveData = 0x4D;

// Sub-commands of kBalance (frame byte 6); the board answers a read with the read's own byte.
constexpr std::uint8_t kBalanceManual = 0x0D;
constexpr std::uint8_t kBalanceRead = 0x0E;
constexpr std::uint8_t kBalanceSet = 0x0F;

}  // namespace orlo::frame_bytes
