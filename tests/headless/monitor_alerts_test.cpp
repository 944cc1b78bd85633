// orlo-bms monitor with alert rules, notices and /metrics, end to end on loopback: a simulated
// pack, Mosquitto, an HTTP receiver for ntfy and the webhook, aiosmtpd refusing the mail login,
// promtool and a real Prometheus server scraping the monitor; a stop while a notice is under way;
// and the metrics page's kept lines against a page written afresh.

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include "headless/metrics_book.h"
#include "headless/notice_receivers.h"

namespace orlo::headless {
namespace {

using namespace test;
using nlohmann::json;
using orlo::test::readFile;
using orlo::test::ScratchDir;
using orlo::test::writeFile;

// The body of a GET, or "" when it fails.
std::string get(const std::string& url) {
  std::string body;
  CURL* easy = curl_easy_init();
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_TIMEOUT, 5L);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
  curl_easy_setopt(
      easy, CURLOPT_WRITEFUNCTION, +[](char* data, std::size_t size, std::size_t n, void* out) {
        static_cast<std::string*>(out)->append(data, size * n);
        return size * n;
      });
  const bool ok = curl_easy_perform(easy) == CURLE_OK;
  curl_easy_cleanup(easy);
  return ok ? body : "";
}

template <typename Check>
bool waitUntil(Check check, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!check()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

TEST(MonitorAlerts, noticesEventsRetainedAlertsAndMetricsWhileAWebhookIsDown) {
  mosquitto_lib_init();
  ScratchDir dir("orlo-monitor-alerts");
  const int brokerPort = freePort(), metricsPort = freePort(), prometheusPort = freePort();
  Child broker(
      brokerCommand(dir, "listener " + std::to_string(brokerPort) + " 127.0.0.1\nallow_anonymous true\n"),
      dir.file("broker.log"));
  Child sim({binary("src/sim/orlo-bms-sim"), "--link", dir.file("a")}, dir.file("sim.log"));
  Subscriber sub(brokerPort);
  HttpReceiver http;
  http.answer("/hook", 503);
  SmtpServer smtp(dir);  // the monitor's mail login is refused
  const std::string config = dir.file("site.toml");
  writeFile(config, "mqtt = \"mqtt://127.0.0.1:" + std::to_string(brokerPort) +
                        "\"\ntopic_prefix = \"site\"\n" + "metrics = \"127.0.0.1:" +
                        std::to_string(metricsPort) + "\"\n[packs]\nhouse-1 = \"" + dir.file("a") +
                        "\"\n[[alert]]\nname = \"discharge\"\nwatch = \"discharge_a\"\nabove = 15\n"
                        "[[alert]]\nname = \"cell high\"\nwatch = \"cell_mv\"\nabove = 3000\nfor_s = 1\n"
                        "[[notify]]\nkind = \"webhook\"\nretry_s = 1\nurl = \"" +
                        http.url("/hook") + "\"\n[[notify]]\nkind = \"ntfy\"\nurl = \"" + http.url("/topic") +
                        "\"\n[[notify]]\nkind = \"email\"\nretry_s = 1\nurl = \"" + smtp.url() +
                        "\"\nfrom = \"bms@example.org\"\nto = [\"ops@example.org\"]\nusername = \"bms\"\n"
                        "password = \"not it\"\nca_file = \"" +
                        dir.file("cert.pem") + "\"\n");
  ::chmod(config.c_str(), 0600);
  Child monitor({binary("src/headless/orlo-bms"), "monitor", "--config", config}, dir.file("monitor.log"));
  // Prometheus takes seconds to start: it starts now and is asked at the end.
  writeFile(dir.file("prometheus.yml"),
            "global:\n  scrape_interval: 1s\nscrape_configs:\n  - job_name: orlo\n"
            "    static_configs:\n      - targets: ['127.0.0.1:" +
                std::to_string(metricsPort) + "']\n");
  Child prometheus({"/usr/bin/prometheus", "--config.file=" + dir.file("prometheus.yml"),
                    "--storage.tsdb.path=" + dir.file("tsdb"),
                    "--web.listen-address=127.0.0.1:" + std::to_string(prometheusPort)},
                   dir.file("prometheus.log"));

  // Both rules fire: ntfy takes the notices, the webhook refuses and its notices wait.
  ASSERT_TRUE(waitUntil([&] { return http.accepted("/topic").size() >= 2 && http.refused() >= 2; }, 8000))
      << readFile(dir.file("monitor.log"));
  const std::size_t statesBefore = sub.on("site/house-1/state").size();
  EXPECT_TRUE(waitUntil([&] { return sub.on("site/house-1/state").size() >= statesBefore + 2; }, 4000))
      << "states flow once a second meanwhile";
  EXPECT_TRUE(http.accepted("/hook").empty()) << "the webhook was down all that time";
  http.answer("/hook", 200);
  ASSERT_TRUE(waitUntil([&] { return http.accepted("/hook").size() >= 2; }, 8000));
  const json discharge = json::parse(http.accepted("/hook")[0].body);
  EXPECT_EQ(discharge["pack"], "house-1");
  EXPECT_EQ(discharge["state"], "firing");
  EXPECT_EQ(discharge["limit"], 15);
  const double amperes = discharge["value"].get<double>();
  EXPECT_EQ(discharge["message"],
            "house-1: discharge current at " + discharge["value"].dump() + " A, above 15 A");
  EXPECT_DOUBLE_EQ(std::round(amperes * 1000) / 1000, amperes) << "milliamperes exactly, not a float's text";
  const std::string log = readFile(dir.file("monitor.log"));
  EXPECT_EQ(log.find("failed: HTTP 503"), log.rfind("failed: HTTP 503")) << "one report per outage\n" << log;
  EXPECT_NE(log.find("works again"), std::string::npos) << log;
  const std::string refused = "notify email " + smtp.url() + " failed: the server refused the login of 'bms'";
  EXPECT_NE(log.find(refused), std::string::npos) << log;
  EXPECT_EQ(log.find(refused), log.rfind(refused)) << "one report per outage\n" << log;
  EXPECT_EQ(smtp.mails(), "");

  // The events and the retained list of firing rules.
  ASSERT_TRUE(sub.waitFor("site/house-1/alerts", "", 3000));
  Subscriber late(brokerPort);
  ASSERT_TRUE(late.waitFor("site/house-1/alerts", "", 3000));
  EXPECT_TRUE(late.on("site/house-1/alerts").front().retained);
  const json firing = json::parse(late.on("site/house-1/alerts").front().payload);
  ASSERT_EQ(firing.size(), 2u);
  EXPECT_EQ(firing[1]["rule"], "cell high");
  std::size_t alertEvents = 0;
  for (const Message& m : sub.on("site/house-1/event"))
    alertEvents += json::parse(m.payload)["event"] == "alert";
  EXPECT_EQ(alertEvents, 2u);

  // /metrics passes promtool, and a real Prometheus scrapes it and answers a query.
  const std::string metrics = get("http://127.0.0.1:" + std::to_string(metricsPort) + "/metrics");
  writeFile(dir.file("metrics.txt"), metrics);
  EXPECT_NE(metrics.find("orlo_link_up{pack=\"house-1\"} 1\n"), std::string::npos) << metrics;
  EXPECT_NE(metrics.find("orlo_notices_sent_total{channel=\"webhook-1\"} 2\n"), std::string::npos) << metrics;
  const std::string mailFailed = "orlo_notices_failed_total{channel=\"email-3\"} ";
  ASSERT_NE(metrics.find(mailFailed), std::string::npos) << metrics;
  EXPECT_GE(std::stoi(metrics.substr(metrics.find(mailFailed) + mailFailed.size())), 2)
      << metrics << smtp.log();
  const std::string check = "/usr/bin/promtool check metrics < " + dir.file("metrics.txt") + " > " +
                            dir.file("promtool.txt") + " 2>&1";
  EXPECT_EQ(std::system(check.c_str()), 0) << readFile(dir.file("promtool.txt"));
  const std::string query =
      "http://127.0.0.1:" + std::to_string(prometheusPort) +
      "/api/v1/query?query=orlo_cell_voltage_volts%7Bpack%3D%22house-1%22%2Ccell%3D%223%22%7D";
  json answer;
  ASSERT_TRUE(waitUntil(
      [&] {
        answer = json::parse(get(query), nullptr, false);  // "Service Unavailable" while it starts
        return answer.is_object() && !answer["data"]["result"].empty();
      },
      15000))
      << readFile(dir.file("prometheus.log"));
  const double volts = std::stod(answer["data"]["result"][0]["value"][1].get<std::string>());
  EXPECT_GE(volts, 3.0);
  EXPECT_LE(volts, 3.6);
}

// A stop signal while a notice is under way: polling stops and the notice still goes out; a
// second signal ends that wait at once, and the log counts what was left.
TEST(MonitorAlerts, aStopSignalLetsQueuedNoticesGoOutUntilASecondSignal) {
  ScratchDir dir("orlo-monitor-stop");
  Child sim({binary("src/sim/orlo-bms-sim"), "--link", dir.file("a")}, dir.file("sim.log"));
  HttpReceiver http;
  const std::string config = dir.file("stop.toml");
  writeFile(config, "[packs]\nhouse-1 = \"" + dir.file("a") +
                        "\"\n[[alert]]\nname = \"cell high\"\nwatch = \"cell_mv\"\nabove = 3000\n"
                        "[[notify]]\nkind = \"webhook\"\nurl = \"" +
                        http.url("/hook") + "\"\n");
  ::chmod(config.c_str(), 0600);
  for (const bool twice : {false, true}) {
    SCOPED_TRACE(twice ? "two signals" : "one signal");
    http.hold(true);
    const std::string log = dir.file(twice ? "twice.log" : "once.log");
    Child monitor({binary("src/headless/orlo-bms"), "monitor", "--config", config}, log);
    ASSERT_TRUE(waitUntil([&] { return readFile(log).find("\"firing\"") != std::string::npos; }, 8000))
        << readFile(log);
    monitor.signal(SIGTERM);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const std::size_t atStop = readFile(log).size();
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));  // a poll would be due meanwhile
    const auto stopped = std::chrono::steady_clock::now();
    if (twice)
      monitor.signal(SIGTERM);
    else
      http.hold(false);
    EXPECT_EQ(monitor.wait(4000), 0) << readFile(log);
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, std::chrono::seconds(2));
    const std::string text = readFile(log);
    EXPECT_NE(
        text.find(twice ? "notices queued at the stop: 1, 1 left unsent" : "queued at the stop: 1, all sent"),
        std::string::npos)
        << text;
    EXPECT_EQ(text.find("\"state\":{", atStop), std::string::npos) << "polled after the stop\n" << text;
  }
  http.hold(false);
  EXPECT_TRUE(waitUntil([&] { return http.accepted("/hook").size() >= 1; }, 3000));
  EXPECT_NE(http.accepted("/hook")[0].body.find("\"state\":\"firing\""), std::string::npos);
}

