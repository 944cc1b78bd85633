#include "util/decimal_text.h"

#include <climits>

namespace orlo {
namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// Beyond this the value is only ever compared against ranges far smaller, so it stops growing
// instead of overflowing.
constexpr std::int64_t kSaturation = std::int64_t{1} << 40;

struct Scan {
  bool negative = false;
  std::int64_t magnitude = 0;
  std::size_t digits = 0;
  std::size_t end = 0;  // first character after the digits
};

Scan scanNumber(const std::string& text) {
  Scan s;
  std::size_t i = 0;
  while (i < text.size() && isBlank(text[i])) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) s.negative = text[i++] == '-';
  for (; i < text.size() && isDigit(text[i]); ++i, ++s.digits) {
    if (s.magnitude < kSaturation) s.magnitude = s.magnitude * 10 + (text[i] - '0');
  }
  s.end = i;
  return s;
}

}  // namespace

int decimalTextToInt(const std::string& text) {
  const Scan s = scanNumber(text);
  const std::int64_t value = s.negative ? -s.magnitude : s.magnitude;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

std::optional<std::int64_t> parseWholeNumber(const std::string& text) {
  const Scan s = scanNumber(text);
  if (s.digits == 0) return std::nullopt;
  for (std::size_t i = s.end; i < text.size(); ++i) {
    if (!isBlank(text[i])) return std::nullopt;
  }
  return s.negative ? -s.magnitude : s.magnitude;
}

std::optional<std::int64_t> wholeNumberInRange(const std::string& text, std::int64_t min, std::int64_t max) {
  const auto value = parseWholeNumber(text);
  if (!value || *value < min || *value > max) return std::nullopt;
  return value;
}

}  // namespace orlo
