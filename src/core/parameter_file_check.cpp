#include "core/parameter_file_check.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "core/alarm_parameter_record.h"
#include "util/platform.h"

namespace orlo {
namespace {

// Enough of a line to recognise it; control bytes shown as '?' so a message stays one line.
std::string quoted(const std::string& text) {
  constexpr std::size_t kShown = 40;
  std::size_t cut = std::min(text.size(), kShown);
  while (cut > 0 && cut < text.size() && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  std::string shown = text.substr(0, cut);
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return "\"" + shown + (cut < text.size() ? "...\"" : "\"");
}

std::vector<std::string> splitLines(const std::string& content) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < content.size()) {
    std::size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    std::string line = content.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  // Blank lines after the last row carry nothing and are often added by editors.
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

ParameterFileCheck refuse(std::size_t line, std::string problem) {
  ParameterFileCheck check;
  check.line = line;
  check.problem = std::move(problem);
  return check;
}

// The problem of one line, or "" when it is right; *value gets its value field.
std::string checkLine(const AlarmParameterRow& row, const std::string& line, std::string* value) {
  const std::string label = row.fileLabel;  // with its comma
  if (line.compare(0, label.size(), label) != 0)
    return "expected the row \"" + label.substr(0, label.size() - 1) + "\", found " + quoted(line);
  const auto comma = line.find(',', label.size());
  if (comma == std::string::npos) return "no unit field after the value in " + quoted(line);
  *value = line.substr(label.size(), comma - label.size());
  const std::string unit = line.substr(comma + 1);
  if (unit != row.fileUnit)
    return std::string("the unit of \"") + row.label + "\" must be \"" + row.fileUnit + "\", found " +
           quoted(unit);
  if (!row.sent) return {};
  if (!acceptedValue(row, *value)) {
    const AcceptedRange range = acceptedRange(row);
    return label.substr(0, label.size() - 1) + " must be a whole number from " + std::to_string(range.min) +
           " to " + std::to_string(range.max) + ", found " + quoted(*value);
  }
  return {};
}

}  // namespace

std::string ParameterFileCheck::message() const {
  if (line == 0) return problem;
  return "Line " + std::to_string(line) + ": " + problem;
}

ParameterFileCheck checkParameterText(const std::string& content) {
  const auto& record = alarmParameterRecord();
  const std::vector<std::string> lines = splitLines(content);
  if (lines.size() != record.size())
    return refuse(0, "a parameter file has " + std::to_string(record.size()) + " lines, this one has " +
                         std::to_string(lines.size()));
  ParameterFileCheck check;
  for (std::size_t i = 0; i < record.size(); ++i) {
    std::string value;
    const std::string problem = checkLine(record[i], lines[i], &value);
    if (!problem.empty()) return refuse(i + 1, problem);
    check.values.push_back(std::move(value));
  }
  return check;
}

ParameterFileCheck readParameterFile(const std::string& path) {
  if (pathKind(path) != PathKind::File) return refuse(0, "\"" + path + "\" is not a file that can be read");
  std::ifstream in(path, std::ios::binary);
  std::string content;
  char buffer[4096];
  while (in && content.size() <= kParameterFileMaxBytes) {
    in.read(buffer, sizeof buffer);
    content.append(buffer, static_cast<std::size_t>(in.gcount()));
  }
  if (in.bad() || !in.is_open()) return refuse(0, "could not read \"" + path + "\"");
  if (content.size() > kParameterFileMaxBytes)
    return refuse(0, "\"" + path + "\" is far too large for a parameter file");
  return checkParameterText(content);
}

}  // namespace orlo
