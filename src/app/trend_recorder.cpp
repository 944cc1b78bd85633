#include "app/trend_recorder.h"

namespace orlo {

void TrendRecorder::onFrameDispatched(const std::uint8_t* frame, std::size_t size) {
  if (!frame || size <= frame_bytes::kCommandAt || frame[frame_bytes::kCommandAt] != kLiveDataCommand) return;
  buffer_.add(trendSample(clock_(), decodeLiveData(FrameView(frame, size))));
}

}  // namespace orlo
