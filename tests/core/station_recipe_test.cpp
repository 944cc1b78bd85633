// The recipe reader: every problem names the file and the line, and a good recipe's values,
// defaults and relative paths come out as written.

#include <gtest/gtest.h>

#include "core/station_recipe.h"
#include "support/scratch_files.h"

namespace orlo {
namespace {

using test::ScratchDir;
using test::writeFile;

TEST(StationRecipe, everyProblemNamesTheFileAndTheLine) {
  ScratchDir dir("orlo-recipe");
  struct Case {
    const char* text;
    const char* error;  // after "PATH:"
  };
  const Case cases[] = {
      {"name = \"a\"\n[rest]\ncell_mv = [4200, 3000]\n", "3: rest.cell_mv: low is above high"},
      {"[rest]\nspread = 50\n", "2: unknown key 'rest.spread'"},
      {"[rest]\ntemp_c = [5, \"45\"]\n", "2: rest.temp_c: expected a whole number -40 ... 125"},
      {"[rest]\nalarms_clear = [19]\n", "2: rest.alarms_clear: expected a whole number 1 ... 18"},
      {"\n[balance]\nwait_s = 0\n", "3: balance.wait_s: expected a number 0.1 ... 600"},
      {"[balance]\ncondition = { threshold_mv = 3400, difference_mv = 0, release_mv = 3350 }\n",
       "2: balance.condition.difference_mv: expected a whole number 1 ... 255"},
      {"[calibration]\ndischarge_ma = [1000, 2000, 3000, 4000, 5000]\n",
       "2: calibration.discharge_ma: expected a list of at most 4 whole numbers"},
      {"on_failure = \"retry\"\n", "1: on_failure: expected \"stop\" or \"continue\""},
      {"rest = 5\n", "1: rest: expected a table [rest]"},
      {"name = \"a\"\nname = \"b\"\n", "2: "},  // the TOML reader's own words follow
  };
  for (const Case& c : cases) {
    writeFile(dir.file("r.toml"), c.text);
    const RecipeLoad loaded = loadRecipe(dir.file("r.toml"));
    EXPECT_FALSE(loaded.recipe) << c.text;
    EXPECT_EQ(loaded.error.rfind(dir.file("r.toml") + ":" + c.error, 0), 0u) << c.text << "\n"
                                                                             << loaded.error;
  }
  EXPECT_NE(loadRecipe(dir.file("none.toml")).error.find(dir.file("none.toml")), std::string::npos);
}

TEST(StationRecipe, valuesDefaultsAndRelativePathsComeOutAsWritten) {
  ScratchDir dir("orlo-recipe");
  writeFile(dir.file("r.toml"),
            "record_dir = \"out\"\non_failure = \"continue\"\n[rest]\nalarms_clear = [1, 18]\ncurrent_a = 1\n"
            "[balance]\ncells = [4, 2]\nwait_s = 1.5\n[calibration]\ncharge_ma = [5000]\n");
  const RecipeLoad loaded = loadRecipe(dir.file("r.toml"));
  ASSERT_TRUE(loaded.recipe) << loaded.error;
  const Recipe& r = *loaded.recipe;
  EXPECT_EQ(r.name, "r.toml");
  EXPECT_EQ(r.recordDir, dir.file("out"));
  EXPECT_FALSE(r.stopOnFailure);
  EXPECT_EQ(r.rest.alarmMask, (1u << 0) | (1u << 17));
  EXPECT_EQ(r.rest.currentA, 1.0);
  EXPECT_EQ(r.rest.cellMinMv, 2500) << "a limit not given keeps its default";
  EXPECT_EQ(r.balance.cells, (std::vector<int>{4, 2}));
  EXPECT_EQ(r.balance.waitMs, 1500);
  ASSERT_TRUE(r.calibration);
  EXPECT_TRUE(r.calibration->dischargeMa.empty());
  EXPECT_EQ(r.calibration->chargeMa, (std::vector<std::int32_t>{5000}));
  EXPECT_TRUE(r.parametersPath.empty());
  EXPECT_EQ(r.sha256.size(), 64u);
}

}  // namespace
}  // namespace orlo
