// orlo-bms monitor end to end: simulated packs on pseudo-terminals, a real Mosquitto broker on
// a loopback port, a subscriber that records what arrives.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <regex>

#include <nlohmann/json.hpp>

#include "mqtt_harness.h"

namespace orlo::headless {
namespace {

using namespace test;
using nlohmann::json;
using orlo::test::readFile;
using orlo::test::ScratchDir;

class MonitorMqtt : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { mosquitto_lib_init(); }

  std::unique_ptr<Child> simulator(const std::string& name) {
    return std::make_unique<Child>(
        std::vector<std::string>{binary("src/sim/orlo-bms-sim"), "--link", dir.file(name)},
        dir.file(name + ".log"));
  }
  std::unique_ptr<Child> broker(int port, const std::string& extra = "") {
    return std::make_unique<Child>(
        brokerCommand(dir, "listener " + std::to_string(port) + " 127.0.0.1\nallow_anonymous true\n" + extra),
        dir.file("broker.log"));
  }
  std::unique_ptr<Child> monitor(const std::vector<std::string>& args) {
    std::vector<std::string> argv{binary("src/headless/orlo-bms"), "monitor"};
    argv.insert(argv.end(), args.begin(), args.end());
    return std::make_unique<Child>(argv, dir.file("monitor.log"));
  }

