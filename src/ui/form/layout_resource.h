#pragma once
// The layout tables compiled into the program (resources/layouts), so it runs from anywhere.

#include <string>

#include "view/layout_table.h"

namespace orlo::ui {

// Reads resources/layouts/<name>.layout from the compiled-in resources; false with a reason.
bool loadLayoutResource(const std::string& name, LayoutTable* out, std::string* error);

}  // namespace orlo::ui
