#pragma once
// What happened while the window ran, in order and with the local time: alarm flags, MOSFETs,
// the system mode, the link, the port and the parameter writes. The newest events stay in
// memory for the Events window; the same lines go into a file per day (DailyEventFile).
//
//   time,kind,event
//   2026-12-07T14:15:03+01:00,Alarm,Cell OV on

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <deque>
#include <string>

namespace orlo {

enum class EventKind { Alarm, Mosfet, Mode, Link, Port, Write };
inline constexpr EventKind kEventKinds[] = {EventKind::Alarm, EventKind::Mosfet, EventKind::Mode,
                                            EventKind::Link,  EventKind::Port,   EventKind::Write};
// The kind as the Events window and the files name it ("Alarm", "MOSFET", ...).
const char* eventKindName(EventKind kind);

struct LoggedEvent {
  std::tm time{};
  EventKind kind = EventKind::Alarm;
  std::string text;
};

// "2026-12-07T14:15:03+01:00": the offset from tm_gmtoff, so a file read in another zone or
// after a change of summer time still places each line.
std::string isoTimeWithOffset(const std::tm& time);
// The header line and one event's line, each with its CR LF, UTF-8 and CSV-quoted as needed.
std::string eventCsvHeader();
std::string eventCsvLine(const LoggedEvent& event);

// Keeps the newest `capacity` events; a night of a flapping alarm must not grow without end.
class EventLog {
 public:
  static constexpr std::size_t kDefaultCapacity = 10000;
  explicit EventLog(std::size_t capacity = kDefaultCapacity) : capacity_(capacity == 0 ? 1 : capacity) {}

  // True when the oldest event went to make room.
  bool add(LoggedEvent event);
  std::size_t size() const { return events_.size(); }
  // 0 is the oldest kept.
  const LoggedEvent& at(std::size_t index) const { return events_.at(index); }
  std::size_t capacity() const { return capacity_; }
  std::uint64_t dropped() const { return dropped_; }

 private:
  std::size_t capacity_;
  std::deque<LoggedEvent> events_;
  std::uint64_t dropped_ = 0;
};

}  // namespace orlo
