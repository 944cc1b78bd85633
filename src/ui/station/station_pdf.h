#pragma once
// A board's station report as a PDF (Qt's own writer): recipe, board, every step with its
// values and limits, the calibration's coefficients and errors, the parameters written, result.

#include <string>

#include "core/station_report.h"

namespace orlo::ui {

// False with *error when the file could not be written whole.
bool writeStationPdf(const BoardReport& report, const std::string& path, std::string* error);

}  // namespace orlo::ui
