#include "headless/metrics_book.h"

#include <charconv>
#include <cstdlib>
#include <iterator>

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

namespace {

struct Scalar {
  const char* name;
  const char* help;
  long long (*milli)(const LiveData&);
};
const Scalar kScalars[] = {
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
constexpr std::size_t kScalarCount = std::size(kScalars);
enum Piece : std::size_t {
  kCells,
  kTemperatures,
  kFirstScalar,
  kAlarms = kFirstScalar + kScalarCount,
  kBalancing
};
static_assert(kBalancing + 1 == MetricsBook::kPieces);
// The families in the page: those a frame seldom changes first.
constexpr std::array<std::size_t, MetricsBook::kPieces> kPageOrder = {
    kAlarms,          kFirstScalar + 5, kTemperatures,    kFirstScalar + 3, kBalancing,
    kFirstScalar + 4, kFirstScalar + 2, kFirstScalar + 1, kFirstScalar,     kCells};

struct Family {
  const char* name;
  const char* help;
};
Family familyOf(std::size_t piece) {
  if (piece == kCells) return {"orlo_cell_voltage_volts", "Cell voltage."};
  if (piece == kTemperatures) return {"orlo_temperature_celsius", "Temperature sensor."};
  if (piece == kAlarms) return {"orlo_alarm", "Board alarm flag by its lamp label, 1 while set."};
  if (piece == kBalancing) return {"orlo_balancing", "1 while the cell is being balanced."};
  return {kScalars[piece - kFirstScalar].name, kScalars[piece - kFirstScalar].help};
}

// Whether a piece's lines read the same for both frames.
bool sameLines(std::size_t piece, const LiveData& a, const LiveData& b) {
  if (piece == kCells) return a.cellMv == b.cellMv;
  if (piece == kTemperatures) return a.temperatureC == b.temperatureC;
  if (piece == kAlarms) return a.alarmFlags == b.alarmFlags;
  if (piece == kBalancing) return a.balanceFlags == b.balanceFlags;
  const Scalar& scalar = kScalars[piece - kFirstScalar];
  return scalar.milli(a) == scalar.milli(b);
}

void writePiece(std::size_t piece, const std::string& pack, const LiveData& live, std::string& out) {
  Sample s{out};
  const char* name = familyOf(piece).name;
  const std::size_t count = piece == kCells || piece == kBalancing ? kCellCount
                            : piece == kTemperatures               ? kTemperatureCount
                            : piece == kAlarms                     ? kAlarmFlagCount
                                                                   : 1;
  for (std::size_t i = 0; i < count; ++i) {
    s.begin(name, pack);
    if (piece == kCells) {
      s.index(",cell=\"", i + 1);
      s.milli(live.cellMv[i]);
    } else if (piece == kTemperatures) {
      s.index(",sensor=\"", i + 1);
      s.milli(live.temperatureC[i] * 1000LL);
    } else if (piece == kAlarms) {
      out += ',';
      appendLabel(out, "alarm", alarmName(i + 1));
      s.whole(live.alarm(i + 1) ? 1 : 0);
    } else if (piece == kBalancing) {
      s.index(",cell=\"", i + 1);
      s.whole(live.balancing(i + 1) ? 1 : 0);
    } else {
      s.milli(kScalars[piece - kFirstScalar].milli(live));
    }
  }
}

}  // namespace

MetricsBook::MetricsBook(std::vector<std::string> packs, Time start) {
  for (std::string& name : packs) {
    packs_.emplace_back();
    packs_.back().name = std::move(name);
    packs_.back().lastFrame = start;
  }
}

void MetricsBook::onFrame(std::size_t pack, const LiveData& live, Time now) {
  if (pack >= packs_.size()) return;
  Pack& p = packs_[pack];
  for (std::size_t piece = 0; piece < kPieces; ++piece)
    if (!stale_[piece] && (!p.seen || !sameLines(piece, p.live, live))) stale_[piece] = true;
  p.live = live;
  p.seen = true;
  p.lastFrame = now;
}

void MetricsBook::onLink(std::size_t pack, bool up) {
  if (pack >= packs_.size() || packs_[pack].up == up) return;
  packs_[pack].up = up;
  stale_.fill(true);
}

void MetricsBook::setFrameCounts(std::size_t pack, std::uint64_t valid, std::uint64_t dropped) {
  if (pack >= packs_.size()) return;
  packs_[pack].valid = valid;
  packs_[pack].dropped = dropped;
}

void MetricsBook::setChannelCounts(std::size_t channel, std::uint64_t sent, std::uint64_t failed) {
  if (channel >= channels_.size()) return;
  channels_[channel].sent = sent;
  channels_[channel].failed = failed;
}

void MetricsBook::write(std::string& out, Time now, bool same) {
  writeLive(out, same);
  writeCounters(out, now);
}

// The live values of each pack whose link is up: a pack gone quiet shows no stale readings. The
// families that seldom change come first, so a page written again mostly keeps its beginning.
void MetricsBook::writeLive(std::string& out, bool same) {
  std::size_t first = 0;
  if (same) {
    while (first < kPieces && !stale_[kPageOrder[first]]) ++first;
    out.resize(first < kPieces ? offsets_[first] : offsets_.back() + families_[kPageOrder.back()].size());
  } else {
    out.clear();
  }
  for (std::size_t k = first; k < kPieces; ++k) {
    const std::size_t piece = kPageOrder[k];
    offsets_[k] = out.size();
    std::string& text = families_[piece];
    if (stale_[piece] || text.empty()) {
      text.clear();
      family(text, familyOf(piece).name, "gauge", familyOf(piece).help);
      for (const Pack& p : packs_)
        if (p.seen && p.up) writePiece(piece, p.name, p.live, text);
      stale_[piece] = false;
    }
    out += text;
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
  out += "orlo_broker_reconnects_total ";
  appendWhole(out, reconnects_);
  out += '\n';
  const auto perChannel = [&](const char* name, const char* help, std::uint64_t Channel::*count) {
    family(out, name, "counter", help);
    for (const Channel& c : channels_) {
      out += name;
      out += "{channel=\"";
      out += c.name;
      out += "\"} ";
      appendWhole(out, c.*count);
      out += '\n';
    }
  };
  perChannel("orlo_notices_sent_total", "Alert notices a channel took.", &Channel::sent);
  perChannel("orlo_notices_failed_total", "Failed notice attempts and notices dropped from a full queue.",
             &Channel::failed);
}

}  // namespace orlo::headless
