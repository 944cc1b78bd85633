#pragma once
// "AA 55 06 ..." <-> bytes, for readable byte-exact tests.

#include <cstdio>
#include <sstream>
#include <string>

#include "link/serial_control.h"

namespace orlo::test {

inline Bytes hex(const std::string& text) {
  Bytes out;
  std::istringstream in(text);
  std::string tok;
  while (in >> tok) out.push_back(static_cast<std::uint8_t>(std::stoul(tok, nullptr, 16)));
  return out;
}

inline std::string toHex(const Bytes& bytes);

// "AA5506...": the hex without spaces, as a line's record lists requests.
inline std::string compactHex(const Bytes& bytes) {
  std::string out = toHex(bytes);
  std::string::size_type kept = 0;
  for (char c : out)
    if (c != ' ') out[kept++] = c;
  out.resize(kept);
  return out;
}

inline std::string toHex(const Bytes& bytes) {
  std::string out;
  char buf[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(buf, sizeof buf, "%02X", bytes[i]);
    if (i) out += ' ';
    out += buf;
  }
  return out;
}

}  // namespace orlo::test
