#include "core/parameter_workflow.h"

#include <utility>

namespace orlo {

ParameterWorkflow::ParameterWorkflow(ParameterSession& session, SnapshotStore snapshots, WriteRecord record,
                                     const Clock& clock)
    : session_(session), snapshots_(std::move(snapshots)), record_(std::move(record)), clock_(clock) {}

bool ParameterWorkflow::write(const std::vector<std::string>& texts, const std::string& portDevice,
                              std::int64_t nowMs, ParameterSession::Done done) {
  if (session_.busy()) return false;
  lastSnapshot_.clear();
  recordProblem_.clear();
  session_.setKeepBoard([this, portDevice](const AlarmValues& board) -> Status {
    Result<std::string> path = snapshots_.save(board, portDevice, clock_.localNow());
    if (!path) return fail(path.error());
    lastSnapshot_ = *path;
    return {};
  });
  return session_.write(
      texts, nowMs, [this, portDevice, done = std::move(done)](const ParameterResult& result) {
        session_.setKeepBoard(nullptr);
        if (result.outcome != ParameterOutcome::Refused) {
          const Status recorded = record_.append(writeEntryFor(result, portDevice, clock_.localNow()));
          if (!recorded)
            recordProblem_ = recorded.error().empty() ? "writes.csv could not be written" : recorded.error();
        }
        if (done) done(result);
      });
}

}  // namespace orlo
