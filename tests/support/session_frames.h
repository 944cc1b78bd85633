#pragma once
// The owner's part of a parameter session: the board's alarm parameter answers and Set
// acknowledges go to the session, every other frame is dropped.

#include "core/parameter_session.h"
#include "support/ignore_frames.h"

namespace orlo::test {

struct SessionFrames : IgnoreFrames {
  explicit SessionFrames(ParameterSession& s) : session(s) {}
  void onAlarmParameters(const FrameView& answer) override { session.onAlarmParameters(answer); }
  void onSetAcknowledge() override { session.onSetAcknowledge(); }
  ParameterSession& session;
};

}  // namespace orlo::test
