#pragma once
// One row of a data log read back: the 20 columns as numbers and as text, and the parser of one
// line. Rows saved again under a decimal-comma locale carry a comma in each fractional column
// ("25,000000"); such a row is read when exactly one way of joining its extra fields fits the
// columns' formats, and refused otherwise. A spreadsheet may also put a field in double quotes
// ("3.300", with "" for a quote inside); such a field reads as its text without them, and a
// quoted field of a fractional column may hold its decimal comma ("25,500000").

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orlo {

constexpr std::size_t kLogColumnCount = 20;

// The column names, in the file's order.
extern const std::array<std::string_view, kLogColumnCount> kLogColumnNames;

// The unit of each column for a header that names them ("mV", "A", "" for none).
extern const std::array<std::string_view, kLogColumnCount> kLogColumnUnits;

// The header line's text: the names joined by commas.
std::string logHeaderText();

// A row's values.
struct LogFigures {
  double mosTemp = 0;
  double packTemp = 0;
  double current = 0;  // A, positive while charging
  double dischargeAh = 0;
  double chargeAh = 0;
  double remainingAh = 0;
  int timeOfDay = 0;  // seconds since midnight
  std::int32_t number = 0;
  std::array<std::int32_t, 4> cellMv{};
  std::int32_t diffMv = 0;
  std::int32_t totalMv = 0;
  std::int32_t soc = 0;
  std::int32_t cycle = 0;
  std::int32_t balance = 0;
  std::uint32_t alarmFlags = 0;  // bit n - 1 is alarm lamp n
  std::int32_t mosStatus = 0;
  std::int32_t mode = 0;

  bool alarm(std::size_t n) const { return (alarmFlags >> (n - 1)) & 1u; }
};

struct LogRow : LogFigures {
  // Each column's text as the log has it, with '.' as the decimal point; views into the
  // parser's own buffer, valid until its next line.
  std::array<std::string_view, kLogColumnCount> text{};
};

// Splits a CSV line at its commas into *fields, reading double-quoted fields as their text
// (RFC 4180); the views point into `line` or, for a line with quotes, into *unquoted. Returns ""
// or what is wrong (a quote not closed on the line, text after a closing quote).
std::string splitCsvLine(std::string_view line, std::string* unquoted, std::vector<std::string_view>* fields);

class LogLineParser {
 public:
  // Parses one line (no line end). Returns "" and fills *row, or says what is wrong.
  std::string parse(std::string_view line, LogRow* row);

 private:
  std::vector<std::string_view> fields_;
  std::string unquoted_;  // the fields of a line with quotes, without them
  std::string joined_;    // the text of columns joined back from a decimal-comma row
};

}  // namespace orlo
