// The alert rules of the monitor's config: what the parser refuses (naming file and line), and
// one run in simulated time over two packs that crosses every rule's hold-off, clear level,
// repeat limit and link loss, checking each notice's exact words.

#include <gtest/gtest.h>

#include "core/alert_config.h"
#include "core/alert_engine.h"

namespace orlo {
namespace {

using std::chrono::seconds;

AlertConfig parseConfig(const std::string& text, std::string& error) {
  AlertConfig config;
  const toml::table table = toml::parse(text, std::string("site.toml"));
  if (const toml::node* rules = table.get("alert"))
    error = parseAlertRules(*rules, "site.toml", config.rules);
  if (const toml::node* channels = table.get("notify"); channels && error.empty())
    error = parseNotifyChannels(*channels, "site.toml", config.channels);
  return config;
}

TEST(AlertConfig, refusesWhatCannotWorkNamingFileAndLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"[[alert]]\nname='a'\nwatch='volts'\nabove=1",
       "site.toml:3: alert watch 'volts' is not one of cell_mv"},
      {"[[alert]]\nname='a'\nwatch='cell_mv'", "site.toml:1: alert 'a' needs above = ... or below = ..."},
      {"[[alert]]\nname='a'\nwatch='cell_mv'\nabove=1\nbelow=2",
       "site.toml:5: alert below is a second limit"},
      {"[[alert]]\nname='a'\nwatch='cell_mv'\nabove=3650\nclear=3700",
       "site.toml:1: alert 'a': clear must be"},
      {"[[alert]]\nname='a'\nwatch='cell_mv'\nabove=1\ncell=5",
       "site.toml:1: alert 'a': the pack has no cell 5"},
      {"[[alert]]\nname='a'\nwatch='soc_pct'\nbelow=1\ncell=1",
       "site.toml:1: alert 'a': cell is for cell_mv"},
      {"[[alert]]\nname='a'\nwatch='alarm'\nlabel='Cell XX'", "no alarm lamp is labelled 'Cell XX'"},
      {"[[alert]]\nname='a'\nwatch='alarm'\nabove=1", "watches an alarm flag: it takes no above"},
      {"[[alert]]\nname='a'\nwatch='soc_pct'\nbelow=1\nfor_s=-1", "site.toml:5: alert for_s must be a whole"},
      {"[[alert]]\nname='a'\nwatch='soc_pct'\nbelow=1\ncolour=2",
       "site.toml:5: unknown key 'colour' in [[alert]]"},
      {"[[alert]]\nname='a'\nwatch='soc_pct'\nbelow='x'", "site.toml:4: alert below must be a number"},
      {"alert = 3", "site.toml:1: write each alert as a [[alert]] table"},
      {"[[notify]]\nurl='http://x'", "site.toml:1: notify needs kind = ntfy, webhook, email"},
      {"[[notify]]\nkind='webhook'\nurl='ftp://x'", "site.toml:1: notify needs url = \"http[s]://...\""},
      {"[[notify]]\nkind='email'\nurl='smtp://x'\nto=['a@b']", "notify an email channel needs from and to"},
      {"[[notify]]\nkind='webhook'\nurl='http://x'\nheaders={'A'=\"1\\n2\"}",
       "site.toml:4: notify headers 'A'"},
  };
  for (const auto& [text, message] : cases) {
    std::string error;
    parseConfig(text, error);
    EXPECT_NE(error.find(message), std::string::npos) << text << "\n gave: " << error;
  }
  std::string error;
  const AlertConfig ok =
      parseConfig("[[alert]]\nname='a'\nwatch='cell_mv'\nabove=3650\npacks=['x']\n", error);
  EXPECT_EQ(error, "");
  EXPECT_EQ(checkAlertPacks(ok.rules, {"house-1"}), "alert 'a' names pack 'x', which is not among the packs");
}

constexpr const char* kRules = R"(
[[alert]]
name = "cell high"
watch = "cell_mv"
above = 3650
clear = 3600
for_s = 30
cell = 3
packs = ["house-1"]
repeat_min = 30
[[alert]]
name = "discharge"
watch = "discharge_a"
above = 20
packs = ["house-1"]
[[alert]]
name = "soc low"
watch = "soc_pct"
below = 20
clear = 25
packs = ["house-1"]
[[alert]]
name = "over voltage"
watch = "alarm"
label = "Cell OV"
severity = "critical"
[[alert]]
name = "link"
watch = "link_lost_s"
above = 60
)";

