#pragma once
// Where the durable file work of a parameter write and of a station board runs (a snapshot
// before the Set, the writes.csv line, the station's report and row): this base runs it at
// once, on the caller's thread. The command line's station hands it to workers instead, so
// that one board's syncs never hold up the line of another; either way `done` runs on the
// owner's thread, after `work`, and only `done` may touch the owner's state.

#include <functional>

namespace orlo {

class FileWork {
 public:
  virtual ~FileWork() = default;
  // `work` touches only what it captured; `done` comes after it, where the owner's loop runs.
  virtual void run(std::function<void()> work, std::function<void()> done) {
    work();
    done();
  }
};

}  // namespace orlo