// The book keeps each family's lines and writes them again only when a frame changes what they
// show, and keeps the start of its last page up to the first family that changed: after every
// step its page must equal that of a book fed only the latest state.
TEST(MonitorAlerts, metricsPagesFollowEveryChangeOfTheKeptLines) {
  const auto start = std::chrono::steady_clock::time_point{};
  MetricsBook kept({"a", "b"}, start);
  LiveData live;
  live.cellMv.fill(3300);
  struct Step {
    std::size_t pack;
    bool up;
    void (*change)(LiveData&);
  };
  const Step steps[] = {
      {0, true, [](LiveData&) {}},
      {1, true, [](LiveData& d) { d.cellMv[2] = 3301; }},
      {0, true, [](LiveData& d) { d.alarmFlags = 1u << 4; }},
      {0, true, [](LiveData& d) { d.balanceFlags = 1u << 2; }},
      {1, true, [](LiveData& d) { d.currentRaw = static_cast<std::uint32_t>(-20009); }},
      {1, false, [](LiveData& d) { d.temperatureC[1] = -5; }},
      {0, true, [](LiveData& d) { d.socPercent = 42; }},
      {1, true, [](LiveData&) {}},
      {1, true, [](LiveData&) {}},
  };
  LiveData latest[2] = {live, live};
  bool up[2] = {false, false};
  std::string page, fresh;
  for (std::size_t i = 0; i < std::size(steps); ++i) {
    const Step& step = steps[i];
    step.change(latest[step.pack]);
    up[step.pack] = step.up;
    kept.onLink(step.pack, step.up);
    kept.onFrame(step.pack, latest[step.pack], start);
    kept.write(page, start, i > 0);  // the page it wrote last: what has not changed stays
    MetricsBook once({"a", "b"}, start);
    for (std::size_t pack = 0; pack < 2; ++pack) {
      once.onLink(pack, up[pack]);
      once.onFrame(pack, latest[pack], start);
    }
    once.write(fresh, start);
    ASSERT_EQ(page, fresh) << "step " << i;
  }
  EXPECT_NE(page.find("orlo_current_amperes{pack=\"b\"} 20.009\n"), std::string::npos) << page;
  EXPECT_NE(page.find("orlo_balancing{pack=\"a\",cell=\"3\"} 1\n"), std::string::npos) << page;
}

}  // namespace
}  // namespace orlo::headless
