#pragma once
// Turns what the main window sees into events: the pack's own changes (the same detector the
// headless monitor publishes from), the link status check's verdicts, the port opening,
// closing and going away, and each protection parameter write with its outcome. Every event
// goes to the in-memory log, to the day's file and to a listener (the Events window, the
// window title, desktop notices).

#include <string>
#include <vector>

#include "app/daily_event_file.h"
#include "app/event_log.h"
#include "core/pack_events.h"
#include "core/write_record.h"
#include "util/clock.h"

namespace orlo {

class EventListener {
 public:
  virtual ~EventListener() = default;
  virtual void onEvent(const LoggedEvent& /*event*/) {}
  // `active`: every alarm flag now set, in the order they rose; `raised`: the flag that just
  // rose ("" when one fell).
  virtual void onAlarmsChanged(const std::vector<std::string>& /*active*/, const std::string& /*raised*/) {}
  // The day's file could not take an event; said once until a write succeeds again.
  virtual void onFileProblem(const std::string& /*problem*/) {}
};

class EventRecorder {
 public:
  // `folder`: where the daily files go; "" keeps the events in memory only.
  EventRecorder(const Clock& clock, std::string folder, std::size_t capacity = EventLog::kDefaultCapacity);

  void setListener(EventListener* listener) { listener_ = listener; }

  void onLiveData(const LiveData& live);
  // The link status check's verdict: "Comm OK!" (true) or "Comm FAIL!".
  void onLinkVerdict(bool commOk);
  void onPortOpened(int portNumber, const std::string& device, bool byItself);
  void onPortClosedByUser(int portNumber, const std::string& device);
  void onPortLost(int portNumber, const std::string& device, const std::string& reason);
  void onParameterWrite(const WriteEntry& entry);

  const EventLog& log() const { return log_; }
  const std::vector<std::string>& activeAlarms() const { return activeAlarms_; }
  // Why the last event did not reach its file ("" when it did, or when there is no folder).
  const std::string& fileProblem() const { return fileProblem_; }
  std::string todaysFile() const;

 private:
  void add(EventKind kind, std::string text);
  void addPackEvent(const PackEvent& event);
  void noteAlarm(const std::string& name, bool on);

  const Clock& clock_;
  std::string folder_;
  DailyEventFile file_;
  EventLog log_;
  PackEventDetector detector_;
  std::vector<std::string> activeAlarms_;
  bool linkEverUp_ = false;
  std::string fileProblem_;
  EventListener* listener_ = nullptr;
};

// The main window's title: the caption alone, or "Orlo_PC — alarm: Cell OV, Pack UV".
std::string alarmWindowTitle(const std::string& caption, const std::vector<std::string>& activeAlarms);

}  // namespace orlo
