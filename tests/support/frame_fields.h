#pragma once
// Frame fields decoded here from the bytes, independently of the tool's own decoder, and
// numbers printed as the C library prints them: what a test expects is worked out apart from
// the code it checks.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace orlo::test {

inline long long u16(const std::vector<std::uint8_t>& f, std::size_t at) {
  return f[at] | (f[at + 1] << 8);
}
inline long long s16(const std::vector<std::uint8_t>& f, std::size_t at) {
  return static_cast<std::int16_t>(u16(f, at));
}
inline long long s32(const std::vector<std::uint8_t>& f, std::size_t at) {
  return static_cast<std::int32_t>(f[at] | (f[at + 1] << 8) | (f[at + 2] << 16) |
                                   (std::uint32_t(f[at + 3]) << 24));
}
inline std::string fmt(const char* pattern, double value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, pattern, value);
  return buf;
}

}  // namespace orlo::test