struct Step {
  int second;
  const char* pack;  // nullptr: only the clock ticks
  int cell3Mv;
  int currentMa;  // discharge positive, as the board sends it
  int soc;
  bool cellOv;
  std::vector<std::string> notices;
};

TEST(AlertEngine, holdOffClearRepeatAndLinkInSimulatedTime) {
  std::string error;
  AlertConfig config = parseConfig(kRules, error);
  ASSERT_EQ(error, "");
  const AlertEngine::Time start{};
  AlertEngine engine(config.rules, {"house-1", "shed"}, start);
  const Step steps[] = {
      {0, "house-1", 3712, 0, 50, false, {}},   // hold-off starts
      {10, "house-1", 3640, 0, 50, false, {}},  // under the limit: hold-off starts over
      {20, "house-1", 3712, 0, 50, false, {}},
      {49, "house-1", 3712, 0, 50, false, {}},
      {50, "house-1", 3712, 0, 50, false, {"house-1: cell 3 at 3712 mV, above 3650 mV for 30 s"}},
      {51, "house-1", 3620, 0, 50, false, {}},  // between limit and clear: still firing
      {52, "house-1", 3590, 0, 50, false, {"house-1: cell 3 back at 3590 mV"}},
      {53,
       "house-1",
       3300,
       20009,
       18,
       true,
       {"house-1: discharge current at 20.009 A, above 20 A", "house-1: SOC at 18 %, below 20 %",
        "house-1: alarm Cell OV on"}},
      {54,
       "house-1",
       3300,
       20000,
       22,
       false,
       {"house-1: discharge current back at 20 A", "house-1: alarm Cell OV off"}},
      {55, "house-1", 3300, -1500, 25, false, {"house-1: SOC back at 25 %"}},
      {60, nullptr, 0, 0, 0, false, {"shed: link lost for 60 s"}},
      {61, "shed", 3300, 0, 50, true, {"shed: link back", "shed: alarm Cell OV on"}},
      // Fires again within the repeat period: silent, and so is its clearing.
      {70, "house-1", 3700, 0, 50, false, {}},
      {100, "house-1", 3700, 0, 50, false, {}},
      {101, "house-1", 3500, 0, 50, false, {}},
      {1900, "house-1", 3700, 0, 50, false, {}},
      {1930, "house-1", 3701, 0, 50, false, {"house-1: cell 3 at 3701 mV, above 3650 mV for 30 s"}},
      {1931, nullptr, 0, 0, 0, false, {"shed: link lost for 1870 s"}},
  };
  for (const Step& s : steps) {
    const AlertEngine::Time now = start + seconds(s.second);
    AlertUpdate update;
    if (s.pack != nullptr) {
      LiveData live;
      live.cellMv = {3300, 3300, static_cast<std::uint16_t>(s.cell3Mv), 3300};
      live.currentRaw = static_cast<std::uint32_t>(s.currentMa);
      live.socPercent = s.soc;
      live.alarmFlags = s.cellOv ? 1u : 0u;
      update = engine.onFrame(std::string(s.pack) == "shed" ? 1 : 0, live, now);
    } else {
      EXPECT_LE(engine.nextDeadline(), now) << "at " << s.second << " s";
      update = engine.onTimer(now);
      // What was due is handled: the loop is not woken again at once (it would spin).
      EXPECT_GT(engine.nextDeadline(), now) << "at " << s.second << " s";
    }
    std::vector<std::string> messages;
    for (const AlertNotice& n : update.notices) messages.push_back(n.message);
    EXPECT_EQ(messages, s.notices) << "at " << s.second << " s";
  }
  // Still firing: the house's cell, the shed's flag and its lost link.
  ASSERT_EQ(engine.firing(0).size(), 1u);
  EXPECT_EQ(engine.firing(0)[0].rule->name, "cell high");
  const auto shed = engine.firing(1);
  ASSERT_EQ(shed.size(), 2u);
  EXPECT_EQ(shed[1].message, "shed: link lost for 1870 s");
}

}  // namespace
}  // namespace orlo
