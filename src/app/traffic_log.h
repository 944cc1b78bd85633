#pragma once
// What crossed the line, frame by frame, for the Traffic window: every block written and every
// byte string the receive path judged, with its verdict, bounded to the newest rows; and the
// running counters, which keep counting while the row capture is paused.

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "link/receive_observer.h"
#include "link/serial_control.h"

namespace orlo {

enum class TrafficDirection { Sent, Received };

enum class Verdict {
  Sent,
  WriteFailed,
  Dispatched,
  BadChecksum,
  NoTail,
  BytesBeforeHead,
  QueueFull,
  BufferOverflow
};
constexpr std::size_t kDropReasonCount = 5;

const char* directionName(TrafficDirection direction);
const char* verdictName(Verdict verdict);
Verdict verdictFor(DropReason reason);
// "Poll", "Live data", ...; "" when the bytes carry no head; "0x5A" for a command no one uses.
std::string commandName(TrafficDirection direction, const std::uint8_t* bytes, std::size_t size);

struct TrafficRow {
  std::uint64_t seq = 0;  // increases by one per row ever recorded, across evictions
  std::int64_t timeMs = 0;
  TrafficDirection direction = TrafficDirection::Received;
  std::string command;
  std::size_t length = 0;  // of the whole byte string, even when `bytes` holds less
  Bytes bytes;
  Verdict verdict = Verdict::Dispatched;
  bool dropped() const { return verdict != Verdict::Sent && verdict != Verdict::Dispatched; }
};

struct TrafficFilter {
  enum class VerdictClass { Any, Sent, Dispatched, Dropped };
  std::optional<TrafficDirection> direction;
  std::string command;  // "" = any
  VerdictClass verdict = VerdictClass::Any;
  bool matches(const TrafficRow& row) const;
};

struct TrafficCounters {
  std::uint64_t framesSent = 0;
  std::uint64_t writesFailed = 0;
  std::uint64_t framesReceived = 0;  // validated and queued
  std::uint64_t framesDispatched = 0;
  std::array<std::uint64_t, kDropReasonCount> drops{};      // events, by DropReason
  std::array<std::uint64_t, kDropReasonCount> dropBytes{};  // bytes thrown away, by DropReason
  std::optional<std::int64_t> lastValidFrameMs;
  std::uint64_t drop(DropReason r) const { return drops[static_cast<std::size_t>(r)]; }
};

class TrafficLog : public ReceiveObserver {
 public:
  static constexpr std::size_t kMaxRows = 10000;
  // Noise can arrive a receive buffer at a time; a row keeps only this many of its bytes.
  static constexpr std::size_t kMaxRowBytes = 1024;
  using MillisClock = std::function<std::int64_t()>;

  explicit TrafficLog(MillisClock nowMs, std::size_t maxRows = kMaxRows);

  // ReceiveObserver.
  void onFrameAccepted(const std::uint8_t* frame, std::size_t size) override;
  void onFrameDispatched(const std::uint8_t* frame, std::size_t size) override;
  void onDropped(DropReason reason, const std::uint8_t* bytes, std::size_t size) override;
  // Called by the tap for each block it passed to the port.
  void onFrameSent(const Bytes& block, bool written);

  void setPaused(bool paused) { paused_ = paused; }
  bool paused() const { return paused_; }
  void clearRows();

  const std::deque<TrafficRow>& rows() const { return rows_; }
  // seq of the next row to be recorded; rows().front().seq is the oldest held.
  std::uint64_t nextSeq() const { return nextSeq_; }
  const TrafficRow* rowBySeq(std::uint64_t seq) const;

  const TrafficCounters& counters() const { return counters_; }
  // Milliseconds since the last validated frame, or nothing when none came yet.
  std::optional<std::int64_t> lastValidFrameAgeMs() const;
  std::int64_t nowMs() const { return clock_(); }

  // Tab-separated text: a header, then every row that passes the filter.
  void writeText(std::ostream& out, const TrafficFilter& filter) const;

 private:
  void record(TrafficDirection direction, const std::uint8_t* bytes, std::size_t size, Verdict verdict);
  std::size_t appendCandidateRest(std::uint64_t seq, const std::uint8_t* bytes, std::size_t size);

  MillisClock clock_;
  std::size_t maxRows_;
  std::deque<TrafficRow> rows_;
  std::uint64_t nextSeq_ = 0;
  TrafficCounters counters_;
  bool paused_ = false;
  std::optional<std::uint64_t> badChecksumRow_;  // a one-byte bad checksum row just recorded
};

// One row as a line of the saved text, tab-separated, without the line end.
std::string formatRowText(const TrafficRow& row);
// "AA 55 06 ...", with " ..." when the row holds fewer bytes than the string had.
std::string rowHex(const TrafficRow& row);
// Every command name a row can carry, for the command filter.
std::vector<std::string> knownCommandNames();
// The counters as one line of text, e.g. for the top of the Traffic window.
std::string countersText(const TrafficCounters& counters, std::optional<std::int64_t> lastValidAgeMs);

}  // namespace orlo
