#include "core/station_recipe.h"

#include <openssl/evp.h>

#include <toml++/toml.h>
#include <cmath>
#include <cstdio>
#include <set>

#include "core/parameter_file_check.h"
#include "core/snapshot_store.h"
#include "util/platform.h"

namespace orlo {
namespace {

// Reads one recipe, keeping the first problem met with its line.
class RecipeReader {
 public:
  explicit RecipeReader(std::string path) : path_(std::move(path)) {}

  bool bad(const toml::node& node, const std::string& what) { return bad(node.source(), what); }
  bool bad(const toml::source_region& where, const std::string& what) {
    if (error_.empty()) error_ = path_ + ":" + std::to_string(where.begin.line) + ": " + what;
    return false;
  }
  const std::string& error() const { return error_; }
  const std::string& path() const { return path_; }

  // Every key of `table` must be one of `known`: a misspelt limit must not pass as no limit.
  bool onlyKeys(const toml::table& table, const std::string& where, std::set<std::string> known) {
    for (const auto& [key, node] : table) {
      if (known.count(std::string(key.str())) == 0)
        return bad(node, "unknown key '" + where + std::string(key.str()) + "'");
    }
    return true;
  }

  bool integer(const toml::node& node, const std::string& key, std::int64_t low, std::int64_t high,
               std::int64_t* out) {
    const auto* value = node.as_integer();
    if (value == nullptr || value->get() < low || value->get() > high)
      return bad(node,
                 key + ": expected a whole number " + std::to_string(low) + " ... " + std::to_string(high));
    *out = value->get();
    return true;
  }

  bool number(const toml::node& node, const std::string& key, double low, double high, double* out) {
    std::optional<double> value = node.value<double>();
    if (!value || !std::isfinite(*value) || *value < low || *value > high)
      return bad(node, key + ": expected a number " + trimmed(low) + " ... " + trimmed(high));
    *out = *value;
    return true;
  }

  bool range(const toml::node& node, const std::string& key, std::int64_t low, std::int64_t high, int* from,
             int* to) {
    const auto* array = node.as_array();
    std::int64_t a = 0;
    std::int64_t b = 0;
    if (array == nullptr || array->size() != 2)
      return bad(node, key + ": expected [low, high], two whole numbers");
    if (!integer(*array->get(0), key, low, high, &a) || !integer(*array->get(1), key, low, high, &b))
      return false;
    if (a > b) return bad(node, key + ": low is above high");
    *from = static_cast<int>(a);
    *to = static_cast<int>(b);
    return true;
  }

  bool list(const toml::node& node, const std::string& key, std::size_t most, std::int64_t low,
            std::int64_t high, std::vector<std::int64_t>* out) {
    const auto* array = node.as_array();
    if (array == nullptr || array->size() > most)
      return bad(node, key + ": expected a list of at most " + std::to_string(most) + " whole numbers");
    for (const toml::node& item : *array) {
      std::int64_t v = 0;
      if (!integer(item, key, low, high, &v)) return false;
      out->push_back(v);
    }
    return true;
  }

  std::string text(const toml::node& node, const std::string& key, bool* ok) {
    const auto* value = node.as_string();
    if (value == nullptr || value->get().empty()) {
      *ok = bad(node, key + ": expected a text");
      return {};
    }
    return value->get();
  }

  // A path in the recipe, taken from the recipe's folder when relative.
  std::string pathFromRecipe(const std::string& text) const {
    if (!text.empty() && text[0] == '/') return text;
    const std::size_t slash = path_.rfind('/');
    return slash == std::string::npos ? text : path_.substr(0, slash + 1) + text;
  }

 private:
  static std::string trimmed(double v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", v);
    return buffer;
  }