  ScratchDir dir{"orlo-monitor-mqtt"};
};

json lastState(Subscriber& sub, const std::string& topic) {
  const auto states = sub.on(topic);
  return states.empty() ? json() : json::parse(states.back().payload);
}

TEST_F(MonitorMqtt, publishesPacksFollowsAnUnplugSurvivesTheBrokerAndLeavesItsWill) {
  const int port = freePort();
  auto mqttBroker = broker(port);
  auto simA = simulator("a");
  auto simB = simulator("b");
  auto sub = std::make_unique<Subscriber>(port);
  const std::string url = "mqtt://127.0.0.1:" + std::to_string(port);
  auto program = monitor({"--pack", "A=" + dir.file("a"), "--pack", "B=" + dir.file("b"), "--mqtt", url,
                          "--topic-prefix", "site"});

  // States and discovery carry the simulated pack's values.
  ASSERT_TRUE(sub->waitFor("site/A/state", "", 5000)) << readFile(dir.file("monitor.log"));
  ASSERT_TRUE(sub->waitFor("site/B/state", "", 5000));
  const json a = lastState(*sub, "site/A/state");
  int sum = 0;
  for (int mv : a["cell_mv"]) {
    EXPECT_GE(mv, 3000);
    EXPECT_LE(mv, 3600);
    sum += mv;
  }
  EXPECT_EQ(a["total_mv"], sum);
  EXPECT_EQ(a["cycles"], 12);
  EXPECT_NEAR(a["remain_ah"].get<double>(), 40.0, 0.5);
  EXPECT_EQ(a["mode"], "DSG_MODE") << "the pack starts discharging";
  EXPECT_LT(a["current_a"].get<double>(), -15.0) << "discharge reads negative, as in the window";
  EXPECT_EQ(a["mos"], json({{"dis", true}, {"chg", false}}));
  EXPECT_TRUE(sub->waitFor("site/A/availability", "online", 1000));
  EXPECT_TRUE(sub->waitFor("site/availability", "online", 1000));
  const auto cell1 = sub->on("homeassistant/sensor/site_A/cell1_mv/config");
  ASSERT_FALSE(cell1.empty());
  const json config = json::parse(cell1.back().payload);
  EXPECT_EQ(config["state_topic"], "site/A/state");
  EXPECT_EQ(config["unit_of_measurement"], "mV");
  EXPECT_EQ(sub->on("homeassistant/binary_sensor/site_B/alarm1/config").size(), 1u);

  // Unplug B: offline and a link event, while A goes on; then B comes back.
  const std::size_t beforeUnplug = sub->count();
  simB->signal(SIGUSR2);
  ASSERT_TRUE(sub->waitFor("site/B/availability", "offline", 5000, beforeUnplug));
  const std::size_t bOffline = sub->count();
  EXPECT_TRUE(sub->waitFor("site/B/event", "", 2000, beforeUnplug));
  bool linkLost = false;
  for (const auto& m : sub->on("site/B/event")) {
    const json e = json::parse(m.payload);
    linkLost = linkLost || (e["event"] == "link" && e["online"] == false);
  }
  EXPECT_TRUE(linkLost);
  EXPECT_TRUE(sub->waitFor("site/A/state", "", 2000, bOffline)) << "A is polled on while B is away";
  simB->signal(SIGUSR2);
  EXPECT_TRUE(sub->waitFor("site/B/availability", "online", 6000, bOffline))
      << readFile(dir.file("monitor.log"));

  // Broker stopped and started again: the monitor reconnects and its availability is retained.
  sub.reset();
  mqttBroker->signal(SIGTERM);
  ASSERT_EQ(mqttBroker->wait(), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  mqttBroker = broker(port);
  {
    Subscriber late(port);
    ASSERT_TRUE(late.waitFor("site/A/state", "", 10000)) << readFile(dir.file("monitor.log"));
  }
  Subscriber retained(port);
  ASSERT_TRUE(retained.waitFor("site/availability", "online", 2000));
  EXPECT_TRUE(retained.on("site/availability").front().retained);
  EXPECT_TRUE(retained.waitFor("site/B/availability", "online", 2000));

  // kill -9: the broker publishes the last will.
  program->signal(SIGKILL);
  EXPECT_TRUE(retained.waitFor("site/availability", "offline", 5000));
  EXPECT_NE(readFile(dir.file("monitor.log")).find("lost the broker at mqtt://127.0.0.1"), std::string::npos)
      << readFile(dir.file("monitor.log"));
}

TEST_F(MonitorMqtt, sigtermPublishesEveryPackOfflineAndExitsZero) {
  const int port = freePort();
  auto mqttBroker = broker(port);
  auto simA = simulator("a");
  Subscriber sub(port);
  auto program =
      monitor({"--pack", "A=" + dir.file("a"), "--mqtt", "mqtt://127.0.0.1:" + std::to_string(port)});
  ASSERT_TRUE(sub.waitFor("orlo/A/availability", "online", 5000));
  const std::size_t before = sub.count();
  program->signal(SIGTERM);
  EXPECT_EQ(program->wait(), 0);
  EXPECT_TRUE(sub.waitFor("orlo/A/availability", "offline", 2000, before));
  EXPECT_TRUE(sub.waitFor("orlo/availability", "offline", 2000, before));
}

// Certificates by openssl, a TLS-only listener that wants a password.
TEST_F(MonitorMqtt, wrongPasswordAndPlaintextToATlsListenerAreRefusedClearly) {
  const std::string cert = dir.file("server.pem");
  const std::string key = dir.file("server.key");
  const std::string make =
      "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=localhost -addext "
      "subjectAltName=DNS:localhost,IP:127.0.0.1 -keyout " +
      key + " -out " + cert + " >/dev/null 2>&1";
  ASSERT_EQ(std::system(make.c_str()), 0);
  const std::string passwords = dir.file("broker.passwd");
  ASSERT_EQ(std::system(("mosquitto_passwd -b -c " + passwords + " bms right >/dev/null 2>&1").c_str()), 0);
  const int port = freePort();
  Child tlsBroker(brokerCommand(dir, "listener " + std::to_string(port) + " 127.0.0.1\ncertfile " + cert +
                                         "\nkeyfile " + key + "\npassword_file " + passwords + "\n"),
                  dir.file("broker.log"));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const std::string wrong = dir.file("client.passwd");
  orlo::test::writeFile(wrong, "bms:wrong\n");
  ::chmod(wrong.c_str(), 0600);
  const std::string host = "127.0.0.1:" + std::to_string(port);

  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"--mqtt", "mqtt://" + host},
       "the broker at mqtt://" + host +
           " closed the connection before accepting it (if it expects TLS, use mqtts://)"},
      {{"--mqtt", "mqtts://" + host, "--ca-file", cert, "--password-file", wrong},
       "the broker at mqtts://" + host + " refused the connection: Connection Refused: not authorised."},
      {{"--mqtt", "mqtts://" + host, "--password-file", wrong}, "cannot connect to mqtts://" + host},
  };
  for (const Case& c : cases) {
    std::remove(dir.file("monitor.log").c_str());
    std::vector<std::string> args{"--pack", "A=" + dir.file("none")};
    args.insert(args.end(), c.args.begin(), c.args.end());
    auto program = monitor(args);
    std::string log;
    for (int i = 0; i < 100 && log.find(c.message) == std::string::npos; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      log = readFile(dir.file("monitor.log"));
    }
    EXPECT_NE(log.find(c.message), std::string::npos) << c.message << "\n" << log;
    EXPECT_EQ(log.find("wrong"), std::string::npos) << "no password in any message";
    program->signal(SIGTERM);
    EXPECT_EQ(program->wait(), 0);
  }

  // With the right password the handshake and the connection go through: the broker says so.
  const std::string right = dir.file("right.passwd");
  orlo::test::writeFile(right, "bms:right\n");
  ::chmod(right.c_str(), 0600);
  auto program = monitor({"--pack", "A=" + dir.file("none"), "--mqtt", "mqtts://" + host, "--ca-file", cert,
                          "--password-file", right});
  const std::regex accepted(
      "New client connected from 127\\.0\\.0\\.1:[0-9]+ as orlo-bms-[^ ]+ \\(.*u'bms'\\)");
  std::string log;
  for (int i = 0; i < 100 && !std::regex_search(log, accepted); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    log = readFile(dir.file("broker.log"));
  }
  EXPECT_TRUE(std::regex_search(log, accepted)) << log << readFile(dir.file("monitor.log"));
  program->signal(SIGTERM);
  EXPECT_EQ(program->wait(), 0);
}

}  // namespace
}  // namespace orlo::headless
