#pragma once
// A window's layout table (resources/layouts/FORMAT.md): window, groups and controls.

#include <string>
#include <vector>

#include "util/result.h"
#include "view/control_ids.h"

namespace orlo {

struct LayoutWindow {
  std::string name;
  int width = 0;
  int height = 0;
  std::string caption;
};

struct LayoutGroup {
  std::string key;
  std::string parent;  // "-" for the window itself
  int row = 0;
  int col = 0;
  int rowSpan = 1;
  int colSpan = 1;
  std::string caption;
  std::vector<std::string> flags;
  bool hasFlag(const std::string& flag) const;
};

struct LayoutControl {
  int id = -1;
  std::string name;  // the enumerator of the window's typed id ("-" for a text without id)
  std::string kind;
  std::string group;  // "-" for the window itself
  int row = 0;
  int col = 0;
  std::string label;
  std::string text;
  std::string unit;
  std::vector<std::string> flags;
  int line = 0;  // line in the file, for messages
  bool hasFlag(const std::string& flag) const;
  // Value of a "name=value" flag, or fallback.
  int flagValue(const std::string& flagName, int fallback) const;
};

struct LayoutTable {
  LayoutWindow window;
  std::vector<LayoutGroup> groups;
  std::vector<LayoutControl> controls;

  const LayoutControl* control(int id) const;  // nullptr for -1 or an unknown id
  template <class Id, class = std::enable_if_t<kIsControlId<Id>>>
  const LayoutControl* control(Id id) const {
    return control(idNumber(id));
  }
  const LayoutControl* control(const std::string& name) const;  // by name; nullptr for none
  const LayoutGroup* group(const std::string& key) const;
};

// Parses a table. On a malformed table (unknown record, kind or flag, a row with too few or
// too many columns, a bad or repeated id or name) the error says why, with the line.
Result<LayoutTable> parseLayout(const std::string& text);
Result<LayoutTable> loadLayoutFile(const std::string& path);

// Splits "a;b;c" into its parts (combo items, tab captions).
std::vector<std::string> splitItems(const std::string& text, char separator = ';');

}  // namespace orlo
