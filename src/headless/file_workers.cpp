#include "headless/file_workers.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace orlo::headless {

FileWorkers::FileWorkers(std::size_t threads) : wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  // Without the descriptor the loop could not hear of finished jobs: then they run at once.
  if (!wake_) return;
  for (std::size_t i = 0; i < threads; ++i) threads_.emplace_back([this] { serve(); });
}

FileWorkers::~FileWorkers() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    ending_ = true;
  }
  ready_.notify_all();
  for (std::thread& t : threads_) t.join();
}

void FileWorkers::run(std::function<void()> work, std::function<void()> done) {
  if (threads_.empty()) return FileWork::run(std::move(work), std::move(done));
  ++pending_;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    jobs_.emplace_back(std::move(work), std::move(done));
  }
  ready_.notify_one();
}

void FileWorkers::serve() {
  for (;;) {
    Job job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      ready_.wait(lock, [this] { return ending_ || !jobs_.empty(); });
      if (jobs_.empty()) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    job.first();
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      finished_.push_back(std::move(job.second));
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t woken = ::write(wake_.get(), &one, sizeof one);
  }
}

void FileWorkers::takeDone() {
  std::uint64_t count = 0;
  [[maybe_unused]] const ssize_t cleared = ::read(wake_.get(), &count, sizeof count);
  std::vector<std::function<void()>> done;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    done.swap(finished_);
  }
  for (auto& d : done) {
    --pending_;
    d();
  }
}

}  // namespace orlo::headless
