#pragma once
// What changed on a pack between two looks at it: an alarm flag rising or falling, a MOSFET
// switching, the system mode changing, the link going down or coming back. The headless
// monitor publishes these; the window can show the same list.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/answers.h"

namespace orlo {

struct PackEvent {
  enum class Kind { Alarm, Mos, Mode, Link };
  Kind kind = Kind::Alarm;
  std::string name;      // Alarm: the lamp label ("Cell OV"); Mode: the new mode text
  std::string previous;  // Mode: the mode text before, empty when none was known
  bool on = false;       // Alarm: flag set; Link: link up
  MosState mos;          // Mos: both MOSFETs after the change
};

// Feed it every live data frame and every link status change of one pack, in order.
class PackEventDetector {
 public:
  // The first frame is the baseline for MOSFETs and mode; its set alarm flags count as rising,
  // since nobody has been told about them yet.
  std::vector<PackEvent> onLiveData(const LiveData& data);
  // Repeated reports of the same status are no change.
  std::vector<PackEvent> onLink(bool up);

  // The last mode text the board reported, kept over frames whose mode byte has none.
  const std::string& modeText() const { return modeText_; }
  // The last MOSFET state the board reported in a known code.
  const std::optional<MosState>& mos() const { return mos_; }

 private:
  std::uint32_t alarmFlags_ = 0;
  std::optional<MosState> mos_;
  std::string modeText_;
  std::optional<bool> linkUp_;
};

}  // namespace orlo
