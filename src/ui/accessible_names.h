#pragma once
// Accessible names of a window's controls, worked out from its layout table alone so that a
// screen reader hears the same words a sighted user reads.

#include <map>
#include <string>

#include "app/form.h"
#include "app/layout_table.h"

namespace orlo::ui {

// Name by control id, for every control with an id: its label, else its caption or text; when
// that word occurs for more than one control of the window it is prefixed by the caption of
// the nearest enclosing group that has one.
std::map<int, std::string> accessibleNames(const LayoutTable& table);

// A lamp's name: its base name followed by the colour word of the icon it shows.
std::string lampAccessibleName(const std::string& baseName, Icon icon);

}  // namespace orlo::ui
