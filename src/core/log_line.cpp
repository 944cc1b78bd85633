#include "core/log_line.h"

#include <charconv>
#include <cmath>
#include <vector>

#include "core/log_dates.h"

namespace orlo {

const std::array<std::string_view, kLogColumnCount> kLogColumnNames = {
    "TIME",      "NUMBER",  "Cell1-V(mV)", "Cell2-V(mV)", "Cell3-V(mV)", "Cell4-V(mV)", "Diff(mV)",
    "Total",     "MosTemp", "PackTemp",    "SOC",         "Circle",      "Current",     "Balance",
    "DischgCap", "ChgCap",  "RemainCap",   "error",       "MosStatus",   "Mode"};

const std::array<std::string_view, kLogColumnCount> kLogColumnUnits = {
    "",  "", "mV", "mV", "mV", "mV", "mV", "mV", "degC", "degC",
    "%", "", "A",  "",   "Ah", "Ah", "Ah", "",   "",     ""};

namespace {

// How a column is written: the fractional ones with a fixed number of decimals.
enum class Kind { Time, Int, Fixed6, Fixed2 };
constexpr Kind kColumnKinds[kLogColumnCount] = {
    Kind::Time,   Kind::Int,    Kind::Int,    Kind::Int, Kind::Int, Kind::Int,    Kind::Int,
    Kind::Int,    Kind::Fixed6, Kind::Fixed6, Kind::Int, Kind::Int, Kind::Fixed6, Kind::Int,
    Kind::Fixed2, Kind::Fixed2, Kind::Fixed2, Kind::Int, Kind::Int, Kind::Int};

constexpr std::size_t kMaxFields = 40;

bool allDigits(std::string_view s, std::size_t count) {
  if (s.size() != count) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

bool wholeNumberText(std::string_view s) {
  std::size_t i = !s.empty() && s[0] == '-' ? 1 : 0;
  if (i == s.size()) return false;
  for (; i < s.size(); ++i)
    if (s[i] < '0' || s[i] > '9') return false;
  return true;
}

// Whether column `column` may be written as the two fields `whole`,`fraction`.
bool splitFits(std::size_t column, std::string_view whole, std::string_view fraction) {
  const Kind kind = kColumnKinds[column];
  if (kind != Kind::Fixed6 && kind != Kind::Fixed2) return false;
  return wholeNumberText(whole) && allDigits(fraction, kind == Kind::Fixed6 ? 6 : 2);
}

constexpr std::size_t kFractional[] = {8, 9, 12, 14, 15, 16};

// Which fractional columns to join with their next field, as a mask over kFractional: the only
// mask with `extra` joins under which every field fits; -1 when none or several fit.
int onlyJoining(const std::vector<std::string_view>& fields, std::size_t extra) {
  int found = -1;
  for (int mask = 0; mask < (1 << std::size(kFractional)); ++mask) {
    if (static_cast<std::size_t>(__builtin_popcount(mask)) != extra) continue;
    bool fits = true;
    for (std::size_t column = 0, field = 0, k = 0; column < kLogColumnCount && fits; ++column, ++field) {
      const bool fractional = k < std::size(kFractional) && kFractional[k] == column;
      if (fractional && ((mask >> k++) & 1)) {
        fits = splitFits(column, fields[field], fields[field + 1]);
        ++field;
      }
    }
    if (!fits) continue;
    if (found >= 0) return -1;
    found = mask;
  }
  return found;
}

std::string tooManyFields() {
  return "more than " + std::to_string(kMaxFields) + " fields";
}

// The quoted field at line[*at] (its opening quote) into *out; *at ends after its closing quote.
std::string readQuoted(std::string_view line, std::size_t* at, std::string* out) {
  const std::size_t opened = *at;
  std::size_t i = opened + 1;
  for (;;) {
    const std::size_t quote = line.find('"', i);
    if (quote == std::string_view::npos)
      return "the quote at character " + std::to_string(opened + 1) + " is not closed on the line";
    out->append(line.substr(i, quote - i));
    i = quote + 1;
    if (i >= line.size() || line[i] != '"') break;
    out->push_back('"');  // "" stands for one quote
    ++i;
  }
  *at = i;
  if (i < line.size() && line[i] != ',')
    return "text after the closing quote at character " + std::to_string(i);
  return {};
}

// A quoted fractional field "25,500000" reads with its comma as the decimal point.
void keepQuotedDecimalCommas(std::vector<std::string_view>* fields, std::string* unquoted) {
  if (unquoted->empty()) return;
  for (const std::size_t column : kFractional) {
    const std::string_view field = (*fields)[column];
    const std::size_t comma = field.find(',');
    if (comma == std::string_view::npos ||
        !splitFits(column, field.substr(0, comma), field.substr(comma + 1)))
      continue;
    const auto at = static_cast<std::size_t>(field.data() - unquoted->data()) + comma;
    if (at < unquoted->size()) (*unquoted)[at] = '.';
  }
}

template <typename T>
bool parseNumber(std::string_view text, T* out) {
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, *out);
  return ec == std::errc() && ptr == end;
}

struct Limits {
  std::int64_t low;
  std::int64_t high;
};

bool readInt(std::string_view text, Limits limits, std::int32_t* out) {
  std::int64_t value = 0;
  if (!parseNumber(text, &value) || value < limits.low || value > limits.high) return false;
  *out = static_cast<std::int32_t>(value);
  return true;
}

constexpr Limits kInt32{INT32_MIN, INT32_MAX};
constexpr Limits kU16{0, 65535};
constexpr Limits kU8{0, 255};

std::string fill(const std::array<std::string_view, kLogColumnCount>& t, LogRow* row) {
  const std::optional<int> time = parseTimeOfDay(t[0]);
  if (!time) return "TIME '" + std::string(t[0]) + "' is not HH:MM:SS";
  row->timeOfDay = *time;
  std::int32_t alarms = 0;
  struct IntColumn {
    std::size_t column;
    Limits limits;
    std::int32_t* out;
  };
  const IntColumn ints[] = {{1, {0, INT32_MAX}, &row->number},
                            {2, kU16, &row->cellMv[0]},
                            {3, kU16, &row->cellMv[1]},
                            {4, kU16, &row->cellMv[2]},
                            {5, kU16, &row->cellMv[3]},
                            {6, kInt32, &row->diffMv},
                            {7, {0, 4 * 65535}, &row->totalMv},
                            {10, kU8, &row->soc},
                            {11, kU16, &row->cycle},
                            {13, kU16, &row->balance},
                            {17, kInt32, &alarms},
                            {18, kU8, &row->mosStatus},
                            {19, kU8, &row->mode}};
  const std::pair<std::size_t, double*> reals[] = {{8, &row->mosTemp},   {9, &row->packTemp},
                                                   {12, &row->current},  {14, &row->dischargeAh},
                                                   {15, &row->chargeAh}, {16, &row->remainingAh}};
  const auto refuse = [&](std::size_t column) {
    return std::string(kLogColumnNames[column]) + " '" + std::string(t[column]) +
           "' is no number of that column";
  };
  for (const IntColumn& c : ints)
    if (!readInt(t[c.column], c.limits, c.out)) return refuse(c.column);
  for (const auto& [column, out] : reals)
    if (!parseNumber(t[column], out) || !std::isfinite(*out)) return refuse(column);
  row->alarmFlags = static_cast<std::uint32_t>(alarms);
  return {};
}

}  // namespace

std::string logHeaderText() {
  std::string text;
  for (std::string_view name : kLogColumnNames) {
    if (!text.empty()) text += ',';
    text += name;
  }
  return text;
}

std::string splitCsvLine(std::string_view line, std::string* unquoted,
                         std::vector<std::string_view>* fields) {
  fields->clear();
  unquoted->clear();
  const char* start = line.data();
  const char* const end = start + line.size();
  const char* at = start;
  for (; at != end && *at != '"'; ++at) {
    if (*at != ',') continue;
    fields->emplace_back(start, static_cast<std::size_t>(at - start));
    if (fields->size() > kMaxFields) return tooManyFields();
    start = at + 1;
  }
  if (at == end) {
    fields->emplace_back(start, static_cast<std::size_t>(end - start));
    return {};
  }
  fields->clear();
  // Never longer than the line: the views into it stay valid while it fills.
  unquoted->reserve(line.size());
  for (std::size_t i = 0;;) {
    const std::size_t begin = unquoted->size();
    if (i < line.size() && line[i] == '"') {
      if (std::string error = readQuoted(line, &i, unquoted); !error.empty()) return error;
    } else {
      const std::size_t comma = std::min(line.find(',', i), line.size());
      unquoted->append(line.substr(i, comma - i));
      i = comma;
    }
    fields->push_back(std::string_view(*unquoted).substr(begin));
    if (i >= line.size()) return {};
    if (fields->size() > kMaxFields) return tooManyFields();
    ++i;  // the comma
  }
}

std::string LogLineParser::parse(std::string_view line, LogRow* row) {
  std::vector<std::string_view>& fields = fields_;
  if (std::string error = splitCsvLine(line, &unquoted_, &fields); !error.empty()) return error;
  if (fields.size() == kLogColumnCount) keepQuotedDecimalCommas(&fields, &unquoted_);
  if (fields.size() < kLogColumnCount)
    return std::to_string(fields.size()) + " fields where a row has " + std::to_string(kLogColumnCount);
  if (fields.size() == kLogColumnCount) {
    std::copy(fields.begin(), fields.end(), row->text.begin());
    return fill(row->text, row);
  }
  const int mask = onlyJoining(fields, fields.size() - kLogColumnCount);
  if (mask < 0) return std::to_string(fields.size()) + " fields and no single decimal-comma reading";
  joined_.clear();
  joined_.reserve(line.size());
  std::array<std::pair<std::size_t, std::size_t>, kLogColumnCount> spans{};
  for (std::size_t column = 0, field = 0, k = 0; column < kLogColumnCount; ++column) {
    const std::size_t begin = joined_.size();
    joined_ += fields[field++];
    const bool fractional = k < std::size(kFractional) && kFractional[k] == column;
    if (fractional && ((mask >> k++) & 1)) {
      joined_ += '.';
      joined_ += fields[field++];
    }
    spans[column] = {begin, joined_.size() - begin};
  }
  for (std::size_t column = 0; column < kLogColumnCount; ++column)
    row->text[column] = std::string_view(joined_).substr(spans[column].first, spans[column].second);
  return fill(row->text, row);
}

}  // namespace orlo
