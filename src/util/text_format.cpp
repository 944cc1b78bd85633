#include "util/text_format.h"

#include <charconv>

namespace orlo {

std::string formatFixed(double value, int decimals) {
  // to_chars prints as printf does in the "C" locale: the decimal point stays "." whatever locale
  // the desktop session runs in, so a row of the comma-separated log never gains columns.
  if (decimals < 0) decimals = 0;
  // Every float the pages show fits here; only a huge double needs the second pass.
  char buffer[64];
  const auto [end, error] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  if (error == std::errc()) return std::string(buffer, end);
  std::string text(400 + static_cast<std::size_t>(decimals), '\0');
  const auto [last, again] =
      std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed, decimals);
  if (again != std::errc()) return {};
  text.resize(static_cast<std::size_t>(last - text.data()));
  return text;
}

std::string isoZoneText(long offsetSeconds) {
  const long minutes = (offsetSeconds < 0 ? -offsetSeconds : offsetSeconds) / 60;
  const long hours = minutes / 60 % 100;
  const char text[] = {offsetSeconds < 0 ? '-' : '+',
                       static_cast<char>('0' + hours / 10),
                       static_cast<char>('0' + hours % 10),
                       ':',
                       static_cast<char>('0' + minutes % 60 / 10),
                       static_cast<char>('0' + minutes % 10)};
  return std::string(text, sizeof text);
}

std::string joinNonEmpty(const std::vector<std::string>& parts, const char* separator) {
  std::string out;
  for (const std::string& p : parts)
    if (!p.empty()) out += (out.empty() ? "" : separator) + p;
  return out;
}

}  // namespace orlo
