#pragma once
// What the board's answers say, decoded once from their bytes into named values. Every reader
// above the link (the pages, the header readout, the data log, the trends, the headless
// monitor) reads these names; no offset of an answer appears outside this file's .cpp.
//
// Values stay raw where the readers show them differently: the current keeps its 32-bit bits
// so that one reader can negate the integer and another the quotient.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "link/frame_view.h"
#include "link/serial_control.h"

namespace orlo {

constexpr std::size_t kCellCount = 4;
constexpr std::size_t kTemperatureCount = 2;
constexpr std::size_t kAlarmFlagCount = 18;
constexpr std::size_t kBalanceFlagCount = 15;

// The live data frame (command 0x4D), every field as the board sends it.
struct LiveData {
  std::array<std::uint16_t, kCellCount> cellMv{};
  std::array<std::int16_t, kTemperatureCount> temperatureC{};
  std::int32_t socPercent = 0;
  std::int32_t totalMv = 0;
  std::uint32_t currentRaw = 0;  // mA, discharge positive, as a 32-bit pattern
  std::int32_t dischargeMah = 0;
  std::int32_t chargeMah = 0;
  std::uint16_t cycleCount = 0;
  std::int32_t busMv = 0;
  std::uint16_t remainingCentiAh = 0;  // 0.01 Ah
  std::uint16_t maxCellMv = 0;
  std::uint16_t meanCellMv = 0;
  std::uint16_t minCellMv = 0;
  std::uint8_t maxCellIndex = 0;  // zero-based
  std::uint8_t minCellIndex = 0;
  std::uint8_t mosStatus = 0;
  std::uint32_t alarmFlags = 0;    // bit n-1 = alarm n
  std::uint16_t balanceFlags = 0;  // bit n-1 = cell n balancing
  std::uint8_t systemMode = 0;

  std::int32_t currentMa() const { return static_cast<std::int32_t>(currentRaw); }
  // The current as the window's header shows it, in A: the quotient negated, so an idle pack
  // reads -0.000000 there.
  float currentA() const { return -(static_cast<float>(currentMa()) / 1000.0f); }
  bool alarm(std::size_t n) const { return n >= 1 && n <= kAlarmFlagCount && ((alarmFlags >> (n - 1)) & 1u); }
  bool balancing(std::size_t cell) const {
    return cell >= 1 && cell <= kBalanceFlagCount && ((balanceFlags >> (cell - 1)) & 1u);
  }
};

// The live data offsets, also read from frames of commands nobody owns (the header fill).
LiveData decodeLiveData(const FrameView& frame);
// The whole live data frame (83 bytes) the board would send for `data`: for tests, benchmarks
// and the fuzzer's seeds. The simulator has its own encoder on purpose.
Bytes encodeLiveData(const LiveData& data);

// Texts of the system mode byte; empty for a value without one.
std::string_view systemModeText(std::uint8_t mode);

// Label of alarm lamp n (1 ... 18) without its trailing colon ("Cell OV"); empty outside.
std::string_view alarmName(std::size_t n);

// The two MOSFETs as the MOS status code reports them; nothing for a code the board does not use.
struct MosState {
  bool discharge = false;
  bool charge = false;
};
std::optional<MosState> decodeMosStatus(std::uint8_t status);

// Answer to a balance read (command 0x18, sub-command 0x0E); nothing for any other sub-command.
struct BalanceCondition {
  std::uint16_t thresholdMv = 0;
  std::uint8_t differenceMv = 0;
  std::uint16_t releaseMv = 0;
};
std::optional<BalanceCondition> decodeBalanceCondition(const FrameView& frame);

// Answer of a calibration read or point (command 0x15). The point index comes as sent: a
// reader must check it before using it as an index.
struct CalibrationResult {
  std::uint8_t direction = 0;  // 0 discharge, 1 charge
  std::uint8_t point = 0;
  bool readAnswer = false;  // true: answer to a read; false: to a calibration point
  std::uint32_t coefficientRaw = 0;
  std::int32_t referenceMa = 0;
};
CalibrationResult decodeCalibrationResult(const FrameView& frame);

}  // namespace orlo
