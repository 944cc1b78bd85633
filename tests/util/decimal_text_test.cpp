#include "util/decimal_text.h"

#include <gtest/gtest.h>

#include <optional>

namespace orlo {
namespace {

TEST(ParseWholeNumber, AcceptsOnlyOneWholeNumberWithBlanksAround) {
  struct Case {
    const char* text;
    std::optional<std::int64_t> value;
  } cases[] = {
      {"12", 12},  {"  12\t", 12}, {"-20", -20}, {"+5", 5},    {"007", 7},       {"-0", 0},
      {"", {}},    {"   ", {}},    {"--", {}},   {"-", {}},    {"12a", {}},      {"1 2", {}},
      {"3.5", {}}, {"0x10", {}},   {"- 5", {}},  {"１２", {}}, {"65535", 65535}, {"-32768", -32768},
  };
  for (const auto& c : cases) EXPECT_EQ(parseWholeNumber(c.text), c.value) << '"' << c.text << '"';
}

}  // namespace
}  // namespace orlo
