#pragma once
// `orlo-bms alert test --config FILE`: one test notice to every [[notify]] channel of the file,
// each sent once; says which worked. Exit status 0 all sent, 1 some failed, 2 bad config.

#include <string>

namespace orlo::headless {

int runAlertTest(const std::string& configFile);

}  // namespace orlo::headless
