// One /metrics scrape of 128 packs, end to end on loopback: the monitor's MetricsBook and
// MetricsServer driven by an epoll loop as in orlo-bms, scraped by libcurl from another thread.
// Every pack has a new frame before each scrape. Prints the median and maximum time of a scrape
// from request to last byte (and its 99th percentile), and the median time of writing the text.
//
// Usage: metrics-scrape [PACKS] [SCRAPES]   (default 128 packs, 200 scrapes)

#include <curl/curl.h>
#include <sys/epoll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "headless/metrics_book.h"
#include "headless/metrics_server.h"

using namespace orlo;
using namespace orlo::headless;
using Clock = std::chrono::steady_clock;

namespace {

LiveData packData(std::size_t i) {
  LiveData d;
  for (std::size_t c = 0; c < kCellCount; ++c)
    d.cellMv[c] = static_cast<std::uint16_t>(3200 + (i * 7 + c * 13) % 300);
  d.temperatureC = {25, static_cast<std::int16_t>(20 + i % 10)};
  d.currentRaw = static_cast<std::uint32_t>(20009 - static_cast<int>(i) * 311);
  d.totalMv = 13100;
  d.busMv = 12900;
  d.socPercent = static_cast<int>(i % 101);
  d.remainingCentiAh = 3999;
  d.cycleCount = 12;
  d.alarmFlags = i % 5 == 0 ? 1u : 0u;
  return d;
}

std::size_t discard(char*, std::size_t size, std::size_t n, void* bytes) {
  *static_cast<std::size_t*>(bytes) += size * n;
  return size * n;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t packs = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 128;
  const int scrapes = argc > 2 ? std::atoi(argv[2]) : 200;
  std::vector<std::string> names;
  for (std::size_t i = 0; i < packs; ++i) names.push_back("pack-" + std::to_string(i + 1));
  const auto start = Clock::now();
  MetricsBook book(names, start);
  for (std::size_t i = 0; i < packs; ++i) {
    book.onLink(i, true);
    book.onFrame(i, packData(i), start);
    book.setFrameCounts(i, 86400, 3);
  }
  MetricsAddress address;
  address.port = 0;
  std::vector<double> renders;
  std::size_t round = 0;
  MetricsServer server(address, [&](std::string& out, bool same) {
    // Every pack polled between two scrapes, as with a scrape a second: their cells, current and
    // charge lines are written anew.
    ++round;
    for (std::size_t i = 0; i < packs; ++i) {
      LiveData d = packData(i + round);
      d.alarmFlags = packData(i).alarmFlags;
      book.onFrame(i, d, Clock::now());
    }
    const auto t0 = Clock::now();
    book.write(out, t0, same);
    renders.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
  });
  if (!server.setupError().empty()) {
    std::fprintf(stderr, "%s\n", server.setupError().c_str());
    return 1;
  }
  std::atomic<bool> done{false};
  std::vector<double> millis;
  std::size_t bytes = 0;
  std::thread scraper([&] {
    const std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/metrics";
    CURL* easy = curl_easy_init();
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &discard);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &bytes);
    curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);  // a new connection each time, as Prometheus may
    for (int i = 0; i < scrapes; ++i) {
      bytes = 0;
      const auto t0 = Clock::now();
      curl_easy_perform(easy);
      millis.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    curl_easy_cleanup(easy);
    done = true;
  });
  const int epoll = ::epoll_create1(EPOLL_CLOEXEC);
  epoll_event watch{};
  watch.events = EPOLLIN;
  ::epoll_ctl(epoll, EPOLL_CTL_ADD, server.fd(), &watch);
  while (!done) {
    epoll_event ready{};
    const auto now = Clock::now();
    const auto wait = std::clamp(server.nextDeadline(now) - now, Clock::duration{},
                                 Clock::duration{std::chrono::milliseconds(20)});
    ::epoll_wait(epoll, &ready, 1,
                 static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wait).count()));
    server.run();
  }
  scraper.join();
  std::vector<double> sorted = millis;
  std::sort(sorted.begin(), sorted.end());
  std::sort(renders.begin(), renders.end());
  const std::size_t worst =
      static_cast<std::size_t>(std::max_element(millis.begin(), millis.end()) - millis.begin());
  std::printf(
      "%zu packs, %zu bytes a scrape, %d scrapes: median %.3f ms, 99th percentile %.3f ms, max %.3f ms "
      "(scrape "
      "%zu) (writing the text: median %.3f ms)\n",
      packs, bytes, scrapes, sorted[sorted.size() / 2], sorted[sorted.size() * 99 / 100], sorted.back(),
      worst + 1, renders[renders.size() / 2]);
  return 0;
}
