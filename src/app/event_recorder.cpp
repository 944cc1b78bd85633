#include "app/event_recorder.h"

#include <algorithm>
#include <utility>

namespace orlo {
namespace {

std::string onOff(bool on) {
  return on ? "on" : "off";
}

std::string mosText(const MosState& mos) {
  return "discharge MOSFET " + onOff(mos.discharge) + ", charge MOSFET " + onOff(mos.charge);
}

// "COM1 (/dev/ttyUSB0)"
std::string portText(int portNumber, const std::string& device) {
  return "COM" + std::to_string(portNumber) + (device.empty() ? "" : " (" + device + ")");
}

}  // namespace

EventRecorder::EventRecorder(const Clock& clock, std::string folder, std::size_t capacity)
    : clock_(clock), folder_(std::move(folder)), file_(folder_), log_(capacity) {}

std::string EventRecorder::todaysFile() const {
  return folder_.empty() ? std::string() : file_.pathFor(clock_.localNow());
}

void EventRecorder::onLiveData(const LiveData& live) {
  for (const PackEvent& event : detector_.onLiveData(live)) addPackEvent(event);
}

// The first verdicts after start-up say nothing was lost: there was no link yet.
void EventRecorder::onLinkVerdict(bool commOk) {
  if (!commOk && !linkEverUp_) return;
  for (const PackEvent& event : detector_.onLink(commOk)) addPackEvent(event);
}

void EventRecorder::onPortOpened(int portNumber, const std::string& device, bool byItself) {
  add(EventKind::Port, portText(portNumber, device) + (byItself ? " reopened by itself" : " opened"));
}

void EventRecorder::onPortClosedByUser(int portNumber, const std::string& device) {
  add(EventKind::Port, portText(portNumber, device) + " closed by the user");
}

void EventRecorder::onPortLost(int portNumber, const std::string& device, const std::string& reason) {
  add(EventKind::Port, portText(portNumber, device) + " lost: " + reason);
}

void EventRecorder::onParameterWrite(const WriteEntry& entry) {
  const std::string changes = changesText(entry.changes);
  add(EventKind::Write,
      "Parameter write " + (changes.empty() ? std::string("(no change)") : changes) + ": " + entry.outcome);
}

void EventRecorder::addPackEvent(const PackEvent& event) {
  switch (event.kind) {
    case PackEvent::Kind::Alarm:
      add(EventKind::Alarm, event.name + " " + onOff(event.on));
      noteAlarm(event.name, event.on);
      break;
    case PackEvent::Kind::Mos:
      add(EventKind::Mosfet, mosText(event.mos));
      break;
    case PackEvent::Kind::Mode:
      add(EventKind::Mode, event.name + " (was " + event.previous + ")");
      break;
    case PackEvent::Kind::Link:
      if (event.on) {
        add(EventKind::Link, linkEverUp_ ? "Link restored (Comm OK!)" : "Link up (Comm OK!)");
        linkEverUp_ = true;
      } else {
        add(EventKind::Link, "Link lost (Comm FAIL!)");
      }
      break;
  }
}

void EventRecorder::noteAlarm(const std::string& name, bool on) {
  const auto at = std::find(activeAlarms_.begin(), activeAlarms_.end(), name);
  if (on && at == activeAlarms_.end()) activeAlarms_.push_back(name);
  if (!on && at != activeAlarms_.end()) activeAlarms_.erase(at);
  if (listener_) listener_->onAlarmsChanged(activeAlarms_, on ? name : std::string());
}

void EventRecorder::add(EventKind kind, std::string text) {
  LoggedEvent event{clock_.localNow(), kind, std::move(text)};
  if (!folder_.empty()) {
    const Status written = file_.append(event);
    if (written) {
      fileProblem_.clear();
    } else if (fileProblem_.empty()) {
      fileProblem_ = written.error().empty() ? "the events file could not be written" : written.error();
      if (listener_) listener_->onFileProblem(fileProblem_);
    }
  }
  log_.add(event);
  if (listener_) listener_->onEvent(log_.at(log_.size() - 1));
}

std::string alarmWindowTitle(const std::string& caption, const std::vector<std::string>& activeAlarms) {
  if (activeAlarms.empty()) return caption;
  std::string title = caption + " — alarm: ";
  for (std::size_t i = 0; i < activeAlarms.size(); ++i) title += (i ? ", " : "") + activeAlarms[i];
  return title;
}

}  // namespace orlo
