// orlo-bms monitor end to end: simulated packs on pseudo-terminals, a real Mosquitto broker on
// a loopback port, a subscriber that records what arrives.

#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cstring>

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
  // Discovery is a round of many messages: each arrives in its own time.
  ASSERT_TRUE(sub->waitFor("homeassistant/sensor/site_A/cell1_mv/config", "", 3000));
  ASSERT_TRUE(sub->waitFor("homeassistant/binary_sensor/site_B/alarm1/config", "", 3000));
  const auto cell1 = sub->on("homeassistant/sensor/site_A/cell1_mv/config");
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

TEST_F(MonitorMqtt, everyStopSignalLeavesEveryPackOfflineEvenUnderAStalledBrokerItWaitsOnlyBriefly) {
  const int port = freePort();
  auto mqttBroker = broker(port);
  auto simA = simulator("a");
  auto simB = simulator("b");
  Subscriber sub(port);
  const std::vector<std::string> args{"--pack", "A=" + dir.file("a"),
                                      "--pack", "B=" + dir.file("b"),
                                      "--mqtt", "mqtt://127.0.0.1:" + std::to_string(port)};
  for (const int sig : {SIGTERM, SIGHUP, SIGQUIT}) {
    const std::size_t from = sub.count();
    auto program = monitor(args);
    ASSERT_TRUE(sub.waitFor("orlo/A/availability", "online", 5000, from))
        << readFile(dir.file("monitor.log"));
    ASSERT_TRUE(sub.waitFor("orlo/B/availability", "online", 5000, from));
    const std::size_t before = sub.count();
    program->signal(sig);
    EXPECT_EQ(program->wait(), 0) << strsignal(sig);
    for (const char* topic : {"orlo/A/availability", "orlo/B/availability", "orlo/availability"})
      EXPECT_TRUE(sub.waitFor(topic, "offline", 2000, before)) << topic << " after " << strsignal(sig);
  }

  // The broker stops reading: the offline messages are tried for a short while, and the log says
  // they did not go.
  auto program = monitor(args);
  ASSERT_TRUE(sub.waitFor("orlo/A/state", "", 5000, sub.count()));
  mqttBroker->signal(SIGSTOP);
  const auto stopped = std::chrono::steady_clock::now();
  program->signal(SIGTERM);
  EXPECT_EQ(program->wait(), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - stopped, std::chrono::seconds(4));
  mqttBroker->signal(SIGCONT);
  const std::string log = readFile(dir.file("monitor.log"));
  EXPECT_NE(log.find("did not take the packs' offline messages within 2 s"), std::string::npos) << log;
  EXPECT_NE(log.find("every pack reported offline to the broker"), std::string::npos) << log;
}

