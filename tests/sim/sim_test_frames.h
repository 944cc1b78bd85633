#pragma once
// What the simulator's tests send and check on every side of it: the host's poll request and
// the plausibility of the Live data frame that answers it.

#include <gtest/gtest.h>

#include <cstdint>

#include "sim/sim_frame.h"
#include "support/hex.h"

namespace orlo::sim::test {

inline constexpr const char* kPollHex = "AA 55 06 00 00 00 01 00 01 00 55 AA";
inline const Bytes kPoll = orlo::test::hex(kPollHex);

// `frame` with its checksum and tail made right again after a test changed bytes in it, summed
// here rather than by the simulator's codec, so a slip there cannot agree with itself.
inline Bytes withChecksum(Bytes frame) {
  const std::size_t n = frame.size();
  std::uint16_t sum = 0;
  for (std::size_t i = 4; i + 4 < n; ++i) sum = static_cast<std::uint16_t>(sum + frame[i]);
  frame[n - 4] = static_cast<std::uint8_t>(sum & 0xFF);
  frame[n - 3] = static_cast<std::uint8_t>(sum >> 8);
  frame[n - 2] = 0x55;
  frame[n - 1] = 0xAA;
  return frame;
}

// Expects each of the four cell voltages of a Live data frame within [lowMv, highMv]; returns
// their sum, for the caller to hold the frame's total against.
inline std::uint32_t cellSumWithin(const Bytes& frame, std::uint32_t lowMv, std::uint32_t highMv) {
  std::uint32_t total = 0;
  for (std::size_t cell = 0; cell < 4; ++cell) {
    const std::uint32_t mv = readU16(frame, 10 + 2 * cell);
    EXPECT_GE(mv, lowMv) << "cell " << cell + 1;
    EXPECT_LE(mv, highMv) << "cell " << cell + 1;
    total += mv;
  }
  return total;
}

}  // namespace orlo::sim::test
