#pragma once
// `orlo-bms station`: the end-of-line station on one or more boards at once, each on its own
// device and schedule, in one poll loop on this thread. The recipe is read and checked before
// any device is opened, so a bad recipe sends nothing.

#include "headless/command_line.h"

namespace orlo::headless {

enum StationExit {
  kStationPassed = 0,
  kStationFailed = 1,    // a board failed, or its record could not be written
  kStationBadInput = 2,  // recipe or options refused: nothing sent
  kStationNoDevice = 4,  // a device could not be opened, or its board did not answer
};

int runStation(const StationOptions& options);

}  // namespace orlo::headless
