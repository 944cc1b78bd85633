// Notices through libcurl's multi interface to real receivers on loopback: an HTTP server for
// ntfy and the webhook (exact bodies and headers) and aiosmtpd for the mail (STARTTLS, login).
// A webhook that refuses is retried until it takes the notice, while the other channels go on.

#include <gtest/gtest.h>
#include <sys/epoll.h>

#include <functional>

#include "core/alert_engine.h"
#include "headless/notice_receivers.h"
#include "headless/notifier.h"

namespace orlo::headless {
namespace {

using namespace std::chrono;
using test::HttpReceiver;
using test::SmtpServer;

// Runs the notifier as the monitor's loop does until `done` or the time is up.
bool runUntil(Notifier& notifier, const std::function<bool()>& done, milliseconds limit) {
  const int epoll = ::epoll_create1(EPOLL_CLOEXEC);
  epoll_event watch{};
  watch.events = EPOLLIN;
  ::epoll_ctl(epoll, EPOLL_CTL_ADD, notifier.fd(), &watch);
  const auto end = steady_clock::now() + limit;
  while (!done() && steady_clock::now() < end) {
    const auto now = steady_clock::now();
    const auto wait = std::clamp(notifier.nextDeadline() - now, steady_clock::duration{},
                                 steady_clock::duration{milliseconds(50)});
    epoll_event ready{};
    if (::epoll_wait(epoll, &ready, 1, static_cast<int>(ceil<milliseconds>(wait).count())) > 0)
      notifier.onReady(steady_clock::now());
    notifier.onTimer(steady_clock::now());
  }
  ::close(epoll);
  return done();
}

std::vector<AlertNotice> discharge(AlertEngine& engine, int currentMa, int second) {
  LiveData live;
  live.currentRaw = static_cast<std::uint32_t>(currentMa);
  return engine.onFrame(0, live, AlertEngine::Time{} + seconds(second)).notices;
}

TEST(Notifier, everyChannelGetsTheNoticeAndARefusingWebhookIsRetriedUntilItTakesIt) {
  orlo::test::ScratchDir dir("orlo-notify");
  HttpReceiver http;
  SmtpServer smtp(dir);
  ASSERT_NE(smtp.log().find("ready"), std::string::npos) << smtp.log();
  NotifyChannel ntfy, webhook, mail;
  ntfy.kind = NotifyKind::Ntfy;
  ntfy.url = http.url("/bms-alerts");
  ntfy.token = "tk_1";
  webhook.url = http.url("/hook");
  webhook.headers = {{"X-Token", "abc"}};
  webhook.retrySeconds = 1;
  mail.kind = NotifyKind::Email;
  mail.url = smtp.url();
  mail.caFile = dir.file("cert.pem");
  mail.from = "bms@example.org";
  mail.to = {"ops@example.org"};
  mail.username = "bms";
  mail.password = "mail secret";
  Notifier notifier({ntfy, webhook, mail});

  AlertRule rule;
  rule.name = "discharge";
  rule.watch = AlertWatch::DischargeA;
  rule.limit = rule.clear = 20;
  rule.severity = AlertSeverity::Critical;
  AlertEngine engine({rule}, {"house-1"}, AlertEngine::Time{});
  const std::string time = "2026-03-01T02:59:58.250+01:00";
  for (const AlertNotice& n : discharge(engine, 20009, 1))
    notifier.send(noticeOf(n, time), steady_clock::now());
  ASSERT_TRUE(runUntil(
      notifier, [&] { return notifier.idle(); }, seconds(10)));

  const auto hooks = http.accepted("/hook");
  ASSERT_EQ(hooks.size(), 1u);
  EXPECT_EQ(
      hooks[0].body,
      R"({"pack":"house-1","rule":"discharge","state":"firing","message":"house-1: discharge current at )"
      R"(20.009 A, above 20 A","value":20.009,"limit":20,"severity":"critical","time":")" +
          time + "\"}");
  EXPECT_EQ(hooks[0].headers.at("Content-Type"), "application/json");
  EXPECT_EQ(hooks[0].headers.at("X-Token"), "abc");
  const auto topics = http.accepted("/bms-alerts");
  ASSERT_EQ(topics.size(), 1u);
  EXPECT_EQ(topics[0].body, "house-1: discharge current at 20.009 A, above 20 A");
  EXPECT_EQ(topics[0].headers.at("Title"), "house-1: discharge");
  EXPECT_EQ(topics[0].headers.at("Priority"), "5");
  EXPECT_EQ(topics[0].headers.at("Tags"), "rotating_light");
  EXPECT_EQ(topics[0].headers.at("Authorization"), "Bearer tk_1");
  const std::string mails = smtp.mails();
  EXPECT_NE(mails.find("RCPT ops@example.org\n"), std::string::npos) << mails << smtp.log();
  EXPECT_NE(mails.find("Subject: house-1: discharge\r\n"), std::string::npos) << mails;
  EXPECT_NE(mails.find("\r\n\r\nhouse-1: discharge current at 20.009 A, above 20 A\r\n"), std::string::npos);

  // The webhook goes down: its notice waits and is retried, the others' go at once.
  http.answer("/hook", 503);
  for (const AlertNotice& n : discharge(engine, -1500, 2))
    notifier.send(noticeOf(n, time), steady_clock::now());
  ASSERT_TRUE(runUntil(
      notifier, [&] { return http.refused() >= 2 && !smtp.mails().empty(); }, seconds(10)));
  EXPECT_EQ(http.accepted("/bms-alerts").size(), 2u);
  EXPECT_FALSE(notifier.idle());
  http.answer("/hook", 200);
  ASSERT_TRUE(runUntil(
      notifier, [&] { return notifier.idle(); }, seconds(10)));
  ASSERT_EQ(http.accepted("/hook").size(), 2u);
  EXPECT_NE(
      http.accepted("/hook")[1].body.find(R"("state":"cleared","message":"house-1: discharge current back )"
                                          R"(at -1.5 A","value":-1.5,"limit":20)"),
      std::string::npos);
  EXPECT_EQ(notifier.sent(1), 2u);
  EXPECT_EQ(notifier.failed(1), http.refused());
  EXPECT_EQ(notifier.sent(2), 2u);
}

}  // namespace
}  // namespace orlo::headless
