#include <array>

#include "link/frame_bytes.h"
#include "link/receiver.h"

namespace orlo {

namespace {

using namespace frame_bytes;

using Route = void (*)(const FrameView&, FrameHandlers&);

struct RouteEntry {
  std::uint8_t command;
  Route route;
};

void liveData(const FrameView& f, FrameHandlers& h) {
  h.onLiveData(decodeLiveData(f));
}
void alarmParameters(const FrameView& f, FrameHandlers& h) {
  h.onAlarmParameters(f);
}
void setAcknowledge(const FrameView&, FrameHandlers& h) {
  h.onSetAcknowledge();
}
void balance(const FrameView& f, FrameHandlers& h) {
  if (const auto condition = decodeBalanceCondition(f)) h.onBalanceCondition(*condition);
}
void calibration(const FrameView& f, FrameHandlers& h) {
  h.onCalibrationResult(decodeCalibrationResult(f));
}

constexpr std::array<RouteEntry, 5> kRoutes{{
    {kLiveData, liveData},
    {kAlarmSet, alarmParameters},
    {kSetAcknowledge, setAcknowledge},
    {kBalance, balance},
    {kCalibrationResult, calibration},
}};

}  // namespace

void dispatchFrame(const FrameView& frame, FrameHandlers& handlers) {
  handlers.onFrame(frame);
  const std::uint8_t command = frame.u8(kCommandAt);
  for (const auto& entry : kRoutes) {
    if (entry.command == command) return entry.route(frame, handlers);
  }
  handlers.onOtherFrame(decodeLiveData(frame));
}

}  // namespace orlo
