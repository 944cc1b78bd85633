// The broker link's own packets against a real Mosquitto: a broker that stops reading fills the
// socket, half a packet stays behind, and what follows (the library's messages too) must wait
// for it, so that the stream the broker reads back is whole and in order.

#include "headless/mqtt_link.h"

#include <gtest/gtest.h>
#include <poll.h>

#include "mqtt_harness.h"

namespace orlo::headless {
namespace {

using namespace test;
using Clock = std::chrono::steady_clock;

// One round of the monitor's loop for the link alone, waiting up to `ms` for its socket.
void turn(MqttLink& link, int ms) {
  pollfd watch{link.socket(), static_cast<short>(POLLIN | (link.wantWrite() ? POLLOUT : 0)), 0};
  if (watch.fd >= 0 && ::poll(&watch, 1, ms) > 0) link.onSocketEvent(Clock::now());
  if (watch.fd < 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  link.onTimer(Clock::now());
  link.push();
}

std::string payload(int n) {
  return std::to_string(n) + ":" + std::string(64 * 1024 + n % 300, static_cast<char>('a' + n % 26));
}

TEST(MqttLink, aFullSocketKeepsPacketsWholeAndInOrderAcrossBothPaths) {
  mosquitto_lib_init();
  orlo::test::ScratchDir dir{"orlo-mqtt-link"};
  const int port = freePort();
  Child broker(brokerCommand(dir, "listener " + std::to_string(port) + " 127.0.0.1\nallow_anonymous true\n"),
               dir.file("broker.log"));
  Subscriber sub(port);
  MonitorSettings settings;
  settings.broker = BrokerUrl{false, "127.0.0.1", port};
  MqttLink link(settings, "t/availability");
  link.start();
  for (int i = 0; i < 500 && !link.connected(); ++i) turn(link, 10);
  ASSERT_TRUE(link.connected());
  // The subscriber subscribes on its own thread: until it hears us, nothing counts.
  for (int i = 0; i < 100 && !sub.waitFor("t/ready", "", 50); ++i) {
    link.publish("t/ready", "?", 1, false);
    turn(link, 10);
  }
  ASSERT_TRUE(link.publish("t/x", "first", 1, false));

  // The broker stops reading: quality-0 messages until one wake-up cannot leave whole.
  broker.signal(SIGSTOP);
  std::vector<std::string> expected{"first"};
  for (int n = 0; n < 4000 && !link.wantWrite(); ++n) {
    expected.push_back(payload(n));
    ASSERT_TRUE(link.publish("t/x", expected.back(), 0, false));
    link.push();
  }
  ASSERT_TRUE(link.wantWrite()) << "the socket never filled";
  // Behind the stranded half packet: the library's message, then ours again.
  for (const auto& [text, qos] : {std::pair{"library", 1}, {"after", 0}}) {
    expected.push_back(text);
    ASSERT_TRUE(link.publish("t/x", text, qos, false));
  }
  link.push();
  broker.signal(SIGCONT);

  const auto end = Clock::now() + std::chrono::seconds(30);
  while (sub.on("t/x").size() < expected.size() && Clock::now() < end) turn(link, 20);
  std::vector<std::string> got;
  for (const Message& m : sub.on("t/x")) got.push_back(m.payload);
  ASSERT_EQ(got.size(), expected.size());
  for (std::size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], expected[i]) << "message " << i;
  EXPECT_TRUE(link.connected()) << "the broker dropped a corrupted stream";
  EXPECT_FALSE(link.wantWrite());
}

}  // namespace
}  // namespace orlo::headless
