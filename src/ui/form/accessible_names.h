#pragma once
// Accessible names of a window's controls, worked out from its layout table alone so that a
// screen reader hears the same words a sighted user reads.

#include <map>
#include <string>

#include "view/form.h"
#include "view/layout_table.h"

namespace orlo::ui {

// Name by control id, for every control with an id: its label, else its `name=` flag, else its
// caption or text; when that word occurs for more than one control of the window it is prefixed
// by the caption of the nearest enclosing group that has one. `captions` holds the captions
// shown now where they differ from the table's (a button that reads "Stop" after "Start Up").
std::map<int, std::string> accessibleNames(const LayoutTable& table,
                                           const std::map<int, std::string>& captions = {});

// Whether a control's name is its caption, so that it must follow every caption set at run time:
// buttons, check boxes, radio buttons and static texts with neither label nor name of their own.
bool nameFollowsCaption(const LayoutControl& control);

// A lamp's name: its base name followed by the colour word of the icon it shows.
std::string lampAccessibleName(const std::string& baseName, Icon icon);

}  // namespace orlo::ui
