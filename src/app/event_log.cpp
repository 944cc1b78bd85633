#include "app/event_log.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "core/write_record.h"
#include "util/platform.h"
#include "util/text_format.h"

namespace orlo {

const char* eventKindName(EventKind kind) {
  switch (kind) {
    case EventKind::Alarm:
      return "Alarm";
    case EventKind::Mosfet:
      return "MOSFET";
    case EventKind::Mode:
      return "Mode";
    case EventKind::Link:
      return "Link";
    case EventKind::Port:
      return "Port";
    case EventKind::Write:
      return "Write";
  }
  return "";
}

std::string isoTimeWithOffset(const std::tm& time) {
  char stamp[32];
  const std::size_t n = std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &time);
  return std::string(stamp, n) + isoZoneText(utcOffsetSeconds(time));
}

std::string eventCsvHeader() {
  return "time,kind,event\r\n";
}

std::string eventCsvLine(const LoggedEvent& event) {
  return isoTimeWithOffset(event.time) + "," + eventKindName(event.kind) + "," + csvField(event.text) +
         "\r\n";
}

bool EventLog::add(LoggedEvent event) {
  const bool full = events_.size() >= capacity_;
  if (full) {
    events_.pop_front();
    ++dropped_;
  }
  events_.push_back(std::move(event));
  return full;
}

}  // namespace orlo