// Each case is refused before anything is opened: exit 2, a message naming the option, the
// config line or the file, and nothing at the broker.
TEST_F(MonitorMqtt, hostileNamesAndFilesAreRefusedAtTheStartWithNothingPublished) {
  const int port = freePort();
  auto mqttBroker = broker(port);
  auto simA = simulator("a");
  Subscriber sub(port);
  const std::string url = "mqtt://127.0.0.1:" + std::to_string(port);
  ASSERT_EQ(std::system(("mosquitto_pub -p " + std::to_string(port) + " -t probe -m x").c_str()), 0);
  ASSERT_TRUE(sub.waitFor("probe", "x", 5000)) << "the subscriber listens";

  const std::string nul = dir.file("nul.toml"), fifo = dir.file("fifo"), big = dir.file("big.pw");
  const std::string notCert = dir.file("not-a-cert.pem"), alias = dir.file("alias");
  orlo::test::writeFile(nul, "\ntopic_prefix = \"a\\u0000b\"\n");
  orlo::test::writeFile(big, "bms:" + std::string(70 * 1024, 'x') + "\n");
  orlo::test::writeFile(notCert, "hello\n");
  ::chmod(nul.c_str(), 0600);
  ::chmod(big.c_str(), 0600);
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(::symlink(dir.file("a").c_str(), alias.c_str()), 0);
  struct Case {
    std::vector<std::string> args;
    std::string said;
  };
  const Case cases[] = {
      {{"--topic-prefix", "\xff"}, "--topic-prefix: the topic prefix is not valid UTF-8"},
      {{"--topic-prefix", "\xc0\xaf"}, "--topic-prefix: the topic prefix is not valid UTF-8"},
      {{"--topic-prefix", "a\x01z"},
       "--topic-prefix: the topic prefix must not hold NUL or control characters"},
      {{"--topic-prefix", "a\xc2\x85z"}, "must not hold NUL or control characters"},
      {{"--topic-prefix", "a/+"}, "must not hold the wildcards '+' or '#'"},
      {{"--topic-prefix", "#"}, "must not hold the wildcards '+' or '#'"},
      {{"--topic-prefix", "$SYS/x"}, "must not start with '$'"},
      {{"--topic-prefix", "a//b"}, "nor hold an empty level"},
      {{"--topic-prefix", std::string(70000, 'p')}, "--topic-prefix: the topic prefix is too long"},
      {{"--topic-prefix", std::string(65500, 'p')},
       "pack A would get a topic of 65545 bytes"},  // a discovery topic
      {{"--config", nul}, nul + ":2: topic_prefix: the topic prefix must not hold NUL"},
      {{"--pack", "b/c=" + dir.file("b")}, "--pack: pack name 'b/c' may hold only"},
      {{"--config", fifo}, "config file " + fifo + " is not a regular file"},
      {{"--password-file", fifo}, "password file " + fifo + " is not a regular file"},
      {{"--password-file", big}, "password file " + big + " is larger than 64 KiB"},
      {{"--pack", "B=" + alias}, "packs A and B use the same device " + alias},
      {{"--pack", "B=" + dir.file("a")}, "packs A and B use the same device"},
  };
  for (const Case& c : cases) {
    std::remove(dir.file("monitor.log").c_str());
    std::vector<std::string> args{"--pack", "A=" + dir.file("a"), "--mqtt", url};
    args.insert(args.end(), c.args.begin(), c.args.end());
    EXPECT_EQ(monitor(args)->wait(), 2) << c.said << "\n" << readFile(dir.file("monitor.log"));
    EXPECT_NE(readFile(dir.file("monitor.log")).find(c.said), std::string::npos)
        << c.said << "\n"
        << readFile(dir.file("monitor.log"));
  }
  std::remove(dir.file("monitor.log").c_str());
  EXPECT_EQ(monitor({"--pack", "A=" + dir.file("a"), "--mqtt", "mqtts://127.0.0.1:" + std::to_string(port),
                     "--ca-file", notCert})
                ->wait(),
            2);
  EXPECT_NE(readFile(dir.file("monitor.log")).find("CA file " + notCert + " holds no PEM certificate"),
            std::string::npos)
      << readFile(dir.file("monitor.log"));

  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  for (const Message& m : sub.messages()) EXPECT_EQ(m.topic, "probe") << "published: " << m.topic;
}

// Without a broker: a line another program holds, and a log folder that refuses the file.
TEST_F(MonitorMqtt, aLineInUseAndALogFolderThatRefusesAreReportedWithTheirReasons) {
  auto simA = simulator("a");
  auto simB = simulator("b");
  for (int i = 0;
       i < 100 && (::access(dir.file("a").c_str(), F_OK) != 0 || ::access(dir.file("b").c_str(), F_OK) != 0);
       ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const int held = ::open(dir.file("a").c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
  auto program =
      monitor({"--pack", "A=" + dir.file("a"), "--pack", "B=" + dir.file("b"), "--log-dir", "/sys"});
  const std::string inUse = "pack A: cannot open " + dir.file("a") + ": in use by another program";
  const std::string refused = "the data log row was not saved to /sys/B.csv (Permission denied)";
  std::string log;
  for (int i = 0; i < 150 && (log.find(inUse) == std::string::npos || log.find(refused) == std::string::npos);
       ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    log = readFile(dir.file("monitor.log"));
  }
  EXPECT_NE(log.find(inUse), std::string::npos) << log;
  EXPECT_NE(log.find(refused), std::string::npos) << log;
  program->signal(SIGTERM);
  EXPECT_EQ(program->wait(), 0);
  ::close(held);
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
  // A plain listener that never answers: no TLS hint fits it.
  const int silentPort = freePort();
  const int silent = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(silentPort));
  ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(silent, 4), 0);
  const std::string quiet = "127.0.0.1:" + std::to_string(silentPort);

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
      {{"--mqtt", "mqtt://" + quiet, "--keepalive", "5"},
       "the broker at mqtt://" + quiet + " did not answer"},
  };
  for (const Case& c : cases) {
    std::remove(dir.file("monitor.log").c_str());
    std::vector<std::string> args{"--pack", "A=" + dir.file("none")};
    args.insert(args.end(), c.args.begin(), c.args.end());
    auto program = monitor(args);
    std::string log;
    for (int i = 0; i < 160 && log.find(c.message) == std::string::npos; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      log = readFile(dir.file("monitor.log"));
    }
    EXPECT_NE(log.find(c.message), std::string::npos) << c.message << "\n" << log;
    if (c.message.find("TLS") == std::string::npos) {
      EXPECT_EQ(log.find("(if it expects TLS"), std::string::npos) << log;
    }
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
  ::close(silent);
}

}  // namespace
}  // namespace orlo::headless
