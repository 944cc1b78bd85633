#pragma once
// Where a time axis puts its ticks: on round steps (every 10 s on a minute, every 4 h on a day,
// every week on a month), few enough that their labels stay apart. Trends and the recorded log
// window step alike.

#include <cstdint>

namespace orlo {

// The smallest round step, in milliseconds, that cuts `spanMs` into at most `maxTicks` whole
// steps (a `maxTicks` under 1 counts as 1); the largest step, 30 days, when none does.
std::int64_t timeTickStepMs(std::int64_t spanMs, int maxTicks);

}  // namespace orlo
