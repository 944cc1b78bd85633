#include "headless/metrics_server.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>

#include <cstring>

namespace orlo::headless {
namespace {

constexpr unsigned kConnectionLimit = 16;
constexpr unsigned kConnectionTimeoutSeconds = 10;
constexpr const char* kContentType = "text/plain; version=0.0.4; charset=utf-8";

MHD_Response* fixedResponse(const char* text) {
  MHD_Response* response =
      MHD_create_response_from_buffer(std::strlen(text), const_cast<char*>(text), MHD_RESPMEM_PERSISTENT);
  if (response != nullptr) MHD_add_response_header(response, "Content-Type", kContentType);
  return response;
}

bool wholePort(const std::string& text, int& port) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  port = std::stoi(text);
  return port <= 65535;
}

MHD_Result handle(void* self, MHD_Connection* connection, const char* url, const char* method, const char*,
                  const char*, size_t* uploadSize, void** request) {
  // The first call only sees the header; answering there makes the library close the
  // connection, which a scraper keeping it open would then have to make again each time.
  static int seen = 0;
  if (*request == nullptr) {
    *request = &seen;
    return MHD_YES;
  }
  if (*uploadSize != 0) {
    *uploadSize = 0;  // a body nobody asked for is read and dropped
    return MHD_YES;
  }
  return static_cast<MHD_Result>(MetricsServer::answerRequest(self, connection, url, method));
}

}  // namespace

std::string parseMetricsAddress(const std::string& text, MetricsAddress& out) {
  MetricsAddress address;
  std::string port = text;
  const std::size_t colon = text.rfind(':');
  if (colon != std::string::npos) {
    address.host = text.substr(0, colon);
    port = text.substr(colon + 1);
    if (address.host.size() >= 2 && address.host.front() == '[' && address.host.back() == ']') {
      address.host = address.host.substr(1, address.host.size() - 2);
      address.v6 = true;
    }
  }
  unsigned char bytes[sizeof(in6_addr)];
  if (::inet_pton(address.v6 ? AF_INET6 : AF_INET, address.host.c_str(), bytes) != 1)
    return "--metrics '" + text + "' is not PORT, ADDR:PORT or [ADDR]:PORT with a numeric address";
  if (!wholePort(port, address.port)) return "--metrics '" + text + "' has no port number from 0 to 65535";
  out = address;
  return {};
}

int MetricsServer::answerRequest(void* self, void* connection, const char* url, const char* method) {
  auto& server = *static_cast<MetricsServer*>(self);
  auto* c = static_cast<MHD_Connection*>(connection);
  if (std::strcmp(url, "/metrics") != 0) return MHD_queue_response(c, MHD_HTTP_NOT_FOUND, server.notFound_);
  if (std::strcmp(method, "GET") != 0 && std::strcmp(method, "HEAD") != 0)
    return MHD_queue_response(c, MHD_HTTP_METHOD_NOT_ALLOWED, server.getOnly_);
  MHD_Response* response = server.renderPage();
  if (response == nullptr) return MHD_NO;
  const MHD_Result result = MHD_queue_response(c, MHD_HTTP_OK, response);
  MHD_destroy_response(response);  // the connection holds it until it is sent
  return result;
}

MHD_Response* MetricsServer::renderPage() {
  if (freePages_.empty()) {
    pages_.push_back(std::make_unique<Page>(Page{this, {}}));
    freePages_.push_back(pages_.back().get());
  }
  Page* page = freePages_.back();
  if (render_)
    render_(page->text, page == lastPage_);
  else
    page->text.clear();
  lastPage_ = page;
  MHD_Response* response = MHD_create_response_from_buffer_with_free_callback_cls(
      page->text.size(), page->text.data(), &MetricsServer::onPageSent, page);
  if (response == nullptr) return nullptr;
  freePages_.pop_back();
  MHD_add_response_header(response, "Content-Type", kContentType);
  return response;
}

void MetricsServer::onPageSent(void* page) {
  auto* p = static_cast<Page*>(page);
  p->server->freePages_.push_back(p);
}

MetricsServer::MetricsServer(const MetricsAddress& address, Render render) : render_(std::move(render)) {
  sockaddr_storage storage{};
  // Turbo: reads and writes are tried before readiness is asked for, and no shutdown() before
  // close, which saves system calls on every scrape.
  unsigned flags = MHD_USE_EPOLL | MHD_USE_TURBO;
  if (address.v6) {
    auto* a = reinterpret_cast<sockaddr_in6*>(&storage);
    a->sin6_family = AF_INET6;
    a->sin6_port = htons(static_cast<std::uint16_t>(address.port));
    ::inet_pton(AF_INET6, address.host.c_str(), &a->sin6_addr);
    flags |= MHD_USE_IPv6;
  } else {
    auto* a = reinterpret_cast<sockaddr_in*>(&storage);
    a->sin_family = AF_INET;
    a->sin_port = htons(static_cast<std::uint16_t>(address.port));
    ::inet_pton(AF_INET, address.host.c_str(), &a->sin_addr);
  }
  daemon_ = MHD_start_daemon(flags, static_cast<std::uint16_t>(address.port), nullptr, nullptr, &handle, this,
                             MHD_OPTION_SOCK_ADDR, reinterpret_cast<sockaddr*>(&storage),
                             MHD_OPTION_CONNECTION_LIMIT, kConnectionLimit, MHD_OPTION_CONNECTION_TIMEOUT,
                             kConnectionTimeoutSeconds, MHD_OPTION_END);
  if (daemon_ == nullptr)
    setupError_ = "cannot serve /metrics on " + address.host + ":" + std::to_string(address.port) + ": " +
                  std::strerror(errno);
  notFound_ = fixedResponse("not found\n");
  getOnly_ = fixedResponse("GET only\n");
}

MetricsServer::~MetricsServer() {
  // Stopping hands back the pages still under way, so the buffers outlive it.
  if (daemon_ != nullptr) MHD_stop_daemon(daemon_);
  if (notFound_ != nullptr) MHD_destroy_response(notFound_);
  if (getOnly_ != nullptr) MHD_destroy_response(getOnly_);
}

int MetricsServer::fd() const {
  return daemon_ ? MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_EPOLL_FD)->epoll_fd : -1;
}

int MetricsServer::port() const {
  return daemon_ ? MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT)->port : 0;
}

MetricsServer::Time MetricsServer::nextDeadline(Time now) const {
  MHD_UNSIGNED_LONG_LONG ms = 0;
  if (daemon_ == nullptr || MHD_get_timeout(daemon_, &ms) != MHD_YES) return Time::max();
  return now + std::chrono::milliseconds(ms);
}

void MetricsServer::run() {
  if (daemon_ != nullptr) MHD_run(daemon_);
}

}  // namespace orlo::headless
