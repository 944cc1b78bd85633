#include "app/trend_recorder.h"

namespace orlo {

void TrendRecorder::onFrameDispatched(const std::uint8_t* frame, std::size_t size) {
  if (!frame || size < 3 || frame[2] != kLiveDataCommand) return;
  buffer_.add(decodeLiveSample(clock_(), FrameView(frame, size)));
}

}  // namespace orlo
