#include <array>

#include "link/receiver.h"

namespace orlo {

namespace {

constexpr std::size_t kCommandOffset = 2;
constexpr std::size_t kSubCommandOffset = 6;
constexpr std::size_t kBalanceFlagsOffset = 75;
constexpr std::uint8_t kBalanceConditionSub = 0x0E;

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
  if (f.u8(kSubCommandOffset) == kBalanceConditionSub) h.showBalanceCondition(f);
}
void calibration(const FrameView& f, FrameHandlers& h) {
  h.onCalibrationResult(f);
}

constexpr std::array<RouteEntry, 5> kRoutes{{
    {0x4D, liveData},
    {0x47, readResult},
    {0x48, setAcknowledge},
    {0x18, balance},
    {0x15, calibration},
}};

}  // namespace

void dispatchFrame(const FrameView& frame, FrameHandlers& handlers) {
  const std::uint8_t command = frame.u8(kCommandOffset);
  for (const auto& entry : kRoutes) {
    if (entry.command == command) return entry.route(frame, handlers);
  }
  // Whatever else answers the poll is read with the live data offsets.
  handlers.headerFill(frame);
}

}  // namespace orlo
