#pragma once
// Real receivers of the monitor's notices on loopback: an HTTP server that records every request
// and answers with a status the test sets per path, and aiosmtpd (STARTTLS required, a login
// checked) that appends every mail to a file.

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "headless/mqtt_harness.h"
#include "support/scratch_files.h"

namespace orlo::headless::test {

struct HttpRequest {
  std::string method;
  std::string path;
  std::map<std::string, std::string> headers;
  std::string body;
};

class HttpReceiver {
 public:
  HttpReceiver() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 16);
    socklen_t size = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~HttpReceiver() {
    stop_ = true;
    thread_.join();
    ::close(listener_);
  }

  std::string url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  // While held, connections wait in the listen queue, unanswered.
  void hold(bool on) { held_ = on; }
  void answer(const std::string& path, int status) {
    std::lock_guard<std::mutex> lock(mutex_);
    status_[path] = status;
  }
  // The requests to `path` answered with a 2xx status.
  std::vector<HttpRequest> accepted(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<HttpRequest> out;
    for (const auto& [request, status] : requests_)
      if (request.path == path && status / 100 == 2) out.push_back(request);
    return out;
  }
  std::size_t refused() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::size_t n = 0;
    for (const auto& entry : requests_) n += entry.second / 100 == 2 ? 0 : 1;
    return n;
  }

 private:
  void serve() {
    while (!stop_) {
      if (held_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        continue;
      }
      pollfd p{listener_, POLLIN, 0};
      // Held while it waited: the connection stays queued.
      if (::poll(&p, 1, 50) <= 0 || held_) continue;
      const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) handle(fd);
    }
  }
  void handle(int fd) {
    std::string data;
    char buffer[4096];
    std::size_t headEnd = std::string::npos, length = 0;
    while (headEnd == std::string::npos || data.size() < headEnd + 4 + length) {
      const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      data.append(buffer, static_cast<std::size_t>(n));
      if (headEnd == std::string::npos && (headEnd = data.find("\r\n\r\n")) != std::string::npos)
        length = parseHead(data.substr(0, headEnd));
    }
    int status = 200;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (status_.count(current_.path)) status = status_[current_.path];
      current_.body = headEnd == std::string::npos ? "" : data.substr(headEnd + 4);
      requests_.emplace_back(current_, status);
    }
    const std::string reply =
        "HTTP/1.1 " + std::to_string(status) + " X\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
    ::close(fd);
  }
  std::size_t parseHead(const std::string& head) {
    current_ = HttpRequest{};
    std::size_t at = head.find("\r\n");
    const std::string first = head.substr(0, at);
    current_.method = first.substr(0, first.find(' '));
    current_.path = first.substr(first.find(' ') + 1, first.rfind(' ') - first.find(' ') - 1);
    while (at != std::string::npos && at < head.size()) {
      const std::size_t next = head.find("\r\n", at + 2);
      const std::string line =
          head.substr(at + 2, next == std::string::npos ? std::string::npos : next - at - 2);
      const std::size_t colon = line.find(':');
      if (colon != std::string::npos) current_.headers[line.substr(0, colon)] = line.substr(colon + 2);
      at = next;
    }
    return current_.headers.count("Content-Length") ? std::stoul(current_.headers["Content-Length"]) : 0;
  }

  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<bool> held_{false};
  std::thread thread_;
  std::mutex mutex_;
  std::map<std::string, int> status_;
  HttpRequest current_;
  std::vector<std::pair<HttpRequest, int>> requests_;
};

constexpr const char* kSmtpServer = R"(
import ssl, sys, time
from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult
port, cert, key, out = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
class Handler:
    async def handle_DATA(self, server, session, envelope):
        with open(out, 'ab') as f:
            f.write(('RCPT ' + ','.join(envelope.rcpt_tos) + '\n').encode() + envelope.content + b'\n.\n')
        return '250 OK'
def login(server, session, envelope, mechanism, data):
    # handled=False: a refused login is answered 535 (by default nothing is said)
    return AuthResult(success=data.login == b'bms' and data.password == b'mail secret', handled=False)
context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
context.load_cert_chain(cert, key)
Controller(Handler(), hostname='127.0.0.1', port=port, tls_context=context, require_starttls=True,
           authenticator=login, auth_require_tls=True).start()
print('ready', flush=True)
time.sleep(3600)
)";

// aiosmtpd on a free port with a self-signed certificate for 127.0.0.1 (cert.pem in `dir`).
class SmtpServer {
 public:
  explicit SmtpServer(const orlo::test::ScratchDir& dir) : port_(freePort()), mails_(dir.file("mails.txt")) {
    orlo::test::writeFile(dir.file("smtp.py"), kSmtpServer);
    const std::string cert = dir.file("cert.pem"), key = dir.file("key.pem");
    const std::string make =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 "
        "-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout " +
        key + " -out " + cert + " 2>/dev/null";
    if (std::system(make.c_str()) != 0) return;
    log_ = dir.file("smtp.log");
    child_ = std::make_unique<Child>(std::vector<std::string>{"/usr/bin/python3", dir.file("smtp.py"),
                                                              std::to_string(port_), cert, key, mails_},
                                     log_);
    for (int i = 0; i < 200 && orlo::test::readFile(log_).find("ready") == std::string::npos; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::string url() const { return "smtp://127.0.0.1:" + std::to_string(port_); }
  std::string mails() const { return orlo::test::readFile(mails_); }
  std::string log() const { return orlo::test::readFile(log_); }

 private:
  int port_;
  std::string mails_;
  std::string log_;
  std::unique_ptr<Child> child_;
};

}  // namespace orlo::headless::test
