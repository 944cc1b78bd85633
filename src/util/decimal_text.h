#pragma once
// Numbers typed into the pages' edit boxes. Two readings: the lenient one the BMS protocol was
// built around (the C runtime's wide-string-to-int), and a strict one for fields where a
// mistyped value must not reach the battery.

#include <cstdint>
#include <optional>
#include <string>

namespace orlo {

// Leading blanks, an optional sign, decimal digits up to the first other character; 0 when
// there are no digits. Out-of-range values saturate at INT_MIN / INT_MAX, as that runtime does.
int decimalTextToInt(const std::string& text);

// The text holds one whole number and nothing else: blanks around it allowed, an optional sign,
// at least one digit. std::nullopt otherwise: empty, "--", "12a", "1 2", "3.5". Numbers too long
// to matter come back clamped far outside every field's range.
std::optional<std::int64_t> parseWholeNumber(const std::string& text);

// parseWholeNumber, and the number lies in [min, max].
std::optional<std::int64_t> wholeNumberInRange(const std::string& text, std::int64_t min, std::int64_t max);

}  // namespace orlo
