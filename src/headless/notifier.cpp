#include "headless/notifier.h"

#include <curl/curl.h>
#include <sys/epoll.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>

#include "headless/messages.h"
#include "util/platform.h"

namespace orlo::headless {
namespace {

constexpr int kBackoffSteps = 10;  // the longest wait is this many times retry_s

curl_slist* list(const std::vector<std::string>& lines) {
  curl_slist* out = nullptr;
  for (const std::string& line : lines) out = curl_slist_append(out, line.c_str());
  return out;
}

// RFC 5322 date of now, for the mail's Date header.
std::string mailDate() {
  const std::tm local = localTime(std::time(nullptr));
  char text[64];
  std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S %z", &local);
  return text;
}

}  // namespace

// One notice for one channel: what is sent, and the transfer while it is under way.
struct Notifier::Job {
  std::string body;
  std::vector<std::string> headers;
  std::size_t readAt = 0;  // mail upload position
  CURL* easy = nullptr;
  curl_slist* headerList = nullptr;
  curl_slist* recipients = nullptr;
  char error[CURL_ERROR_SIZE] = {};

  void release(CURLM* multi) {
    if (easy != nullptr) {
      curl_multi_remove_handle(multi, easy);
      curl_easy_cleanup(easy);
    }
    curl_slist_free_all(headerList);
    curl_slist_free_all(recipients);
    easy = nullptr;
    headerList = recipients = nullptr;
  }

  static std::size_t read(char* out, std::size_t size, std::size_t count, void* self) {
    Job& job = *static_cast<Job*>(self);
    const std::size_t n = std::min(size * count, job.body.size() - job.readAt);
    std::memcpy(out, job.body.data() + job.readAt, n);
    job.readAt += n;
    return n;
  }
  static std::size_t discard(char*, std::size_t size, std::size_t count, void*) { return size * count; }

  // A fresh transfer for one attempt.
  void prepare(const NotifyChannel& c, std::size_t channel) {
    easy = curl_easy_init();
    curl_easy_setopt(easy, CURLOPT_URL, c.url.c_str());
    curl_easy_setopt(easy, CURLOPT_PRIVATE, reinterpret_cast<void*>(channel));
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT, static_cast<long>(c.timeoutSeconds));
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Job::discard);
    if (!c.caFile.empty()) curl_easy_setopt(easy, CURLOPT_CAINFO, c.caFile.c_str());
    error[0] = '\0';
    if (c.kind == NotifyKind::Email) {
      readAt = 0;
      curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
      // A mail server that does not offer STARTTLS is refused: the login never goes in clear.
      curl_easy_setopt(easy, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
      if (!c.username.empty()) {
        curl_easy_setopt(easy, CURLOPT_USERNAME, c.username.c_str());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, c.password.c_str());
      }
      curl_easy_setopt(easy, CURLOPT_MAIL_FROM, c.from.c_str());
      recipients = list(c.to);
      curl_easy_setopt(easy, CURLOPT_MAIL_RCPT, recipients);
      curl_easy_setopt(easy, CURLOPT_UPLOAD, 1L);
      curl_easy_setopt(easy, CURLOPT_READFUNCTION, &Job::read);
      curl_easy_setopt(easy, CURLOPT_READDATA, this);
      curl_easy_setopt(easy, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(body.size()));
      return;
    }
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    headerList = list(headers);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headerList);
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body.data());
  }
};

std::string Notifier::describe(const NotifyChannel& c) {
  const char* kind = c.kind == NotifyKind::Ntfy      ? "ntfy"
                     : c.kind == NotifyKind::Webhook ? "webhook"
                                                     : "email";
  return std::string(kind) + " " + c.url;
}

Notifier::Notifier(std::vector<NotifyChannel> channels, bool retry, Result result)
    : channels_(std::move(channels)),
      queues_(channels_.size()),
      retry_(retry),
      result_(std::move(result)),
      epoll_(::epoll_create1(EPOLL_CLOEXEC)) {
  if (!epoll_) {
    setupError_ = std::string("epoll: ") + std::strerror(errno);
    return;
  }
  multi_ = curl_multi_init();
  if (multi_ == nullptr) {
    setupError_ = "libcurl could not be set up";
    return;
  }
  curl_multi_setopt(multi_, CURLMOPT_SOCKETFUNCTION, &Notifier::onSocket);
  curl_multi_setopt(multi_, CURLMOPT_SOCKETDATA, this);
  curl_multi_setopt(multi_, CURLMOPT_TIMERFUNCTION, &Notifier::onCurlTimer);
  curl_multi_setopt(multi_, CURLMOPT_TIMERDATA, this);
}

Notifier::~Notifier() {
  for (Queue& q : queues_)
    for (auto& job : q.jobs) job->release(multi_);
  if (multi_ != nullptr) curl_multi_cleanup(multi_);
}

int Notifier::onSocket(void*, int socket, int what, void* self, void*) {
  static_cast<Notifier*>(self)->watchSocket(socket, what);
  return 0;
}

int Notifier::onCurlTimer(void*, long timeoutMs, void* self) {
  Notifier& n = *static_cast<Notifier*>(self);
  n.curlDue_ = timeoutMs == 0;
  n.curlDeadline_ =
      timeoutMs < 0 ? Time::max() : std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  return 0;
}

void Notifier::watchSocket(int socket, int what) {
  if (what == CURL_POLL_REMOVE) {
    ::epoll_ctl(epoll_.get(), EPOLL_CTL_DEL, socket, nullptr);
    return;
  }
  epoll_event event{};
  event.events = (what & CURL_POLL_IN ? EPOLLIN : 0u) | (what & CURL_POLL_OUT ? EPOLLOUT : 0u);
  event.data.fd = socket;
  if (::epoll_ctl(epoll_.get(), EPOLL_CTL_MOD, socket, &event) != 0 && errno == ENOENT)
    ::epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, socket, &event);
}

