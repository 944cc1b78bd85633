#pragma once
// Reads a parameter file for sending to the board, strictly: exactly 44 lines
// "label,value,unit" in record order, each label and unit those of its row, each value one whole
// number inside its field's range (the ID's, never sent, may hold anything without a comma).
// The page's own loader is lenient on purpose; this one names the first line it cannot take.

#include <optional>
#include <string>
#include <vector>

namespace orlo {

struct ParameterFileCheck {
  std::vector<std::string> values;  // the 44 value fields, in record order, when accepted
  std::size_t line = 0;             // 1-based line of the problem; 0 for the file as a whole
  std::string problem;              // empty when accepted

  bool ok() const { return problem.empty(); }
  // "Line 7: ..." or the problem alone, for the user.
  std::string message() const;
};

// Files much larger than 44 short lines are not parameter files; they are refused unread.
constexpr std::size_t kParameterFileMaxBytes = 64 * 1024;

ParameterFileCheck checkParameterText(const std::string& content);
ParameterFileCheck readParameterFile(const std::string& path);

}  // namespace orlo
