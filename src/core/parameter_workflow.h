#pragma once
// A write as the user asks for it: the board's values kept as a snapshot before the Set, the
// session's write and read back, and one line in writes.csv whatever came of it (a write
// refused before anything was sent leaves no line). The window's "Write with Review" and the
// headless "params write" both end here.

#include <string>
#include <vector>

#include "core/file_work.h"
#include "core/parameter_session.h"
#include "core/snapshot_store.h"
#include "core/write_record.h"
#include "util/clock.h"

namespace orlo {

class ParameterWorkflow {
 public:
  // The snapshot and the writes.csv line are written through `files` (at once when none).
  ParameterWorkflow(ParameterSession& session, SnapshotStore snapshots, WriteRecord record,
                    const Clock& clock, FileWork* files = nullptr);

  // `portDevice` names the port in the snapshot and the record. False while the session is busy.
  bool write(const std::vector<std::string>& texts, const std::string& portDevice, std::int64_t nowMs,
             ParameterSession::Done done);

  // The snapshot the last write kept ("" when it kept none).
  const std::string& lastSnapshot() const { return lastSnapshot_; }
  // Why writes.csv did not take the last write's line ("" when it did).
  const std::string& recordProblem() const { return recordProblem_; }
  const SnapshotStore& snapshots() const { return snapshots_; }

 private:
  ParameterSession& session_;
  SnapshotStore snapshots_;
  WriteRecord record_;
  void keep(const AlarmValues& board, const std::string& portDevice, ParameterSession::Kept kept);
  void record(const ParameterResult& result, const std::string& portDevice,
              const ParameterSession::Done& done);

  const Clock& clock_;
  FileWork atOnce_;
  FileWork& files_;
  std::string lastSnapshot_;
  std::string recordProblem_;
};

}  // namespace orlo