Notifier::Time Notifier::nextDeadline() const {
  Time next = curlDue_ ? Time::min() : curlDeadline_;
  for (const Queue& q : queues_)
    if (!q.busy && !q.jobs.empty()) next = std::min(next, q.retryAt);
  return next;
}

void Notifier::send(const Notice& notice, Time now) {
  for (std::size_t i = 0; i < channels_.size(); ++i) {
    const NotifyChannel& c = channels_[i];
    auto job = std::make_unique<Job>();
    if (c.kind == NotifyKind::Webhook) {
      job->body = webhookBody(notice);
      job->headers.push_back("Content-Type: application/json");
      for (const auto& [name, value] : c.headers) job->headers.push_back(name + ": " + value);
    } else if (c.kind == NotifyKind::Ntfy) {
      job->body = notice.message;
      job->headers = ntfyHeaders(notice);
      if (!c.token.empty()) job->headers.push_back("Authorization: Bearer " + c.token);
    } else {
      job->body = mailText(notice, c.from, c.to, mailDate());
    }
    Queue& q = queues_[i];
    if (q.jobs.size() >= kQueueLimit) {
      // The oldest waiting notice makes room; the one under way finishes first.
      q.jobs.erase(q.jobs.begin() + (q.busy ? 1 : 0));
      ++q.failed;
    }
    q.jobs.push_back(std::move(job));
    if (!q.busy && q.jobs.size() == 1) q.retryAt = now;
  }
  onTimer(now);
}

void Notifier::start(std::size_t channel, Time) {
  Queue& q = queues_[channel];
  Job& job = *q.jobs.front();
  job.prepare(channels_[channel], channel);
  q.busy = true;
  curl_multi_add_handle(multi_, job.easy);
}

void Notifier::onReady(Time now) {
  epoll_event ready[16];
  const int count = ::epoll_wait(epoll_.get(), ready, 16, 0);
  int running = 0;
  for (int k = 0; k < count; ++k) {
    const int flags = (ready[k].events & EPOLLIN ? CURL_CSELECT_IN : 0) |
                      (ready[k].events & EPOLLOUT ? CURL_CSELECT_OUT : 0) |
                      (ready[k].events & (EPOLLERR | EPOLLHUP) ? CURL_CSELECT_ERR : 0);
    curl_multi_socket_action(multi_, ready[k].data.fd, flags, &running);
  }
  collect(now);
}

void Notifier::onTimer(Time now) {
  for (std::size_t i = 0; i < queues_.size(); ++i)
    if (!queues_[i].busy && !queues_[i].jobs.empty() && queues_[i].retryAt <= now) start(i, now);
  if (curlDue_ || curlDeadline_ <= now) {
    curlDue_ = false;
    curlDeadline_ = Time::max();
    int running = 0;
    curl_multi_socket_action(multi_, CURL_SOCKET_TIMEOUT, 0, &running);
  }
  collect(now);
}

void Notifier::collect(Time now) {
  int left = 0;
  while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
    if (message->msg != CURLMSG_DONE) continue;
    void* data = nullptr;
    curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &data);
    const auto channel = reinterpret_cast<std::size_t>(data);
    const Job& job = *queues_[channel].jobs.front();
    std::string error;
    if (message->data.result != CURLE_OK) {
      error = job.error[0] != '\0' ? job.error : curl_easy_strerror(message->data.result);
      if (message->data.result == CURLE_LOGIN_DENIED)
        error = "the server refused the login of '" + channels_[channel].username + "' (" + error + ")";
    } else if (channels_[channel].kind != NotifyKind::Email) {
      long code = 0;
      curl_easy_getinfo(message->easy_handle, CURLINFO_RESPONSE_CODE, &code);
      if (code < 200 || code > 299) error = "HTTP " + std::to_string(code);
    }
    finish(channel, error.empty(), error, now);
  }
}

void Notifier::finish(std::size_t channel, bool ok, const std::string& error, Time now) {
  Queue& q = queues_[channel];
  q.jobs.front()->release(multi_);
  q.busy = false;
  if (result_) result_(channel, ok, error);
  const std::string name = describe(channels_[channel]);
  if (ok || !retry_) {
    if (ok && q.down)
      std::fprintf(stderr, "orlo-bms: notify %s works again; %zu notices waiting\n", name.c_str(),
                   q.jobs.size() - 1);
    q.down = false;
    q.attempts = 0;
    ++(ok ? q.sent : q.failed);
    q.jobs.pop_front();
    q.retryAt = now;
    return;
  }
  if (!q.down)
    std::fprintf(stderr, "orlo-bms: notify %s failed: %s; retrying, notices wait (at most %zu)\n",
                 name.c_str(), error.c_str(), kQueueLimit);
  q.down = true;
  ++q.failed;
  const int step = std::min(q.attempts++, kBackoffSteps);
  const int wait = std::min(channels_[channel].retrySeconds << std::min(step, 4),
                            channels_[channel].retrySeconds * kBackoffSteps);
  q.retryAt = now + std::chrono::seconds(wait);
}

bool Notifier::idle() const {
  return std::all_of(queues_.begin(), queues_.end(), [](const Queue& q) { return q.jobs.empty(); });
}

bool Notifier::busy() const {
  return std::any_of(queues_.begin(), queues_.end(), [](const Queue& q) { return q.busy; });
}

std::size_t Notifier::waiting() const {
  std::size_t n = 0;
  for (const Queue& q : queues_) n += q.jobs.size();
  return n;
}

}  // namespace orlo::headless
