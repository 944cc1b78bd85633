// Orlo_PC: host tool for a battery pack's BMS.

#include "ui/app_run.h"

int main(int argc, char** argv) {
  return orlo::ui::runOrloPc(argc, argv);
}
