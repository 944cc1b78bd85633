#pragma once
// An end-of-line station's recipe: what to check on a board at rest, which cells to balance,
// which calibration points to take, which protection parameters to write, where the records go.
// Read from a TOML file; every problem names the file and the line, and a recipe with a problem
// is never used, so nothing reaches a board while it is bad. Relative paths in it are taken
// from the recipe's own folder.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orlo {

struct RestLimits {
  int cellMinMv = 2500;
  int cellMaxMv = 3650;
  int spreadMv = 100;
  int tempMinC = 0;
  int tempMaxC = 50;
  double currentA = 0.5;
  std::uint32_t alarmMask = (1u << 18) - 1;  // alarm n is bit n-1; these must be clear
};

struct BalanceConditionSetting {
  std::uint16_t thresholdMv = 0;
  std::uint8_t differenceMv = 0;  // 1 ... 255, as the balance page accepts it
  std::uint16_t releaseMv = 0;
};

struct BalancePlan {
  std::vector<int> cells{1, 2, 3, 4};  // each 1 ... 4, the cells a manual request can name
  int waitMs = 3000;
  std::optional<BalanceConditionSetting> condition;
};

struct CalibrationPlan {
  std::vector<std::int32_t> dischargeMa;  // reference of points 1 ... n, n <= 4
  std::vector<std::int32_t> chargeMa;
  double maxError = 0.02;  // largest acceptable Error Evaluation
};

struct Recipe {
  std::string path;
  std::string name;
  std::string sha256;                        // of the file's bytes, lowercase hex
  std::string parametersPath;                // "" for none
  std::vector<std::string> parameterValues;  // the 44 checked values when parametersPath is set
  bool stopOnFailure = true;
  std::string recordDir;
  RestLimits rest;
  BalancePlan balance;
  std::optional<CalibrationPlan> calibration;  // none: no calibration step

  bool needsOperator() const { return calibration.has_value(); }
};

// Files larger than this are no recipe; refused unread.
constexpr std::size_t kRecipeMaxBytes = 256 * 1024;

// The recipe at `path`, or in `error` "FILE:LINE: what is wrong" (FILE alone when no line
// applies). (Not Result<Recipe>: util/result.h's Status would clash with the alarm page's id
// of that name, which this header's users see.)
struct RecipeLoad {
  std::optional<Recipe> recipe;
  std::string error;
};
RecipeLoad loadRecipe(const std::string& path);

// SHA-256 of `bytes`, lowercase hex.
std::string sha256Hex(const std::string& bytes);

}  // namespace orlo
