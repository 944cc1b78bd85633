#include "core/log_row.h"

#include <iterator>
#include <string>

#include "util/text_format.h"

namespace orlo {
namespace {

struct RowInput {
  const std::tm& time;
  std::int32_t number;
  const LogValues& v;
};

std::string timeOfDay(const RowInput& in) {
  char buffer[32];
  const std::size_t n = std::strftime(buffer, sizeof buffer, "%H:%M:%S", &in.time);
  return std::string(buffer, n);
}

std::string cell(const RowInput& in, int index) {
  return std::to_string(in.v.cellVoltage[index]);
}

int totalVoltage(const LogValues& v) {
  return v.cellVoltage[0] + v.cellVoltage[1] + v.cellVoltage[2] + v.cellVoltage[3];
}

struct LogColumn {
  const char* name;
  std::string (*format)(const RowInput&);
};

// The header and every row read this table, so they cannot drift apart.
const LogColumn kColumns[] = {
    {"TIME", timeOfDay},
    {"NUMBER", [](const RowInput& in) { return std::to_string(in.number); }},
    {"Cell1-V(mV)", [](const RowInput& in) { return cell(in, 0); }},
    {"Cell2-V(mV)", [](const RowInput& in) { return cell(in, 1); }},
    {"Cell3-V(mV)", [](const RowInput& in) { return cell(in, 2); }},
    {"Cell4-V(mV)", [](const RowInput& in) { return cell(in, 3); }},
    {"Diff(mV)", [](const RowInput& in) { return std::to_string(in.v.voltageDifference); }},
    {"Total", [](const RowInput& in) { return std::to_string(totalVoltage(in.v)); }},
    {"MosTemp", [](const RowInput& in) { return formatFixed(in.v.temperature1, 6); }},
    {"PackTemp", [](const RowInput& in) { return formatFixed(in.v.temperature2, 6); }},
    {"SOC", [](const RowInput& in) { return std::to_string(in.v.socLowByte); }},
    {"Circle", [](const RowInput& in) { return std::to_string(in.v.cycleCount); }},
    {"Current", [](const RowInput& in) { return formatFixed(in.v.current, 6); }},
    {"Balance", [](const RowInput& in) { return std::to_string(in.v.balanceFlags); }},
    {"DischgCap", [](const RowInput& in) { return formatFixed(in.v.dischargeCapacity, 2); }},
    {"ChgCap", [](const RowInput& in) { return formatFixed(in.v.chargeCapacity, 2); }},
    {"RemainCap", [](const RowInput& in) { return formatFixed(in.v.remainingCapacity, 2); }},
    // The BMS packs its alarm bits into a word that the log has always shown as signed.
    {"error", [](const RowInput& in) { return std::to_string(static_cast<std::int32_t>(in.v.alarmFlags)); }},
    {"MosStatus", [](const RowInput& in) { return std::to_string(in.v.mosStatus); }},
    {"Mode", [](const RowInput& in) { return std::to_string(in.v.systemMode); }},
};

template <typename Field>
std::string csvLine(Field field) {
  std::string line;
  for (std::size_t i = 0; i < std::size(kColumns); ++i) {
    line += field(kColumns[i]);
    line += i + 1 < std::size(kColumns) ? ',' : '\n';
  }
  return line;
}

// Decodes one UTF-8 sequence at text[i]; returns the code point (U+FFFD when malformed) and
// advances i past what it consumed.
char32_t nextCodePoint(const std::string& text, std::size_t& i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i++);
  if (lead < 0x80) return lead;
  const int extra = lead >= 0xF5 ? -1 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : -1;
  if (extra < 0) return U'\uFFFD';
  char32_t cp = lead & (0x3F >> extra);
  for (int k = 0; k < extra; ++k) {
    if (i >= text.size() || (byte(i) & 0xC0) != 0x80) return U'\uFFFD';
    cp = (cp << 6) | (byte(i++) & 0x3F);
  }
  static const char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
  const bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
  return cp < kMinimum[extra] || cp > 0x10FFFF || surrogate ? U'\uFFFD' : cp;
}

void appendUnit(std::string& out, char16_t unit) {
  out += static_cast<char>(unit & 0xFF);
  out += static_cast<char>(unit >> 8);
}

}  // namespace

std::string logHeaderLine() {
  return csvLine([](const LogColumn& column) { return std::string(column.name); });
}

std::string formatLogRow(const std::tm& time, std::int32_t number, const LogValues& values) {
  const RowInput in{time, number, values};
  return csvLine([&](const LogColumn& column) { return column.format(in); });
}

std::string toUtf16Le(const std::string& utf8) {
  std::string out;
  out.reserve(utf8.size() * 2);
  for (std::size_t i = 0; i < utf8.size();) {
    const char32_t cp = nextCodePoint(utf8, i);
    if (cp < 0x10000) {
      appendUnit(out, static_cast<char16_t>(cp));
    } else {
      appendUnit(out, static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      appendUnit(out, static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    }
  }
  return out;
}

}  // namespace orlo
