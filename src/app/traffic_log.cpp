#include "app/traffic_log.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "link/frame_bytes.h"
#include "link/frame_view.h"

namespace orlo {

namespace {

struct CommandName {
  std::uint8_t command;
  const char* sent;      // nullptr: the host never sends it
  const char* received;  // nullptr: the board never sends it
};

// 0x47 goes both ways with different meanings; so does 0x18 (request and read result).
constexpr CommandName kCommands[] = {
    {frame_bytes::kPoll, "Poll", nullptr},
    {frame_bytes::kCalibration, "Calibration request", nullptr},
    {frame_bytes::kAlarmRead, "Alarm parameter read", nullptr},
    {frame_bytes::kCalibrationResult, nullptr, "Calibration result"},
    {frame_bytes::kBalance, "Balance", "Balance"},
    {frame_bytes::kAlarmSet, "Alarm parameter set", "Alarm parameter read result"},
    {frame_bytes::kSetAcknowledge, nullptr, "Set acknowledge"},
    {frame_bytes::kLiveData, nullptr, "Live data"},
};

struct VerdictName {
  Verdict verdict;
  const char* name;
};

constexpr VerdictName kVerdicts[] = {
    {Verdict::Sent, "sent"},
    {Verdict::WriteFailed, "write failed"},
    {Verdict::Dispatched, "dispatched"},
    {Verdict::BadChecksum, "dropped: bad checksum"},
    {Verdict::NoTail, "dropped: no tail within 100 bytes"},
    {Verdict::BytesBeforeHead, "dropped: bytes before a head"},
    {Verdict::QueueFull, "dropped: queue full"},
    {Verdict::BufferOverflow, "dropped: receive buffer overflow"},
};

std::string hexOf(const Bytes& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 3);
  for (std::uint8_t b : bytes) {
    if (!out.empty()) out += ' ';
    out += kDigits[b >> 4];
    out += kDigits[b & 0x0F];
  }
  return out;
}

}  // namespace

const char* directionName(TrafficDirection direction) {
  return direction == TrafficDirection::Sent ? "sent" : "received";
}

const char* verdictName(Verdict verdict) {
  for (const auto& v : kVerdicts)
    if (v.verdict == verdict) return v.name;
  return "";
}

Verdict verdictFor(DropReason reason) {
  static constexpr Verdict kByReason[kDropReasonCount] = {Verdict::BadChecksum, Verdict::NoTail,
                                                          Verdict::BytesBeforeHead, Verdict::QueueFull,
                                                          Verdict::BufferOverflow};
  return kByReason[static_cast<std::size_t>(reason)];
}

std::string commandName(TrafficDirection direction, const std::uint8_t* bytes, std::size_t size) {
  if (size <= frame_bytes::kCommandAt || bytes[0] != frame_bytes::kHead0 || bytes[1] != frame_bytes::kHead1)
    return "";
  for (const auto& c : kCommands) {
    if (c.command != bytes[frame_bytes::kCommandAt]) continue;
    const char* name = direction == TrafficDirection::Sent ? c.sent : c.received;
    if (name) return name;
  }
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%02X", bytes[frame_bytes::kCommandAt]);
  return buf;
}

bool TrafficFilter::matches(const TrafficRow& row) const {
  if (direction && *direction != row.direction) return false;
  if (!command.empty() && command != row.command) return false;
  switch (verdict) {
    case VerdictClass::Any:
      return true;
    case VerdictClass::Sent:
      return row.verdict == Verdict::Sent || row.verdict == Verdict::WriteFailed;
    case VerdictClass::Dispatched:
      return row.verdict == Verdict::Dispatched;
    case VerdictClass::Dropped:
      return row.direction == TrafficDirection::Received && row.dropped();
  }
  return true;
}

TrafficLog::TrafficLog(MillisClock nowMs, std::size_t maxRows)
    : clock_(std::move(nowMs)), maxRows_(maxRows == 0 ? 1 : maxRows) {}

void TrafficLog::onFrameAccepted(const std::uint8_t*, std::size_t) {
  badChecksumRow_.reset();
  ++counters_.framesReceived;
  counters_.lastValidFrameMs = clock_();
}

void TrafficLog::onFrameDispatched(const std::uint8_t* frame, std::size_t size) {
  badChecksumRow_.reset();
  ++counters_.framesDispatched;
  record(TrafficDirection::Received, frame, size, Verdict::Dispatched);
}

void TrafficLog::onDropped(DropReason reason, const std::uint8_t* bytes, std::size_t size) {
  auto r = static_cast<std::size_t>(reason);
  if (r >= kDropReasonCount) return;
  ++counters_.drops[r];
  counters_.dropBytes[r] += size;
  if (!bytes) size = 0;
  const auto badHead = badChecksumRow_;
  badChecksumRow_.reset();
  if (reason == DropReason::BytesBeforeHead && badHead) {
    const std::size_t moved = appendCandidateRest(*badHead, bytes, size);
    bytes += moved;
    size -= moved;
    if (size == 0) return;
  }
  record(TrafficDirection::Received, bytes, size, verdictFor(reason));
  if (reason == DropReason::BadChecksum && size == 1 && !paused_) badChecksumRow_ = rows_.back().seq;
}

