#pragma once
// `orlo-bms monitor`: every pack and the broker connection in one poll loop on one thread,
// woken by bytes from a device, by a due poll, reopen or
// link check, by the broker's (re)connection and by SIGTERM/SIGINT.

#include "headless/monitor_settings.h"

namespace orlo::headless {

// Runs until SIGTERM or SIGINT; returns the exit status.
int runMonitor(const MonitorSettings& settings);

}  // namespace orlo::headless
