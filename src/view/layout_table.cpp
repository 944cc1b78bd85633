#include "view/layout_table.h"

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>

namespace orlo {
namespace {

const std::set<std::string>& knownKinds() {
  static const std::set<std::string> kinds = {"edit",  "readonly",   "static", "button", "check", "radio",
                                              "combo", "combo-edit", "lamp",   "tabs",   "label"};
  return kinds;
}

std::string trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  const auto last = s.find_last_not_of(" \t\r");
  return s.substr(first, last - first + 1);
}

std::vector<std::string> splitFields(const std::string& line) {
  std::vector<std::string> fields;
  std::string field;
  std::istringstream in(line);
  while (std::getline(in, field, '|')) fields.push_back(trim(field));
  if (!line.empty() && line.back() == '|') fields.emplace_back();
  return fields;
}

bool toInt(const std::string& s, int* out) {
  if (s.empty()) return false;
  std::size_t used = 0;
  try {
    *out = std::stoi(s, &used);
  } catch (...) {
    return false;
  }
  return used == s.size();
}

std::vector<std::string> splitFlags(const std::string& s) {
  std::vector<std::string> flags;
  for (const auto& f : splitItems(s, ',')) {
    const auto t = trim(f);
    if (!t.empty()) flags.push_back(t);
  }
  return flags;
}

std::string field(const std::vector<std::string>& f, std::size_t i) {
  return i < f.size() ? f[i] : "";
}

class Parser {
 public:
  Parser(LayoutTable* out, std::string* error) : out_(out), error_(error) {}

  bool line(const std::string& raw, int number) {
    number_ = number;
    const std::string text = trim(raw);
    if (text.empty() || text[0] == '#') return true;
    const auto f = splitFields(text);
    if (f[0] == "window") return window(f);
    if (!sawWindow_) return fail("the first record must be 'window'");
    if (f[0] == "group") return group(f);
    if (f[0] == "ctrl") return control(f);
    return fail("unknown record '" + f[0] + "'");
  }

  bool finish() {
    if (!sawWindow_) return fail("no 'window' record");
    for (const auto& g : out_->groups) {
      if (g.parent != "-" && !out_->group(g.parent)) return fail("group '" + g.key + "' has unknown parent");
    }
    return true;
  }

 private:
  bool fail(const std::string& why) {
    if (error_) *error_ = "line " + std::to_string(number_) + ": " + why;
    return false;
  }

  bool window(const std::vector<std::string>& f) {
    if (sawWindow_) return fail("a second 'window' record");
    LayoutWindow& w = out_->window;
    w.name = field(f, 1);
    if (!toInt(field(f, 2), &w.width) || !toInt(field(f, 3), &w.height)) return fail("bad window size");
    w.caption = field(f, 4);
    sawWindow_ = true;
    return true;
  }

  bool group(const std::vector<std::string>& f) {
    LayoutGroup g;
    g.key = field(f, 1);
    g.parent = field(f, 2);
    if (g.key.empty() || g.key == "-") return fail("group without a key");
    if (out_->group(g.key)) return fail("group '" + g.key + "' defined twice");
    if (g.parent != "-" && !out_->group(g.parent))
      return fail("group '" + g.key + "': parent not defined yet");
    if (!toInt(field(f, 3), &g.row) || !toInt(field(f, 4), &g.col) || !toInt(field(f, 5), &g.rowSpan) ||
        !toInt(field(f, 6), &g.colSpan))
      return fail("group '" + g.key + "': bad grid position");
    g.caption = field(f, 7);
    g.flags = splitFlags(field(f, 8));
    out_->groups.push_back(g);
    return true;
  }

  bool control(const std::vector<std::string>& f) {
    LayoutControl c;
    c.line = number_;
    if (!toInt(field(f, 1), &c.id)) return fail("bad control id '" + field(f, 1) + "'");
    c.kind = field(f, 2);
    if (!knownKinds().count(c.kind)) return fail("unknown kind '" + c.kind + "'");
    c.group = field(f, 3);
    if (c.group != "-" && !out_->group(c.group)) return fail("control " + field(f, 1) + ": unknown group");
    if (!toInt(field(f, 4), &c.row) || !toInt(field(f, 5), &c.col)) return fail("bad grid position");
    c.label = field(f, 6);
    c.text = field(f, 7);
    c.unit = field(f, 8);
    c.flags = splitFlags(field(f, 9));
    if (c.kind == "label") c.id = -1;
    if (c.id != -1 && out_->control(c.id)) return fail("control id " + std::to_string(c.id) + " used twice");
    out_->controls.push_back(c);
    return true;
  }

  LayoutTable* out_;
  std::string* error_;
  int number_ = 0;
  bool sawWindow_ = false;
};

}  // namespace

bool LayoutGroup::hasFlag(const std::string& flag) const {
  return std::find(flags.begin(), flags.end(), flag) != flags.end();
}

bool LayoutControl::hasFlag(const std::string& flag) const {
  return std::find(flags.begin(), flags.end(), flag) != flags.end();
}

int LayoutControl::flagValue(const std::string& name, int fallback) const {
  const std::string prefix = name + "=";
  for (const auto& f : flags) {
    int value = 0;
    if (f.compare(0, prefix.size(), prefix) == 0 && toInt(f.substr(prefix.size()), &value)) return value;
  }
  return fallback;
}

const LayoutControl* LayoutTable::control(int id) const {
  if (id == -1) return nullptr;
  for (const auto& c : controls)
    if (c.id == id) return &c;
  return nullptr;
}

const LayoutGroup* LayoutTable::group(const std::string& key) const {
  for (const auto& g : groups)
    if (g.key == key) return &g;
  return nullptr;
}

bool parseLayout(const std::string& text, LayoutTable* out, std::string* error) {
  *out = LayoutTable{};
  Parser parser(out, error);
  std::istringstream in(text);
  std::string raw;
  int number = 0;
  while (std::getline(in, raw)) {
    if (!parser.line(raw, ++number)) return false;
  }
  return parser.finish();
}

bool loadLayoutFile(const std::string& path, LayoutTable* out, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = "cannot open " + path;
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (!parseLayout(text.str(), out, error)) {
    if (error) *error = path + ": " + *error;
    return false;
  }
  return true;
}

std::vector<std::string> splitItems(const std::string& text, char separator) {
  std::vector<std::string> items;
  if (text.empty()) return items;
  std::string item;
  std::istringstream in(text);
  while (std::getline(in, item, separator)) items.push_back(item);
  if (text.back() == separator) items.emplace_back();
  return items;
}

}  // namespace orlo
