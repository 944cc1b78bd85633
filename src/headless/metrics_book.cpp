#include "headless/metrics_book.h"

#include <charconv>
#include <cstdlib>

namespace orlo::headless {
namespace {

// Numbers go straight into the page, with no string made for each.
void appendWhole(std::string& out, unsigned long long value) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out.append(digits, static_cast<std::size_t>(end - digits));
}

// `value` thousandths as a decimal: 3712 -> "3.712", -20009 -> "-20.009", 3700 -> "3.7".
void appendMilli(std::string& out, long long value) {
  if (value < 0) out += '-';
  const unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value) : value;
  appendWhole(out, magnitude / 1000);
  unsigned fraction = static_cast<unsigned>(magnitude % 1000);
  if (fraction == 0) return;
  char digits[4] = {static_cast<char>('0' + fraction / 100), static_cast<char>('0' + fraction / 10 % 10),
                    static_cast<char>('0' + fraction % 10), '\0'};
  int end = 3;
  while (digits[end - 1] == '0') --end;
  out += '.';
  out.append(digits, static_cast<std::size_t>(end));
}

// Label values of our own (pack names, lamp labels) with the three characters the format escapes.
void appendLabel(std::string& out, const char* name, std::string_view value) {
  out += name;
  out += "=\"";
  for (char c : value) {
    if (c == '\\' || c == '"') out += '\\';
    out += c == '\n' ? 'n' : c;
  }
  out += '"';
}

// One family's header: HELP and TYPE.
void family(std::string& out, const char* name, const char* type, const char* help) {
  out += "# HELP ";
  out += name;
  out += ' ';
  out += help;
  out += "\n# TYPE ";
  out += name;
  out += ' ';
  out += type;
  out += '\n';
}

struct Sample {
  std::string& out;
  void begin(const char* name, const std::string& pack) {
    out += name;
    out += '{';
    appendLabel(out, "pack", pack);
  }
  void milli(long long value) {
    out += "} ";
    appendMilli(out, value);
    out += '\n';
  }
  void whole(unsigned long long value) {
    out += "} ";
    appendWhole(out, value);
    out += '\n';
  }
  void index(const char* label, std::size_t n) {
    out += label;
    appendWhole(out, n);
    out += '"';
  }
};

}  // namespace

MetricsBook::MetricsBook(std::vector<std::string> packs, Time start) {
  for (std::string& name : packs) packs_.push_back(Pack{std::move(name), {}, false, false, start, 0, 0});
}

void MetricsBook::onFrame(std::size_t pack, const LiveData& live, Time now) {
  if (pack >= packs_.size()) return;
  packs_[pack].live = live;
  packs_[pack].seen = true;
  packs_[pack].lastFrame = now;
}

void MetricsBook::onLink(std::size_t pack, bool up) {
  if (pack < packs_.size()) packs_[pack].up = up;
}

void MetricsBook::setFrameCounts(std::size_t pack, std::uint64_t valid, std::uint64_t dropped) {
  if (pack >= packs_.size()) return;
  packs_[pack].valid = valid;
  packs_[pack].dropped = dropped;
}

void MetricsBook::write(std::string& out, Time now) const {
  out.clear();
  writeLive(out);
  writeCounters(out, now);
}

