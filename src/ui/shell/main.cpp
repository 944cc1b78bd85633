// Orlo_PC: host tool for a battery pack's BMS.

#include <csignal>

#include "ui/shell/app_run.h"

int main(int argc, char** argv) {
  // Past a file-size limit a write then fails with EFBIG, which the data log, the trace and the
  // screenshot report and recover from, instead of the whole tool dying mid-row.
  std::signal(SIGXFSZ, SIG_IGN);
  return orlo::ui::runOrloPc(argc, argv);
}
