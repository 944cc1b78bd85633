#pragma once
// `orlo-bms params read|write|diff`: one parameter session on one device, driven by a poll loop
// on this thread until its operation ends. Files are checked before the device is touched, so
// bad input never reaches the board.

#include "headless/command_line.h"

namespace orlo::headless {

enum ParamsExit {
  kParamsDone = 0,      // read, written and verified, or no difference
  kParamsDiffer = 1,    // diff found differences
  kParamsBadInput = 2,  // options or file refused (or the snapshot not kept): nothing written
  kParamsReadBackDiffers = 3,
  kParamsNoAnswer = 4,  // no answer, or the device could not be opened or went away
};

// Runs the action; returns the exit status.
int runParams(const ParamsOptions& options);

}  // namespace orlo::headless
