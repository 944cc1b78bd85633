#pragma once
// Serves GET /metrics on one address from the monitor's own loop: libmicrohttpd in its epoll
// mode without a thread of its own, its epoll descriptor watched by the loop and its connection
// timeouts folded into nextDeadline(). Every other path is 404. A page is written into a buffer
// that libmicrohttpd sends from as it is and hands back once the response is gone, so a scrape
// neither copies nor allocates once the first few have sized the buffers.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct MHD_Daemon;
struct MHD_Response;

namespace orlo::headless {

// "PORT" (loopback), "ADDR:PORT" or "[V6ADDR]:PORT", a numeric address only.
struct MetricsAddress {
  std::string host = "127.0.0.1";
  int port = 0;
  bool v6 = false;
};
std::string parseMetricsAddress(const std::string& text, MetricsAddress& out);

class MetricsServer {
 public:
  using Time = std::chrono::steady_clock::time_point;
  // `same`: `out` still holds the page the last call wrote, and it may keep what has not changed.
  using Render = std::function<void(std::string& out, bool same)>;

  MetricsServer(const MetricsAddress& address, Render render);
  ~MetricsServer();
  MetricsServer(const MetricsServer&) = delete;
  MetricsServer& operator=(const MetricsServer&) = delete;

  const std::string& setupError() const { return setupError_; }
  int fd() const;
  int port() const;  // the bound port (the one asked for, or the one the kernel chose for 0)
  Time nextDeadline(Time now) const;
  // The descriptor is readable, or nextDeadline passed.
  void run();

  // libmicrohttpd's request handler (public only for its callback).
  static int answerRequest(void* self, void* connection, const char* url, const char* method);

 private:
  struct Page {
    MetricsServer* server;
    std::string text;
  };
  static void onPageSent(void* page);
  MHD_Response* renderPage();

  Render render_;
  std::vector<std::unique_ptr<Page>> pages_;  // every buffer made; one per response under way
  std::vector<Page*> freePages_;
  const Page* lastPage_ = nullptr;  // the one written last
  std::string setupError_;
  MHD_Daemon* daemon_ = nullptr;
  MHD_Response* notFound_ = nullptr;
  MHD_Response* getOnly_ = nullptr;
};

}  // namespace orlo::headless
