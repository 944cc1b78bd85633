#pragma once
// SIGINT and SIGTERM end the program the ordinary way (window closed, --stats printed) instead
// of killing it mid-run: the handler only writes a byte that the event loop picks up.

namespace orlo::ui {

void quitOnSignals();

}  // namespace orlo::ui
