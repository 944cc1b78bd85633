#include <array>

#include "link/frame_bytes.h"
#include "link/receiver.h"

namespace orlo {

namespace {

using namespace frame_bytes;

constexpr std::size_t kBalanceFlagsOffset = 75;

using Route = void (*)(const FrameView&, FrameHandlers&);

struct RouteEntry {
  std::uint8_t command;
  Route route;
};

void liveData(const FrameView& f, FrameHandlers& h) {
  h.updateLiveData(f);
  h.updateBalanceLamps(f.u16(kBalanceFlagsOffset));
  h.headerFill(f);
}
void readResult(const FrameView& f, FrameHandlers& h) {
  h.onReadResult(f);
}
void setAcknowledge(const FrameView&, FrameHandlers& h) {
  h.onSetAcknowledge();
}
void balance(const FrameView& f, FrameHandlers& h) {
  if (f.u8(kSubCommandAt) == kBalanceRead) h.showBalanceCondition(f);
}
void calibration(const FrameView& f, FrameHandlers& h) {
  h.onCalibrationResult(f);
}

constexpr std::array<RouteEntry, 5> kRoutes{{
    {kLiveData, liveData},
    {kAlarmSet, readResult},
    {kSetAcknowledge, setAcknowledge},
    {kBalance, balance},
    {kCalibrationResult, calibration},
}};

}  // namespace

void dispatchFrame(const FrameView& frame, FrameHandlers& handlers) {
  const std::uint8_t command = frame.u8(kCommandAt);
  for (const auto& entry : kRoutes) {
    if (entry.command == command) return entry.route(frame, handlers);
  }
  // Whatever else answers the poll is read with the live data offsets.
  handlers.headerFill(frame);
}

}  // namespace orlo
