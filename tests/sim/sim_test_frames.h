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