// The receive path gives up a bad frame by its head byte alone and throws the rest away with
// the bytes before the next head. For the reader the row should hold the frame it rejected:
// the bytes up to the first tail go back to it; the counters keep what the receiver reported.
std::size_t TrafficLog::appendCandidateRest(std::uint64_t seq, const std::uint8_t* bytes, std::size_t size) {
  if (rows_.empty() || seq < rows_.front().seq || seq > rows_.back().seq) return 0;
  TrafficRow* row = &rows_[static_cast<std::size_t>(seq - rows_.front().seq)];
  if (row->bytes.size() != 1) return 0;
  std::size_t end = 0;
  // bytes[0] follows the head's AA, and a tail sits more than 2 bytes after that AA.
  for (std::size_t i = 2; i + 1 < size && i + 2 < kFrameBufferSize; ++i)
    if (bytes[i] == frame_bytes::kTail0 && bytes[i + 1] == frame_bytes::kTail1) {
      end = i + 2;
      break;
    }
  if (end == 0) return 0;
  row->bytes.insert(row->bytes.end(), bytes, bytes + end);
  row->length = row->bytes.size();
  row->command = commandName(row->direction, row->bytes.data(), row->bytes.size());
  return end;
}

void TrafficLog::onFrameSent(const Bytes& block, bool written) {
  badChecksumRow_.reset();
  if (written)
    ++counters_.framesSent;
  else
    ++counters_.writesFailed;
  record(TrafficDirection::Sent, block.data(), block.size(), written ? Verdict::Sent : Verdict::WriteFailed);
}

void TrafficLog::record(TrafficDirection direction, const std::uint8_t* bytes, std::size_t size,
                        Verdict verdict) {
  if (paused_) return;
  if (!bytes) size = 0;
  TrafficRow row;
  row.seq = nextSeq_++;
  row.timeMs = clock_();
  row.direction = direction;
  row.command = commandName(direction, bytes, size);
  row.length = size;
  row.bytes.assign(bytes, bytes + (size < kMaxRowBytes ? size : kMaxRowBytes));
  row.verdict = verdict;
  if (rows_.size() >= maxRows_) rows_.pop_front();
  rows_.push_back(std::move(row));
}

void TrafficLog::clearRows() {
  rows_.clear();
}

const TrafficRow* TrafficLog::rowBySeq(std::uint64_t seq) const {
  if (rows_.empty() || seq < rows_.front().seq || seq > rows_.back().seq) return nullptr;
  // Seqs are contiguous inside the deque unless rows were cleared, which empties it.
  return &rows_[static_cast<std::size_t>(seq - rows_.front().seq)];
}

std::optional<std::int64_t> TrafficLog::lastValidFrameAgeMs() const {
  if (!counters_.lastValidFrameMs) return std::nullopt;
  return clock_() - *counters_.lastValidFrameMs;
}

std::string formatRowText(const TrafficRow& row) {
  std::string line = std::to_string(row.timeMs);
  line += '\t';
  line += directionName(row.direction);
  line += '\t' + row.command + '\t' + std::to_string(row.length) + '\t' + rowHex(row) + '\t';
  line += verdictName(row.verdict);
  return line;
}

std::string rowHex(const TrafficRow& row) {
  std::string hex = hexOf(row.bytes);
  if (row.bytes.size() < row.length) hex += " ...";
  return hex;
}

std::vector<std::string> knownCommandNames() {
  std::vector<std::string> names;
  auto addOnce = [&](const char* name) {
    if (name && std::find(names.begin(), names.end(), name) == names.end()) names.emplace_back(name);
  };
  for (const auto& c : kCommands) addOnce(c.sent);
  for (const auto& c : kCommands) addOnce(c.received);
  return names;
}

std::string countersText(const TrafficCounters& c, std::optional<std::int64_t> lastValidAgeMs) {
  std::string text = "Sent: " + std::to_string(c.framesSent);
  if (c.writesFailed) text += " (" + std::to_string(c.writesFailed) + " failed)";
  text += "   Received: " + std::to_string(c.framesReceived);
  text += "   Dispatched: " + std::to_string(c.framesDispatched);
  static constexpr DropReason kReasons[] = {DropReason::BadChecksum, DropReason::NoTail,
                                            DropReason::BytesBeforeHead, DropReason::QueueFull,
                                            DropReason::BufferOverflow};
  for (DropReason r : kReasons) {
    std::string name = dropReasonName(r);
    name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    text += "   " + name + ": " + std::to_string(c.drop(r));
  }
  text += "   Last valid frame: ";
  if (!lastValidAgeMs) return text + "none yet";
  std::int64_t age = *lastValidAgeMs < 0 ? 0 : *lastValidAgeMs;
  return text + std::to_string(age / 1000) + "." + std::to_string(age % 1000 / 100) + " s ago";
}

void TrafficLog::writeText(std::ostream& out, const TrafficFilter& filter) const {
  out << "time (ms)\tdirection\tcommand\tlength\tbytes\tverdict\n";
  for (const auto& row : rows_)
    if (filter.matches(row)) out << formatRowText(row) << '\n';
}

}  // namespace orlo
