#pragma once
// The layout tables compiled into the program (resources/layouts), so it runs from anywhere.

#include <string>

#include "view/layout_table.h"

namespace orlo::ui {

// Reads resources/layouts/<name>.layout from the compiled-in resources; false with a reason.
Result<LayoutTable> loadLayoutResource(const std::string& name);

}  // namespace orlo::ui
