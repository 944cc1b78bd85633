#pragma once
// Where the alarm parameter template is found. A tool started from the desktop menu runs in an
// arbitrary folder, so the installed copy stands in when the working folder has none.

#include <string>

namespace orlo::ui {

// The installed data folder, found from this program's own folder (bin/ beside share/), so
// that a tree unpacked anywhere finds its files as well as one installed under /usr.
std::string installedDataFolder();

// The working folder when it holds the template, else the installed data folder when that
// does; else the working folder, with a note on standard error (saving will then say that the
// template is missing).
std::string alarmTemplateFolder(const std::string& workingFolder);

}  // namespace orlo::ui
