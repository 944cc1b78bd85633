#include "pages/text_format.h"

#include <cstdio>

namespace orlo {

std::string formatFixed(double value, int decimals) {
  // Every float the pages show fits here; only a huge double needs the second pass.
  char buffer[64];
  const int n = std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  if (n < 0) return {};
  const auto length = static_cast<std::size_t>(n);
  if (length < sizeof buffer) return std::string(buffer, length);
  std::string text(length + 1, '\0');
  std::snprintf(text.data(), text.size(), "%.*f", decimals, value);
  text.resize(length);
  return text;
}

}  // namespace orlo
