#include "view/layout_table.h"

#include <algorithm>
#include <cctype>
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

// Flags a control or a group may carry; "name=" takes any text, "span=" and "icon=" a number.
bool knownControlFlag(const std::string& flag) {
  static const std::set<std::string> plain = {"disabled", "checked", "digits", "signed",
                                              "center",   "above",   "wide",   "group-first"};
  if (plain.count(flag)) return true;
  for (const char* prefix : {"span=", "icon="}) {
    const std::string p = prefix;
    if (flag.compare(0, p.size(), p) == 0 && flag.size() > p.size() &&
        flag.find_first_not_of("0123456789", p.size()) == std::string::npos)
      return true;
  }
  return flag.compare(0, 5, "name=") == 0 && flag.size() > 5;
}

bool knownGroupFlag(const std::string& flag) {
  return flag == "plain";
}

// The columns of each record, after the record word; a row has exactly these.
const std::vector<std::string> kWindowColumns = {"name", "width", "height", "caption"};
const std::vector<std::string> kGroupColumns = {"key",     "parent",  "row",     "col",
                                                "rowspan", "colspan", "caption", "flags"};
const std::vector<std::string> kControlColumns = {"id",  "name",  "kind", "group", "row",
                                                  "col", "label", "text", "unit",  "flags"};

// A record's fields by column name.
class Row {
 public:
  Row(const std::vector<std::string>* columns, std::vector<std::string> fields)
      : columns_(columns), fields_(std::move(fields)) {}
  const std::string& operator[](const std::string& column) const {
    for (std::size_t i = 0; i < columns_->size(); ++i)
      if ((*columns_)[i] == column) return fields_[i + 1];
    static const std::string none;
    return none;
  }

 private:
  const std::vector<std::string>* columns_;
  std::vector<std::string> fields_;
};

std::string columnList(const std::string& record, const std::vector<std::string>& columns) {
  std::string text = record;
  for (const auto& c : columns) text += " | " + c;
  return text;
}

bool isName(const std::string& s) {
  if (s.empty() || !std::isupper(static_cast<unsigned char>(s[0]))) return false;
  return std::all_of(s.begin(), s.end(),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
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

class Parser {
 public:
  Parser(LayoutTable* out, std::string* error) : out_(out), error_(error) {}

  bool line(const std::string& raw, int number) {
    number_ = number;
    const std::string text = trim(raw);
    if (text.empty() || text[0] == '#') return true;
    auto f = splitFields(text);
    const std::vector<std::string>* columns = f[0] == "window"  ? &kWindowColumns
                                              : f[0] == "group" ? &kGroupColumns
                                              : f[0] == "ctrl"  ? &kControlColumns
                                                                : nullptr;
    if (!columns) return fail("unknown record '" + f[0] + "'");
    if (f.size() != columns->size() + 1)
      return fail("'" + f[0] + "' has " + std::to_string(f.size() - 1) + " columns, wants " +
                  std::to_string(columns->size()) + " (" + columnList(f[0], *columns) + ")");
    const std::string record = f[0];
    const Row row(columns, std::move(f));
    if (record == "window") return window(row);
    if (!sawWindow_) return fail("the first record must be 'window'");
    if (record == "group") return group(row);
    return control(row);
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

  bool window(const Row& f) {
    if (sawWindow_) return fail("a second 'window' record");
    LayoutWindow& w = out_->window;
    w.name = f["name"];
    if (!toInt(f["width"], &w.width) || !toInt(f["height"], &w.height)) return fail("bad window size");
    w.caption = f["caption"];
    sawWindow_ = true;
    return true;
  }

  bool group(const Row& f) {
    LayoutGroup g;
    g.key = f["key"];
    g.parent = f["parent"];
    if (g.key.empty() || g.key == "-") return fail("group without a key");
    if (out_->group(g.key)) return fail("group '" + g.key + "' defined twice");
    if (g.parent != "-" && !out_->group(g.parent))
      return fail("group '" + g.key + "': parent not defined yet");
    if (!toInt(f["row"], &g.row) || !toInt(f["col"], &g.col) || !toInt(f["rowspan"], &g.rowSpan) ||
        !toInt(f["colspan"], &g.colSpan))
      return fail("group '" + g.key + "': bad grid position");
    g.caption = f["caption"];
    g.flags = splitFlags(f["flags"]);
    for (const auto& flag : g.flags)
      if (!knownGroupFlag(flag)) return fail("group '" + g.key + "': unknown flag '" + flag + "'");
    out_->groups.push_back(g);
    return true;
  }

  bool control(const Row& f) {
    LayoutControl c;
    c.line = number_;
    if (!toInt(f["id"], &c.id)) return fail("bad control id '" + f["id"] + "'");
    c.name = f["name"];
    c.kind = f["kind"];
    if (!knownKinds().count(c.kind)) return fail("unknown kind '" + c.kind + "'");
    if (c.kind == "label") c.id = -1;
    // A control with an id is named as its window's ids header names it; a text without one is not.
    if (c.id == -1 ? c.name != "-" : !isName(c.name))
      return fail("control " + f["id"] + ": bad name '" + c.name + "' (" +
                  (c.id == -1 ? "'-' for a control without id" : "PascalCase letters and digits") + ")");
    if (c.id != -1 && out_->control(c.name)) return fail("control name '" + c.name + "' used twice");
    c.group = f["group"];
    if (c.group != "-" && !out_->group(c.group)) return fail("control " + f["id"] + ": unknown group");
    if (!toInt(f["row"], &c.row) || !toInt(f["col"], &c.col)) return fail("bad grid position");
    c.label = f["label"];
    c.text = f["text"];
    c.unit = f["unit"];
    c.flags = splitFlags(f["flags"]);
    for (const auto& flag : c.flags)
      if (!knownControlFlag(flag)) return fail("control " + f["id"] + ": unknown flag '" + flag + "'");
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

int LayoutControl::flagValue(const std::string& flagName, int fallback) const {
  const std::string prefix = flagName + "=";
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

const LayoutControl* LayoutTable::control(const std::string& name) const {
  for (const auto& c : controls)
    if (c.id != -1 && c.name == name) return &c;
  return nullptr;
}

const LayoutGroup* LayoutTable::group(const std::string& key) const {
  for (const auto& g : groups)
    if (g.key == key) return &g;
  return nullptr;
}

Result<LayoutTable> parseLayout(const std::string& text) {
  LayoutTable table;
  std::string error;
  Parser parser(&table, &error);
  std::istringstream in(text);
  std::string raw;
  int number = 0;
  while (std::getline(in, raw)) {
    if (!parser.line(raw, ++number)) return fail(error);
  }
  if (!parser.finish()) return fail(error);
  return table;
}

Result<LayoutTable> loadLayoutFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return fail("cannot open " + path);
  std::ostringstream text;
  text << in.rdbuf();
  Result<LayoutTable> table = parseLayout(text.str());
  if (!table) return fail(path + ": " + table.error());
  return table;
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