  std::string path_;
  std::string error_;
};

bool readAlarms(RecipeReader& r, const toml::node& node, std::uint32_t* mask) {
  if (const auto* all = node.as_boolean()) {
    *mask = all->get() ? (1u << 18) - 1 : 0;
    return true;
  }
  std::vector<std::int64_t> alarms;
  if (!r.list(node, "rest.alarms_clear", 18, 1, 18, &alarms))
    return r.bad(node, "rest.alarms_clear: expected true, false or a list of alarm numbers 1 ... 18");
  *mask = 0;
  for (std::int64_t n : alarms) *mask |= 1u << (n - 1);
  return true;
}

bool readRest(RecipeReader& r, const toml::table& t, RestLimits* rest) {
  if (!r.onlyKeys(t, "rest.", {"cell_mv", "spread_mv", "temp_c", "current_a", "alarms_clear"})) return false;
  std::int64_t spread = rest->spreadMv;
  bool ok = true;
  if (const auto* n = t.get("cell_mv"))
    ok = ok && r.range(*n, "rest.cell_mv", 0, 65535, &rest->cellMinMv, &rest->cellMaxMv);
  if (const auto* n = t.get("spread_mv")) ok = ok && r.integer(*n, "rest.spread_mv", 0, 65535, &spread);
  if (const auto* n = t.get("temp_c"))
    ok = ok && r.range(*n, "rest.temp_c", -40, 125, &rest->tempMinC, &rest->tempMaxC);
  if (const auto* n = t.get("current_a")) ok = ok && r.number(*n, "rest.current_a", 0, 1000, &rest->currentA);
  if (const auto* n = t.get("alarms_clear")) ok = ok && readAlarms(r, *n, &rest->alarmMask);
  rest->spreadMv = static_cast<int>(spread);
  return ok;
}

bool readCondition(RecipeReader& r, const toml::node& node, BalancePlan* plan) {
  const auto* t = node.as_table();
  if (t == nullptr)
    return r.bad(node, "balance.condition: expected { threshold_mv, difference_mv, release_mv }");
  if (!r.onlyKeys(*t, "balance.condition.", {"threshold_mv", "difference_mv", "release_mv"})) return false;
  std::int64_t v[3] = {};
  const char* keys[3] = {"threshold_mv", "difference_mv", "release_mv"};
  const std::int64_t highs[3] = {65535, 255, 65535};
  for (int i = 0; i < 3; ++i) {
    const auto* n = t->get(keys[i]);
    if (n == nullptr) return r.bad(node, std::string("balance.condition: ") + keys[i] + " is missing");
    // The balance page refuses a difference of 0; so does the recipe.
    if (!r.integer(*n, std::string("balance.condition.") + keys[i], i == 1 ? 1 : 0, highs[i], &v[i]))
      return false;
  }
  plan->condition = BalanceConditionSetting{static_cast<std::uint16_t>(v[0]), static_cast<std::uint8_t>(v[1]),
                                            static_cast<std::uint16_t>(v[2])};
  return true;
}

bool readBalance(RecipeReader& r, const toml::table& t, BalancePlan* plan) {
  if (!r.onlyKeys(t, "balance.", {"cells", "wait_s", "condition"})) return false;
  if (const auto* n = t.get("cells")) {
    std::vector<std::int64_t> cells;
    if (!r.list(*n, "balance.cells", 4, 1, 4, &cells)) return false;
    plan->cells.assign(cells.begin(), cells.end());
  }
  if (const auto* n = t.get("wait_s")) {
    double seconds = 0;
    if (!r.number(*n, "balance.wait_s", 0.1, 600, &seconds)) return false;
    plan->waitMs = static_cast<int>(std::lround(seconds * 1000));
  }
  if (const auto* n = t.get("condition")) return readCondition(r, *n, plan);
  return true;
}

bool readCalibration(RecipeReader& r, const toml::table& t, std::optional<CalibrationPlan>* out) {
  if (!r.onlyKeys(t, "calibration.", {"discharge_ma", "charge_ma", "max_error"})) return false;
  CalibrationPlan plan;
  std::vector<std::int64_t> discharge;
  std::vector<std::int64_t> charge;
  // A point request carries a 32-bit reference; the board's currents stay far below 2^31 mA.
  if (const auto* n = t.get("discharge_ma");
      n && !r.list(*n, "calibration.discharge_ma", 4, 1, 1000000, &discharge))
    return false;
  if (const auto* n = t.get("charge_ma"); n && !r.list(*n, "calibration.charge_ma", 4, 1, 1000000, &charge))
    return false;
  if (const auto* n = t.get("max_error");
      n && !r.number(*n, "calibration.max_error", 0, 1000, &plan.maxError))
    return false;
  plan.dischargeMa.assign(discharge.begin(), discharge.end());
  plan.chargeMa.assign(charge.begin(), charge.end());
  if (!plan.dischargeMa.empty() || !plan.chargeMa.empty()) *out = plan;
  return true;
}

bool readParameters(RecipeReader& r, const toml::node& node, Recipe* recipe) {
  bool ok = true;
  const std::string file = r.text(node, "parameters", &ok);
  if (!ok) return false;
  recipe->parametersPath = r.pathFromRecipe(file);
  // The same strict check as the Parameters menu applies before anything is sent.
  const ParameterFileCheck check = readParameterFile(recipe->parametersPath);
  if (!check.ok()) return r.bad(node, "parameters: " + recipe->parametersPath + ": " + check.message());
  recipe->parameterValues = check.values;
  return true;
}

bool readTop(RecipeReader& r, const toml::table& t, Recipe* recipe) {
  if (!r.onlyKeys(t, "",
                  {"name", "parameters", "on_failure", "record_dir", "rest", "balance", "calibration"}))
    return false;
  bool ok = true;
  if (const auto* n = t.get("name")) recipe->name = r.text(*n, "name", &ok);
  if (const auto* n = t.get("record_dir"))
    recipe->recordDir = r.pathFromRecipe(r.text(*n, "record_dir", &ok));
  if (const auto* n = t.get("on_failure"); ok && n) {
    const std::string mode = r.text(*n, "on_failure", &ok);
    if (ok && mode != "stop" && mode != "continue")
      ok = r.bad(*n, "on_failure: expected \"stop\" or \"continue\"");
    recipe->stopOnFailure = mode == "stop";
  }
  const char* sections[] = {"rest", "balance", "calibration"};
  for (const char* section : sections) {
    const auto* n = t.get(section);
    if (ok && n && !n->is_table())
      ok = r.bad(*n, std::string(section) + ": expected a table [" + section + "]");
  }
  if (ok && t.get("rest")) ok = readRest(r, *t.get_as<toml::table>("rest"), &recipe->rest);
  if (ok && t.get("balance")) ok = readBalance(r, *t.get_as<toml::table>("balance"), &recipe->balance);
  if (ok && t.get("calibration"))
    ok = readCalibration(r, *t.get_as<toml::table>("calibration"), &recipe->calibration);
  if (ok && t.get("parameters")) ok = readParameters(r, *t.get("parameters"), recipe);
  return ok;
}

}  // namespace

std::string sha256Hex(const std::string& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr) != 1) return {};
  std::string hex;
  char pair[3];
  for (unsigned int i = 0; i < size; ++i) {
    std::snprintf(pair, sizeof pair, "%02x", digest[i]);
    hex += pair;
  }
  return hex;
}

RecipeLoad loadRecipe(const std::string& path) {
  const Result<std::string> read = readSmallFile(path, kRecipeMaxBytes);
  if (!read) return {std::nullopt, read.error()};
  const std::string& content = *read;
  RecipeReader reader(path);
  Recipe recipe;
  recipe.path = path;
  recipe.sha256 = sha256Hex(content);
  recipe.recordDir = orloDataFolder() + "/station";
  try {
    const toml::table table = toml::parse(content, path);
    if (!readTop(reader, table, &recipe)) return {std::nullopt, reader.error()};
  } catch (const toml::parse_error& e) {
    return {std::nullopt,
            path + ":" + std::to_string(e.source().begin.line) + ": " + std::string(e.description())};
  }
  if (recipe.name.empty()) {
    const std::size_t slash = path.rfind('/');
    recipe.name = slash == std::string::npos ? path : path.substr(slash + 1);
  }
  return {recipe, {}};
}

}  // namespace orlo
