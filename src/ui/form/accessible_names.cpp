#include "ui/form/accessible_names.h"

namespace orlo::ui {
namespace {

// The text of a "name=..." flag, or "".
std::string nameFlag(const LayoutControl& c) {
  static const std::string prefix = "name=";
  for (const auto& f : c.flags)
    if (f.compare(0, prefix.size(), prefix) == 0) return f.substr(prefix.size());
  return {};
}

std::string ownName(const LayoutControl& c, const std::map<int, std::string>& captions) {
  if (!c.label.empty()) return c.label;
  if (std::string named = nameFlag(c); !named.empty()) return named;
  // A tab control's text lists its tabs; it is read as a tab list, not by its items.
  if (c.kind == "tabs" || c.kind == "combo" || c.kind == "combo-edit") return {};
  auto shown = captions.find(c.id);
  return shown == captions.end() ? c.text : shown->second;
}

std::string enclosingCaption(const LayoutTable& table, std::string key) {
  // A group's parent is always defined before it, so this walk ends at the window.
  for (int depth = 0; key != "-" && depth < 64; ++depth) {
    const LayoutGroup* g = table.group(key);
    if (!g) break;
    if (!g->caption.empty()) return g->caption;
    key = g->parent;
  }
  return {};
}

}  // namespace

std::map<int, std::string> accessibleNames(const LayoutTable& table,
                                           const std::map<int, std::string>& captions) {
  std::map<std::string, int> uses;
  for (const auto& c : table.controls) {
    if (c.id != -1) ++uses[ownName(c, captions)];
  }
  std::map<int, std::string> names;
  for (const auto& c : table.controls) {
    if (c.id == -1) continue;
    std::string name = ownName(c, captions);
    if (!name.empty() && uses[name] > 1) {
      const std::string prefix = enclosingCaption(table, c.group);
      if (!prefix.empty()) name = prefix + " " + name;
    }
    names[c.id] = name;
  }
  return names;
}

bool nameFollowsCaption(const LayoutControl& c) {
  const bool captioned = c.kind == "button" || c.kind == "check" || c.kind == "radio" || c.kind == "static";
  return captioned && c.id != -1 && c.label.empty() && nameFlag(c).empty();
}

std::string lampAccessibleName(const std::string& baseName, Icon icon) {
  const std::string colour = iconColourWord(icon);
  if (colour.empty()) return baseName;
  if (baseName.empty()) return colour;
  return baseName + " " + colour;
}

}  // namespace orlo::ui
