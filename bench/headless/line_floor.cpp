// The line work of orlo-bms monitor and nothing else: each device gets the poll request once a
// second and what it answers is read and thrown away, with orlo-bms's own port code and the same
// one-epoll loop. No frame is decoded, nothing is published. bench/headless/measure runs it
// beside the two programs (BENCH_FLOOR=1) to show how much of their CPU the kernel's terminal
// work alone costs: no program doing the job can cost less than this.
//
// Usage: line-floor DEVICE...

#include <sys/epoll.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "headless/serial_port.h"
#include "link/requests.h"

int main(int argc, char** argv) {
  using Clock = std::chrono::steady_clock;
  const int epoll = ::epoll_create1(EPOLL_CLOEXEC);
  std::vector<std::unique_ptr<orlo::headless::SerialPort>> ports;
  for (int i = 1; i < argc; ++i) {
    auto port = std::make_unique<orlo::headless::SerialPort>();
    if (const orlo::Status opened = port->open(argv[i]); !opened) {
      std::fprintf(stderr, "line-floor: %s: %s\n", argv[i], opened.error().c_str());
      return 1;
    }
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = ports.size();
    ::epoll_ctl(epoll, EPOLL_CTL_ADD, port->fd(), &event);
    ports.push_back(std::move(port));
  }
  if (ports.empty()) {
    std::fprintf(stderr, "usage: line-floor DEVICE...\n");
    return 2;
  }
  const orlo::Bytes request = orlo::pollRequest();
  auto nextPoll = Clock::now();
  std::uint8_t buffer[1024];
  std::string reason;
  for (;;) {
    auto now = Clock::now();
    if (now >= nextPoll) {
      for (const auto& port : ports) port->write(request.data(), request.size());
      while (nextPoll <= now) nextPoll += std::chrono::seconds(1);
    }
    epoll_event ready[64];
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(nextPoll - now).count();
    const int count = ::epoll_wait(epoll, ready, 64, static_cast<int>(wait));
    for (int k = 0; k < count; ++k)
      if (ports[ready[k].data.u64]->read(buffer, sizeof buffer, reason) < 0) {
        std::fprintf(stderr, "line-floor: %s\n", reason.c_str());
        return 1;
      }
  }
}