// The live values of each pack whose link is up: a pack gone quiet shows no stale readings.
void MetricsBook::writeLive(std::string& out) const {
  struct Scalar {
    const char* name;
    const char* help;
    long long (*milli)(const LiveData&);
  };
  static const Scalar kScalars[] = {
      {"orlo_current_amperes", "Pack current, discharge negative.",
       [](const LiveData& d) { return -static_cast<long long>(d.currentMa()); }},
      {"orlo_total_voltage_volts", "Sum of the cell voltages.",
       [](const LiveData& d) { return static_cast<long long>(d.totalMv); }},
      {"orlo_bus_voltage_volts", "Voltage at the pack's terminals.",
       [](const LiveData& d) { return static_cast<long long>(d.busMv); }},
      {"orlo_soc_ratio", "State of charge, 0 to 1.",
       [](const LiveData& d) { return static_cast<long long>(d.socPercent) * 10; }},
      {"orlo_remaining_charge_coulombs", "Remaining capacity (3600 C = 1 Ah).",
       [](const LiveData& d) { return static_cast<long long>(d.remainingCentiAh) * 36000; }},
      {"orlo_charge_cycles", "Charge cycles the board counted.",
       [](const LiveData& d) { return static_cast<long long>(d.cycleCount) * 1000; }},
  };
  Sample s{out};
  family(out, "orlo_cell_voltage_volts", "gauge", "Cell voltage.");
  for (const Pack& p : packs_)
    for (std::size_t c = 0; p.seen && p.up && c < kCellCount; ++c) {
      s.begin("orlo_cell_voltage_volts", p.name);
      s.index(",cell=\"", c + 1);
      s.milli(p.live.cellMv[c]);
    }
  family(out, "orlo_temperature_celsius", "gauge", "Temperature sensor.");
  for (const Pack& p : packs_)
    for (std::size_t t = 0; p.seen && p.up && t < kTemperatureCount; ++t) {
      s.begin("orlo_temperature_celsius", p.name);
      s.index(",sensor=\"", t + 1);
      s.milli(p.live.temperatureC[t] * 1000LL);
    }
  for (const Scalar& scalar : kScalars) {
    family(out, scalar.name, "gauge", scalar.help);
    for (const Pack& p : packs_)
      if (p.seen && p.up) {
        s.begin(scalar.name, p.name);
        s.milli(scalar.milli(p.live));
      }
  }
  family(out, "orlo_alarm", "gauge", "Board alarm flag by its lamp label, 1 while set.");
  for (const Pack& p : packs_)
    for (std::size_t n = 1; p.seen && p.up && n <= kAlarmFlagCount; ++n) {
      s.begin("orlo_alarm", p.name);
      out += ',';
      appendLabel(out, "alarm", alarmName(n));
      s.whole(p.live.alarm(n) ? 1 : 0);
    }
  family(out, "orlo_balancing", "gauge", "1 while the cell is being balanced.");
  for (const Pack& p : packs_)
    for (std::size_t c = 1; p.seen && p.up && c <= kCellCount; ++c) {
      s.begin("orlo_balancing", p.name);
      s.index(",cell=\"", c);
      s.whole(p.live.balancing(c) ? 1 : 0);
    }
}

void MetricsBook::writeCounters(std::string& out, Time now) const {
  Sample s{out};
  family(out, "orlo_link_up", "gauge", "1 while valid frames come from the pack.");
  for (const Pack& p : packs_) {
    s.begin("orlo_link_up", p.name);
    s.whole(p.up ? 1 : 0);
  }
  family(out, "orlo_last_frame_age_seconds", "gauge", "Seconds since the last valid frame (or the start).");
  for (const Pack& p : packs_) {
    s.begin("orlo_last_frame_age_seconds", p.name);
    s.milli(std::chrono::duration_cast<std::chrono::milliseconds>(now - p.lastFrame).count());
  }
  family(out, "orlo_frames_valid_total", "counter", "Frames with a good checksum.");
  for (const Pack& p : packs_) {
    s.begin("orlo_frames_valid_total", p.name);
    s.whole(p.valid);
  }
  family(out, "orlo_frames_dropped_total", "counter", "Frames dropped: bad checksum, no tail, queue full.");
  for (const Pack& p : packs_) {
    s.begin("orlo_frames_dropped_total", p.name);
    s.whole(p.dropped);
  }
  family(out, "orlo_broker_reconnects_total", "counter", "Connections to the MQTT broker after the first.");
  out += "orlo_broker_reconnects_total " + std::to_string(reconnects_) + '\n';
  family(out, "orlo_notices_sent_total", "counter", "Alert notices a channel took.");
  for (const Channel& c : channels_)
    out += "orlo_notices_sent_total{channel=\"" + c.name + "\"} " + std::to_string(c.sent) + '\n';
  family(out, "orlo_notices_failed_total", "counter",
         "Failed notice attempts and notices dropped from a full queue.");
  for (const Channel& c : channels_)
    out += "orlo_notices_failed_total{channel=\"" + c.name + "\"} " + std::to_string(c.failed) + '\n';
}

}  // namespace orlo::headless
