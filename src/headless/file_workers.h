#pragma once
// The station's durable file work on a few threads beside the poll loop: a board's snapshot
// and records are synced there while the loop goes on serving the other boards' lines, and the
// syncs of boards that get there together overlap (the file system commits them together).
// What each job's `done` does runs back on the loop's thread, from takeDone(), when the
// descriptor wakeFd() turns readable.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "core/file_work.h"
#include "util/unique_fd.h"

namespace orlo::headless {

class FileWorkers : public FileWork {
 public:
  explicit FileWorkers(std::size_t threads);
  ~FileWorkers() override;  // finishes the jobs taken; their `done` is dropped
  FileWorkers(const FileWorkers&) = delete;
  FileWorkers& operator=(const FileWorkers&) = delete;

  void run(std::function<void()> work, std::function<void()> done) override;

  // Readable while a finished job's `done` waits for the loop.
  int wakeFd() const { return wake_.get(); }
  // Runs the `done` of every job finished so far, on the caller's thread.
  void takeDone();
  // Jobs given whose `done` has not run yet.
  std::size_t pending() const { return pending_; }

 private:
  using Job = std::pair<std::function<void()>, std::function<void()>>;
  void serve();

  UniqueFd wake_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Job> jobs_;
  std::vector<std::function<void()>> finished_;
  bool ending_ = false;
  std::size_t pending_ = 0;  // the loop's thread alone counts
  std::vector<std::thread> threads_;
};

}  // namespace orlo::headless
