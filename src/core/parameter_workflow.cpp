#include "core/parameter_workflow.h"

#include <memory>
#include <utility>

namespace orlo {

ParameterWorkflow::ParameterWorkflow(ParameterSession& session, SnapshotStore snapshots, WriteRecord record,
                                     const Clock& clock, FileWork* files)
    : session_(session),
      snapshots_(std::move(snapshots)),
      record_(std::move(record)),
      clock_(clock),
      files_(files != nullptr ? *files : atOnce_) {}

bool ParameterWorkflow::write(const std::vector<std::string>& texts, const std::string& portDevice,
                              std::int64_t nowMs, ParameterSession::Done done) {
  if (session_.busy()) return false;
  lastSnapshot_.clear();
  recordProblem_.clear();
  session_.setKeepBoard([this, portDevice](const AlarmValues& board, ParameterSession::Kept kept) {
    keep(board, portDevice, std::move(kept));
  });
  return session_.write(texts, nowMs,
                        [this, portDevice, done = std::move(done)](const ParameterResult& result) {
                          session_.setKeepBoard(nullptr);
                          if (result.outcome == ParameterOutcome::Refused) {
                            if (done) done(result);
                            return;
                          }
                          record(result, portDevice, done);
                        });
}

// The work gets copies only: it may run on another thread while this object's loop goes on.
void ParameterWorkflow::keep(const AlarmValues& board, const std::string& portDevice,
                             ParameterSession::Kept kept) {
  auto saved = std::make_shared<Result<std::string>>(fail("the snapshot was not written"));
  files_.run([saved, store = snapshots_, board, portDevice,
              time = clock_.localNow()] { *saved = store.save(board, portDevice, time); },
             [this, saved, kept = std::move(kept)] {
               if (*saved) lastSnapshot_ = **saved;
               kept(*saved ? Status{} : fail(saved->error()));
             });
}

void ParameterWorkflow::record(const ParameterResult& result, const std::string& portDevice,
                               const ParameterSession::Done& done) {
  auto recorded = std::make_shared<Status>();
  files_.run(
      [recorded, writes = record_, entry = writeEntryFor(result, portDevice, clock_.localNow())] {
        *recorded = writes.append(entry);
      },
      [this, recorded, result, done] {
        if (!*recorded)
          recordProblem_ = recorded->error().empty() ? "writes.csv could not be written" : recorded->error();
        if (done) done(result);
      });
}

}  // namespace orlo
