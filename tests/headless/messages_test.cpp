// The objects the monitor publishes and the pack events behind them, built from frames as the
// board sends them; Home Assistant's discovery configs.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <set>
#include <vector>

#include "core/pack_events.h"
#include "headless/discovery.h"
#include "headless/messages.h"
#include "support/frame_image.h"

namespace orlo::headless {
namespace {

using nlohmann::json;
using test::FrameImage;

LiveData live(const FrameImage& image) {
  return decodeLiveData(image.view());
}

FrameImage busyPack() {
  FrameImage f;
  f.u16(10, 3301).u16(12, 3302).u16(14, 3303).u16(16, 3304);
  f.u16(18, static_cast<std::uint16_t>(-5)).u16(20, 31);
  f.u32(22, 87).u32(26, 13210).u32(30, 20123).u16(42, 7).u32(44, 13100).u16(48, 4012);
  f.u8(70, 3).u32(71, (1u << 0) | (1u << 13)).u16(75, 0b1010'0000'0101).u8(78, 1);
  return f;
}

// ---- state object --------------------------------------------------------------------------

TEST(StateObject, carriesEveryFieldOfTheFrameInTheUnitsItNames) {
  const json s =
      stateObject(live(busyPack()), {"2024-05-01T12:00:00.000+02:00", "DSG_MODE", MosState{true, false}});
  EXPECT_EQ(s["time"], "2024-05-01T12:00:00.000+02:00");
  EXPECT_EQ(s["cell_mv"], json({3301, 3302, 3303, 3304}));
  EXPECT_EQ(s["temp_c"], json({-5, 31}));
  // Negated and as the window prints the float, digits and all.
  EXPECT_DOUBLE_EQ(s["current_a"].get<double>(), -20.122999);
  EXPECT_EQ(s["total_mv"], 13210);
  EXPECT_EQ(s["bus_mv"], 13100);
  EXPECT_EQ(s["soc_pct"], 87);
  EXPECT_DOUBLE_EQ(s["remain_ah"].get<double>(), 40.12);
  EXPECT_EQ(s["cycles"], 7);
  EXPECT_EQ(s["mos"], json({{"dis", true}, {"chg", false}}));
  EXPECT_EQ(s["mode"], "DSG_MODE");
  EXPECT_EQ(s["alarms"], json({"Cell OV", "Short Circuit"}));
  EXPECT_EQ(s["balancing"], json({1, 3})) << "flags beyond the four cells name no cell";
}

TEST(StateObject, isWrittenAsTextByteForByteAsTheObjectDumpsIt) {
  FrameImage charging;
  charging.u16(10, 65535).u16(12, 0).u16(14, 3650).u16(16, 2500);
  charging.u16(18, static_cast<std::uint16_t>(-32768)).u16(20, 32767);
  charging.u32(22, 100).u32(26, 0x7FFFFFFF).u32(30, static_cast<std::uint32_t>(-15001)).u16(42, 65535);
  charging.u32(44, static_cast<std::uint32_t>(-1)).u16(48, 65535).u8(70, 18).u32(71, 0xFFFFFFFF);
  charging.u16(75, 0xFFFF).u8(78, 2);
  FrameImage tiny;
  tiny.u32(30, 1).u16(48, 1).u32(71, 1u << 17);
  struct Case {
    FrameImage frame;
    StateContext context;
  };
  const Case cases[] = {
      {busyPack(), {"2024-05-01T12:00:00.000+02:00", "DSG_MODE", MosState{true, false}}},
      {FrameImage(), {"2024-05-01T12:00:00.000-09:30", "", std::nullopt}},
      {charging, {"t", "CHG_MODE", MosState{false, true}}},
      {tiny, {"t", "IDLE_MODE", MosState{true, true}}},
  };
  std::string text = "left over from the last frame";
  for (const Case& c : cases) {
    writeStateText(live(c.frame), c.context, text);
    EXPECT_EQ(text, stateObject(live(c.frame), c.context).dump());
  }
}

// The state text writes its own digits: against the object's, for every remaining capacity the
// field can hold and for the currents a pack can carry (every mA within +-40 A, a stride beyond,
// and the ends of the 32-bit field).
TEST(StateText, numbersMatchTheObjectForEveryCapacityAndCurrent) {
#if defined(ORLO_ADDRESS_SANITIZER)
  // The plain build compares every value; the sanitizer, which looks at memory, gets a sample
  // (every value would take it minutes).
  constexpr int kStep = 7;
#else
  constexpr int kStep = 1;
#endif
  const StateContext context{"t", "", std::nullopt};
  const auto field = [](const std::string& text, const std::string& key) {
    const std::size_t from = text.find("\"" + key + "\":") + key.size() + 3;
    return text.substr(from, text.find(',', from) - from);
  };
  LiveData d;
  std::string text;
  int mismatches = 0;
  for (std::uint32_t centi = 0; centi <= 0xFFFF; centi += kStep) {
    d.remainingCentiAh = static_cast<std::uint16_t>(centi);
    writeStateText(d, context, text);
    const std::string want = stateObject(d, context)["remain_ah"].dump();
    if (field(text, "remain_ah") != want && mismatches++ < 5) ADD_FAILURE() << centi << ": " << text;
  }
  std::vector<std::int64_t> currents;
  for (std::int64_t ma = -40000; ma <= 40000; ma += kStep) currents.push_back(ma);
  for (std::int64_t ma = INT32_MIN; ma <= INT32_MAX; ma += 65537 * kStep) currents.push_back(ma);
  currents.insert(currents.end(), {INT32_MIN, INT32_MAX, -1, 1});
  for (const std::int64_t ma : currents) {
    d.currentRaw = static_cast<std::uint32_t>(static_cast<std::int32_t>(ma));
    writeStateText(d, context, text);
    const std::string want = stateObject(d, context)["current_a"].dump();
    if (field(text, "current_a") != want && mismatches++ < 5) ADD_FAILURE() << ma << ": " << text;
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(StateObject, unknownModeAndMosReadNullAndAnIdlePackReadsNoCurrent) {
  const json s = stateObject(live(FrameImage()), {"t", "", std::nullopt});
  EXPECT_TRUE(s["mode"].is_null());
  EXPECT_TRUE(s["mos"].is_null());
  EXPECT_EQ(s["current_a"].get<double>(), 0.0);
  EXPECT_EQ(s["alarms"], json::array());
}

// Against the C library's own calendar, in zones east and west of Greenwich, on half and
// three-quarter hours and in summer time (POSIX rules, so no time zone files are needed).
TEST(IsoTime, isTheLocalCalendarTimeWithMillisecondsAndTheOffset) {
  const char* const before = std::getenv("TZ");
  const std::string saved = before ? before : "";
  const char* const zones[] = {"UTC0", "IST-5:30", "NST3:30NDT,M3.2.0,M11.1.0", "XST+9:45", "ACST-9:30"};
  const long long instants[] = {1714557600250, 946684799999, 4102444800007, 1720000000000};
  for (const char* zone : zones) {
    ::setenv("TZ", zone, 1);
    ::tzset();
    for (const long long ms : instants) {
      const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
      std::tm local{};
      localtime_r(&seconds, &local);
      char head[32], tail[64];
      std::strftime(head, sizeof head, "%Y-%m-%dT%H:%M:%S", &local);
      const long off = local.tm_gmtoff < 0 ? -local.tm_gmtoff : local.tm_gmtoff;
      std::snprintf(tail, sizeof tail, ".%03lld%c%02ld:%02ld", ms % 1000, local.tm_gmtoff < 0 ? '-' : '+',
                    off / 3600, off / 60 % 60);
      EXPECT_EQ(isoTime(std::chrono::system_clock::time_point(std::chrono::milliseconds(ms))),
                std::string(head) + tail)
          << zone;
    }
  }
  if (before)
    ::setenv("TZ", saved.c_str(), 1);
  else
    ::unsetenv("TZ");
  ::tzset();
}

// ---- events ----------------------------------------------------------------------------------

std::string describe(const PackEvent& e) {
  switch (e.kind) {
    case PackEvent::Kind::Alarm:
      return e.name + (e.on ? " on" : " off");
    case PackEvent::Kind::Mos:
      return std::string("mos ") + (e.mos.discharge ? "D" : "d") + (e.mos.charge ? "C" : "c");
    case PackEvent::Kind::Mode:
      return e.previous + ">" + e.name;
    case PackEvent::Kind::Link:
      return e.on ? "link up" : "link down";
  }
  return {};
}

struct Step {
  std::uint32_t alarms;
  std::uint8_t mos;
  std::uint8_t mode;
  std::vector<std::string> expected;
};

TEST(PackEvents, aSequenceOfFramesGivesOneEventPerChange) {
  const Step steps[] = {
      {0, 19, 0, {}},                        // baseline: nothing to report
      {1u << 4, 19, 0, {"DSG OTemper on"}},  // flag 5 rises
      {1u << 4, 19, 0, {}},                  // same frame again
      {(1u << 4) | (1u << 17), 3, 1, {"afe R/W Error on", "mos Dc", "IDLE_MODE>DSG_MODE"}},
      {1u << 17, 99, 7, {"DSG OTemper off"}},  // unknown MOS code and mode: kept
      {0, 18, 2, {"afe R/W Error off", "mos dC", "DSG_MODE>CHG_MODE"}},
  };
  PackEventDetector detector;
  for (const Step& step : steps) {
    FrameImage f;
    f.u32(71, step.alarms).u8(70, step.mos).u8(78, step.mode);
    std::vector<std::string> got;
    for (const PackEvent& e : detector.onLiveData(live(f))) got.push_back(describe(e));
    EXPECT_EQ(got, step.expected) << "alarms " << step.alarms << " mos " << int(step.mos);
  }
  EXPECT_EQ(detector.modeText(), "CHG_MODE");
}

TEST(PackEvents, alarmsAlreadySetInTheFirstFrameAreReportedAndLinkChangesOnce) {
  PackEventDetector detector;
  FrameImage f;
  f.u32(71, 1u << 1).u8(70, 2);
  const auto first = detector.onLiveData(live(f));
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(describe(first[0]), "Cell UV on");
  EXPECT_EQ(detector.onLink(true).size(), 1u);
  EXPECT_TRUE(detector.onLink(true).empty());
  const auto down = detector.onLink(false);
  ASSERT_EQ(down.size(), 1u);
  EXPECT_EQ(describe(down[0]), "link down");
}

// ---- discovery -------------------------------------------------------------------------------

TEST(Discovery, everyValueAndAlarmHasAUniqueRetainedConfigTiedToBothAvailabilities) {
  const auto messages = discoveryMessages("site/a", "house-1");
  EXPECT_EQ(messages.size(), 4u + 2u + 5u + 18u);
  std::set<std::string> ids;
  for (const auto& m : messages) {
    EXPECT_TRUE(ids.insert(m.config["unique_id"].get<std::string>()).second) << m.topic;
    EXPECT_EQ(m.topic.rfind("homeassistant/", 0), 0u);
    EXPECT_EQ(m.topic.find("site/a"), std::string::npos) << "ids hold no '/': " << m.topic;
    EXPECT_EQ(m.config["state_topic"], "site/a/house-1/state");
    EXPECT_EQ(m.config["availability_mode"], "all");
    EXPECT_EQ(m.config["availability"][1]["topic"], "site/a/availability");
    EXPECT_EQ(m.config["device"]["identifiers"][0], "_site_2fa__house-1");
  }
  const auto& cell3 = messages[2].config;
  EXPECT_EQ(cell3["value_template"], "{{ value_json.cell_mv[2] }}");
  EXPECT_EQ(cell3["unit_of_measurement"], "mV");
  EXPECT_EQ(cell3["device_class"], "voltage");
  const auto& lastAlarm = messages.back();
  EXPECT_EQ(lastAlarm.topic, "homeassistant/binary_sensor/_site_2fa__house-1/alarm18/config");
  EXPECT_EQ(longestDiscoveryTopic("site/a", "house-1"), lastAlarm.topic.size());
  EXPECT_EQ(lastAlarm.config["value_template"],
            "{{ 'ON' if 'afe R/W Error' in value_json.alarms else 'OFF' }}");
  EXPECT_EQ(lastAlarm.config["device_class"], "problem");
}

// Two programs with different prefixes must never overwrite each other's configs.
TEST(Discovery, nodeIdsOfDifferentPrefixesOrPacksNeverMeet) {
  const std::pair<const char*, const char*> pairs[] = {
      {"a/b", "c"}, {"a_b", "c"},   {"a", "b_c"},   {"a", "2fb__c"}, {"_a", "b"}, {"a_2fb", "c"},
      {"a.b", "c"}, {"a/b/c", "d"}, {"a/b", "c_d"}, {"a", "b__c"},   {"a/", "b"}, {"é", "x"},
      {"a", "b"},   {"a-b", "c"},   {"a", "b-c"},   {"site", "A"},
  };
  std::set<std::string> nodes;
  for (const auto& [prefix, pack] : pairs) {
    const std::string node = discoveryNode(prefix, pack);
    EXPECT_TRUE(nodes.insert(node).second) << prefix << " + " << pack << " gave " << node << " twice";
    EXPECT_EQ(node.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-"),
              std::string::npos)
        << node;
  }
  EXPECT_EQ(discoveryNode("site", "A"), "site_A") << "plain prefixes keep the ids they had";
}

}  // namespace
}  // namespace orlo::headless
