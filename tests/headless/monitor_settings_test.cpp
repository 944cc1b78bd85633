// What `orlo-bms monitor` accepts from its command line and config file, and what it refuses
// with a message naming the culprit.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "headless/command_line.h"
#include "headless/monitor_settings.h"
#include "support/scratch_files.h"

namespace orlo::headless {
namespace {

using test::ScratchDir;
using test::writeFile;

// ---- single values ---------------------------------------------------------------------------

TEST(MonitorSettings, brokerUrlsAsTable) {
  struct Case {
    const char* text;
    bool ok;
    bool tls;
    const char* host;
    int port;
  };
  const Case cases[] = {
      {"mqtt://localhost", true, false, "localhost", 1883},
      {"mqtts://broker.lan", true, true, "broker.lan", 8883},
      {"mqtt://10.0.0.2:1884", true, false, "10.0.0.2", 1884},
      {"mqtts://[::1]:8884", true, true, "::1", 8884},
      {"tcp://host", false, false, "", 0},
      {"mqtt://", false, false, "", 0},
      {"mqtt://host:65536", false, false, "", 0},
      {"mqtt://host:12x", false, false, "", 0},
      {"mqtt://user@host", false, false, "", 0},
      {"mqtt://[::1", false, false, "", 0},
  };
  for (const Case& c : cases) {
    BrokerUrl url;
    const std::string error = parseBrokerUrl(c.text, url);
    EXPECT_EQ(error.empty(), c.ok) << c.text << ": " << error;
    if (!c.ok || !error.empty()) continue;
    EXPECT_EQ(url.tls, c.tls) << c.text;
    EXPECT_EQ(url.host, c.host) << c.text;
    EXPECT_EQ(url.port, c.port) << c.text;
  }
}

TEST(MonitorSettings, metricsAddressesAsTable) {
  struct Case {
    const char* text;
    bool ok;
    const char* host;
    int port;
    bool v6;
  };
  const Case cases[] = {
      {"9464", true, "127.0.0.1", 9464, false}, {"0.0.0.0:9100", true, "0.0.0.0", 9100, false},
      {"[::1]:9464", true, "::1", 9464, true},  {"localhost:9464", false, "", 0, false},
      {"10.0.0.1:65536", false, "", 0, false},  {"10.0.0.1:", false, "", 0, false},
      {"::1:9464", false, "", 0, false},        {"10.0.0.1:94x", false, "", 0, false},
  };
  for (const Case& c : cases) {
    MetricsAddress address;
    const std::string error = parseMetricsAddress(c.text, address);
    EXPECT_EQ(error.empty(), c.ok) << c.text << ": " << error;
    if (!c.ok || !error.empty()) continue;
    EXPECT_EQ(address.host, c.host) << c.text;
    EXPECT_EQ(address.port, c.port) << c.text;
    EXPECT_EQ(address.v6, c.v6) << c.text;
  }
}

TEST(MonitorSettings, packNamesAsTable) {
  const std::pair<const char*, bool> cases[] = {
      {"house-1=/dev/ttyUSB0", true}, {"A_b9=/dev/x", true}, {"=/dev/x", false},   {"a b=/dev/x", false},
      {"a/b=/dev/x", false},          {"a+=/dev/x", false},  {"nodevice=", false}, {"noequals", false},
  };
  for (const auto& [text, ok] : cases) {
    PackEntry pack;
    EXPECT_EQ(parsePackOption(text, pack).empty(), ok) << text;
  }
}

// ---- config file -----------------------------------------------------------------------------

TEST(MonitorSettings, configFileSetsEverythingAndTheCommandLineWins) {
  const ScratchDir dir("orlo-settings");
  const std::string config = dir.file("site.toml");
  const std::string ca = dir.file("ca.pem");
  ASSERT_EQ(std::system(("openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=ca -keyout " +
                         dir.file("ca.key") + " -out " + ca + " >/dev/null 2>&1")
                            .c_str()),
            0);
  writeFile(config,
            "mqtt = \"mqtts://broker.lan\"\ntopic_prefix = \"site\"\nlog_dir = \"/var/log/x\"\n"
            "interval = 10\nkeepalive = 12\nca_file = \"" +
                ca +
                "\"\nusername = \"bms\"\npassword = \"s3cret\"\n"
                "[packs]\nhouse-1 = \"/dev/ttyUSB0\"\nshed = \"/dev/ttyUSB1\"\n");
  ::chmod(config.c_str(), 0600);
  MonitorOverrides o;
  o.configFile = config;
  o.topicPrefix = "other";
  MonitorSettings s;
  ASSERT_EQ(buildSettings(o, s), "");
  ASSERT_EQ(s.packs.size(), 2u);
  EXPECT_EQ(s.packs[0].name, "house-1");
  EXPECT_EQ(s.packs[1].device, "/dev/ttyUSB1");
  EXPECT_TRUE(s.broker->tls);
  EXPECT_EQ(s.topicPrefix, "other");
  EXPECT_EQ(s.intervalSeconds, 10);
  EXPECT_EQ(s.keepAliveSeconds, 12);
  EXPECT_EQ(s.password, "s3cret");

  o.packs = {"cli=/dev/ttyACM0"};
  MonitorSettings replaced;
  ASSERT_EQ(buildSettings(o, replaced), "");
  ASSERT_EQ(replaced.packs.size(), 1u) << "packs on the command line replace the file's";
  EXPECT_EQ(replaced.packs[0].name, "cli");
}

TEST(MonitorSettings, badConfigLinesAreNamedWithTheirLine) {
  struct Case {
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"mqtt = \"mqtt://h\"\ncolour = \"red\"\n", "site.toml:2: unknown setting 'colour'"},
      {"interval = 0\n", "site.toml:1: interval must be a whole number of seconds from 1 to 86400"},
      {"interval = \"5\"\n", "site.toml:1: interval must be"},
      {"\n\nmqtt = 1883\n", "site.toml:3: mqtt must be a string in quotes"},
      {"mqtt = \"http://h\"\n", "site.toml:1: broker 'http://h' must start with mqtt:// or mqtts://"},
      {"[packs]\n\"a b\" = \"/dev/x\"\n", "site.toml:2: pack name 'a b' may hold only"},
      {"[packs]\na = 5\n", "site.toml:2: pack a must be a string"},
      {"mqtt = \"mqtt://h\n", "site.toml:1:"},
      {"\ntopic_prefix = \"a\\u0000b\"\n", "site.toml:2: topic_prefix: the topic prefix must not hold NUL"},
      {"keepalive = 4\n", "site.toml:1: keepalive must be a whole number of seconds from 5 to 3600"},
  };
  for (const Case& c : cases) {
    MonitorSettings s;
    const std::string error = applyConfigText(c.text, "site.toml", s);
    EXPECT_EQ(error.rfind(c.message, 0), 0u) << c.text << "gave: " << error;
  }
}

TEST(MonitorSettings, filesOthersCanReadAreRefusedByName) {
  const ScratchDir dir("orlo-settings");
  const std::string config = dir.file("open.toml");
  const std::string passwords = dir.file("pw");
  writeFile(config, "[packs]\na = \"/dev/x\"\n");
  writeFile(passwords, "bms:hunter2\n");
  ::chmod(config.c_str(), 0644);
  ::chmod(passwords.c_str(), 0604);
  MonitorOverrides o;
  o.configFile = config;
  MonitorSettings s;
  EXPECT_EQ(buildSettings(o, s),
            "config file " + config + " can be read by other users; refused (chmod o-rw " + config + ")");

  ::chmod(config.c_str(), 0640);
  o.mqtt = "mqtt://h";
  o.passwordFile = passwords;
  const std::string error = buildSettings(o, s);
  EXPECT_EQ(error.rfind("password file " + passwords + " can be read by other users", 0), 0u) << error;
  EXPECT_EQ(error.find("hunter2"), std::string::npos);

  ::chmod(passwords.c_str(), 0600);
  MonitorSettings ok;
  ASSERT_EQ(buildSettings(o, ok), "");
  EXPECT_EQ(ok.username, "bms");
  EXPECT_EQ(ok.password, "hunter2");
}

TEST(MonitorSettings, inconsistentWholesAreRefused) {
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{}, "no pack given"},
      {{"a=/dev/x", "a=/dev/y"}, "pack a is given twice"},
  };
  for (const auto& [packs, message] : cases) {
    MonitorOverrides o;
    o.packs = packs;
    MonitorSettings s;
    EXPECT_EQ(buildSettings(o, s).rfind(message, 0), 0u) << message;
  }
  MonitorOverrides tls;
  tls.packs = {"a=/dev/x"};
  tls.caFile = "/etc/ca.pem";
  MonitorSettings s;
  EXPECT_EQ(buildSettings(tls, s), "TLS files, user name and password need --mqtt");
  tls.topicPrefix = "a/#";
  tls.mqtt = "mqtts://h";
  EXPECT_EQ(buildSettings(tls, s), "--topic-prefix: the topic prefix must not hold the wildcards '+' or '#'");
}

