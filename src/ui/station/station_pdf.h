#pragma once
// A board's station report as a PDF (Qt's own writer): recipe, board, every step with its
// values and limits, the calibration's coefficients and errors, the parameters written, result.

#include <string>

#include "core/station_report.h"
#include "util/result.h"

namespace orlo::ui {

// False with *error when the file could not be written whole.
Status writeStationPdf(const BoardReport& report, const std::string& path);

}  // namespace orlo::ui
