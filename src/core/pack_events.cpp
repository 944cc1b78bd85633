#include "core/pack_events.h"

namespace orlo {

std::vector<PackEvent> PackEventDetector::onLiveData(const LiveData& data) {
  std::vector<PackEvent> events;
  for (std::size_t n = 1; n <= kAlarmFlagCount && data.alarmFlags != alarmFlags_; ++n) {
    const bool was = (alarmFlags_ >> (n - 1)) & 1u;
    if (data.alarm(n) == was) continue;
    PackEvent e;
    e.kind = PackEvent::Kind::Alarm;
    e.name = std::string(alarmName(n));
    e.on = data.alarm(n);
    events.push_back(e);
  }
  alarmFlags_ = data.alarmFlags;

  // A code the board does not use says nothing about the MOSFETs, so the last known state stays.
  if (const std::optional<MosState> mos = decodeMosStatus(data.mosStatus)) {
    const bool changed = mos_ && (mos_->discharge != mos->discharge || mos_->charge != mos->charge);
    if (changed) {
      PackEvent e;
      e.kind = PackEvent::Kind::Mos;
      e.mos = *mos;
      events.push_back(e);
    }
    mos_ = mos;
  }

  const std::string_view text = systemModeText(data.systemMode);
  if (!text.empty() && text != modeText_) {
    if (!modeText_.empty()) {
      PackEvent e;
      e.kind = PackEvent::Kind::Mode;
      e.name = std::string(text);
      e.previous = modeText_;
      events.push_back(e);
    }
    modeText_ = std::string(text);
  }
  return events;
}

std::vector<PackEvent> PackEventDetector::onLink(bool up) {
  if (linkUp_ == up) return {};
  linkUp_ = up;
  PackEvent e;
  e.kind = PackEvent::Kind::Link;
  e.on = up;
  return {e};
}

}  // namespace orlo