// ---- command line ----------------------------------------------------------------------------

TEST(CommandLine, monitorOptionsAndRefusalsAsTable) {
  const CommandLine ok = parseCommandLine({"monitor", "--pack", "a=/dev/x", "--pack", "b=/dev/y", "--mqtt",
                                           "mqtt://h", "--interval", "5", "--topic-prefix", "p"});
  EXPECT_EQ(ok.exitCode, -1) << ok.error;
  EXPECT_EQ(ok.command, CommandLine::Command::Monitor);
  EXPECT_EQ(ok.monitor.packs, (std::vector<std::string>{"a=/dev/x", "b=/dev/y"}));
  EXPECT_EQ(ok.monitor.intervalSeconds, 5);
  EXPECT_EQ(ok.monitor.mqtt, "mqtt://h");

  struct Case {
    std::vector<std::string> args;
    int exit;
    const char* said;  // in the help or version text, or in the error
  };
  const Case cases[] = {
      {{"--version"}, 0, "orlo-bms 1.0.0.1"},
      {{"monitor", "--help"}, 0, "--pack"},
      {{}, 2, "A subcommand is required"},
      {{"monitor", "--password", "x"}, 2, "--password"},
      {{"monitor", "--interval", "0"}, 2, "--interval"},
      {{"watch"}, 2, "watch"},
      {{"params", "--help"}, 0, "Exit status"},
      {{"params", "read"}, 2, "--device"},
      {{"params", "write", "--device", "/dev/x"}, 2, "params write needs a FILE"},
      {{"params", "erase", "--device", "/dev/x"}, 2, "erase"},
  };
  for (const Case& c : cases) {
    const CommandLine line = parseCommandLine(c.args);
    EXPECT_EQ(line.exitCode, c.exit) << line.error;
    EXPECT_NE((line.output + line.error).find(c.said), std::string::npos) << line.output << line.error;
  }
}

}  // namespace
}  // namespace orlo::headless
