#pragma once
// The real parts of the monitor's end-to-end tests: child processes (broker, simulators, the
// monitor) with their output in files, a Mosquitto broker on a free loopback port with a
// generated config, and a subscriber that records every message.

#include <fcntl.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/scratch_files.h"

namespace orlo::headless::test {

inline std::string binary(const std::string& relative) {
  const char* dir = std::getenv("ORLO_BIN_DIR");
  return std::string(dir ? dir : ".") + "/" + relative;
}

inline int freePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t size = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(fd);
  return ntohs(address.sin_port);
}

// A child process whose standard output and error go to `logPath`.
class Child {
 public:
  Child(const std::vector<std::string>& argv, const std::string& logPath) {
    pid_ = ::fork();
    if (pid_ == 0) {
      const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
      ::dup2(log, 1);
      ::dup2(log, 2);
      std::vector<char*> args;
      for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      ::execv(args[0], args.data());
      ::_exit(127);
    }
  }
  ~Child() {
    if (running()) {
      ::kill(pid_, SIGKILL);
      wait();
    }
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool running() const { return pid_ > 0 && status_ < 0; }
  void signal(int sig) const { ::kill(pid_, sig); }
  // Exit status, 128 + signal when killed, -1 when still running after `timeoutMs`.
  int wait(int timeoutMs = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (status_ < 0) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        break;
      }
      if (std::chrono::steady_clock::now() > end) return -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return status_;
  }

 private:
  pid_t pid_ = -1;
  int status_ = -1;
};

// Mosquitto with the given listener lines, never the system's service.
inline std::vector<std::string> brokerCommand(const orlo::test::ScratchDir& dir, const std::string& listener,
                                              const std::string& name = "mosquitto.conf") {
  std::string config = listener + "persistence false\nlog_dest stderr\n";
  if (::geteuid() == 0) config += "user root\n";  // keep reading the test's private folder
  orlo::test::writeFile(dir.file(name), config);
  return {"/usr/sbin/mosquitto", "-c", dir.file(name)};
}

struct Message {
  std::string topic;
  std::string payload;
  bool retained;
};

// Subscribes to '#' on a plain listener and records everything, with libmosquitto's own thread.
class Subscriber {
 public:
  explicit Subscriber(int port) {
    client_ = mosquitto_new(nullptr, true, this);
    mosquitto_message_callback_set(client_, [](mosquitto*, void* self, const mosquitto_message* m) {
      auto* s = static_cast<Subscriber*>(self);
      std::lock_guard<std::mutex> lock(s->mutex_);
      s->messages_.push_back(
          {m->topic,
           std::string(static_cast<const char*>(m->payload), static_cast<std::size_t>(m->payloadlen)),
           m->retain});
    });
    mosquitto_connect_callback_set(client_, [](mosquitto* c, void*, int rc) {
      if (rc == 0) mosquitto_subscribe(c, nullptr, "#", 1);
    });
    for (int i = 0; i < 100 && mosquitto_connect(client_, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    mosquitto_loop_start(client_);
  }
  ~Subscriber() {
    mosquitto_disconnect(client_);
    mosquitto_loop_stop(client_, true);
    mosquitto_destroy(client_);
  }

  std::vector<Message> messages() {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
  }
  std::vector<Message> on(const std::string& topic) {
    std::vector<Message> out;
    for (const Message& m : messages())
      if (m.topic == topic) out.push_back(m);
    return out;
  }
  // Waits until a message on `topic` with `payload` (any payload when empty) has come.
  bool waitFor(const std::string& topic, const std::string& payload, int timeoutMs, std::size_t from = 0) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
      const auto all = messages();
      for (std::size_t i = from; i < all.size(); ++i)
        if (all[i].topic == topic && (payload.empty() || all[i].payload == payload)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < end);
    return false;
  }
  std::size_t count() { return messages().size(); }

 private:
  mosquitto* client_ = nullptr;
  std::mutex mutex_;
  std::vector<Message> messages_;
};

// Waits until something exists at `path` (a device link a simulator makes, a file a program
// writes); false after `timeoutMs`.
inline bool waitForPath(const std::string& path, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  struct stat info {};
  while (::stat(path.c_str(), &info) != 0) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace orlo::headless::test
