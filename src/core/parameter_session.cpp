#include "core/parameter_session.h"

#include <utility>

#include "link/requests.h"

namespace orlo {
namespace {

using NameOf = std::string (*)(const AlarmParameterRow&);

std::string mismatchText(const ParameterResult& r, NameOf fieldName) {
  std::string text;
  for (const auto& m : r.mismatches) {
    text += "\n  " + fieldName(*m.row) + ": written " + std::to_string(m.written) + ", read back " +
            std::to_string(m.readBack);
  }
  return text;
}

std::string refusalText(const ParameterResult& r, NameOf fieldName) {
  if (r.wrongCount) return "Refused: the parameters must be 44 values. Nothing was sent.";
  if (!r.refused) return "Refused. Nothing was sent.";
  const AcceptedRange range = acceptedRange(*r.refused);
  return "Refused: " + fieldName(*r.refused) + " must be a whole number from " + std::to_string(range.min) +
         " to " + std::to_string(range.max) + ", not \"" + r.refusedText + "\". Nothing was sent.";
}

std::string sentOrNot(const ParameterResult& r) {
  return r.wrote ? " The Set request had been sent." : " Nothing was written.";
}

std::string noAnswerText(const ParameterResult& r, NameOf fieldName) {
  if (r.step != ParameterStep::SetAcknowledge)
    return std::string("No answer from the board while ") + stepName(r.step) + "." + sentOrNot(r);
  std::string text = "The board did not acknowledge the Set.";
  if (!r.haveReadBack) return text + " Reading back got no answer either.";
  if (r.mismatches.empty()) return text + " Reading back shows every value as written.";
  return text + " Reading back, " + std::to_string(r.mismatches.size()) +
         " values differ from what was written:" + mismatchText(r, fieldName);
}

}  // namespace

const char* stepName(ParameterStep step) {
  switch (step) {
    case ParameterStep::Read:
      return "reading the board's parameters";
    case ParameterStep::KeepBoard:
      return "keeping the board's parameters";
    case ParameterStep::SetAcknowledge:
      return "waiting for the Set acknowledge";
    case ParameterStep::ReadBack:
      return "reading back the written parameters";
  }
  return "";
}

std::string describe(const ParameterResult& r, FieldNames names) {
  const NameOf fieldName = names == FieldNames::Page ? pageFieldName : fullFieldName;
  switch (r.outcome) {
    case ParameterOutcome::Done:
      return "Read successful!";
    case ParameterOutcome::Verified: {
      int written = 0;
      for (const auto& row : alarmParameterRecord()) written += row.sent ? 1 : 0;
      return "Verified: " + std::to_string(written) + " values written and read back";
    }
    case ParameterOutcome::Mismatch:
      return std::to_string(r.mismatches.size()) +
             " values did not read back as written:" + mismatchText(r, fieldName);
    case ParameterOutcome::NoAnswer:
      return noAnswerText(r, fieldName);
    case ParameterOutcome::Refused:
      return refusalText(r, fieldName);
    case ParameterOutcome::NotKept:
      return "The board's parameters could not be kept before writing (" + r.detail +
             "). Nothing was written.";
    case ParameterOutcome::PortClosed:
      return std::string("The port is closed; stopped while ") + stepName(r.step) + "." + sentOrNot(r);
    case ParameterOutcome::PortLost:
      return std::string("The port went away (") + r.detail + ") while " + stepName(r.step) + "." +
             sentOrNot(r);
  }
  return {};
}

ParameterSession::ParameterSession(SerialControl& serial) : serial_(serial) {}

bool ParameterSession::start(Phase phase, std::int64_t nowMs, Done done) {
  if (busy()) return false;
  result_ = ParameterResult{};
  done_ = std::move(done);
  phase_ = phase;
  ackMissing_ = false;
  attempts_ = 0;
  owed_ = 0;
  staleOwed_ = 0;
  lastNowMs_ = nowMs;
  ++run_;
  return true;
}

bool ParameterSession::read(std::int64_t nowMs, Done done) {
  if (!start(Phase::Reading, nowMs, std::move(done))) return false;
  writing_ = false;
  sendRead(nowMs);
  return true;
}

bool ParameterSession::write(const std::vector<std::string>& texts, std::int64_t nowMs, Done done) {
  if (!start(Phase::Reading, nowMs, std::move(done))) return false;
  writing_ = true;
  const AlarmSetEncoding set = encodeAlarmSet(texts);
  if (!set.ok()) {
    result_.wrongCount = set.wrongCount;
    result_.refused = set.refused;
    result_.refusedText = set.refusedText;
    finish(ParameterOutcome::Refused);
    return true;
  }
  setData_ = set.data;
  result_.written = set.values;
  result_.haveWritten = true;
  sendRead(nowMs);
  return true;
}

// False when the operation ended here.
bool ParameterSession::sendRead(std::int64_t nowMs) {
  ++attempts_;
  sentAtMs_ = nowMs;
  const std::uint64_t run = run_;
  const bool sent = serial_.isOpen() && serial_.write(alarmParameterReadRequest());
  if (run != run_ || !busy()) return false;  // ended from within the write (port lost)
  if (sent) {
    ++owed_;
    return true;
  }
  finish(ParameterOutcome::PortClosed);
  return false;
}

void ParameterSession::onAlarmParameters(const FrameView& answer) {
  if (owed_ > 0) --owed_;
  // The board answers in order: until the answers owed to reads sent before the Set are in,
  // an answer tells what the board held before it.
  if (phase_ == Phase::AwaitAck || (phase_ == Phase::ReadingBack && staleOwed_ > 0)) {
    if (staleOwed_ > 0) --staleOwed_;
    return;
  }
  // A short answer lost bytes on the way; its missing fields would read as 0. The timer asks
  // again.
  if (answer.length() < alarmReadResultLength()) return;
  if (phase_ == Phase::Reading) {
    onBoardRead(decodeAlarmValues(answer));
  } else if (phase_ == Phase::ReadingBack) {
    result_.readBack = decodeAlarmValues(answer);
    result_.haveReadBack = true;
    compareReadBack();
  }
}

void ParameterSession::onBoardRead(const AlarmValues& values) {
  result_.board = values;
  result_.haveBoard = true;
  if (!writing_) return finish(ParameterOutcome::Done);
  if (!keepBoard_) return sendSet(lastNowMs_);
  phase_ = Phase::Keeping;
  const std::uint64_t run = run_;
  keepBoard_(values, [this, run](const Status& kept) { onKept(run, kept); });
}

void ParameterSession::onKept(std::uint64_t run, const Status& kept) {
  if (run != run_ || phase_ != Phase::Keeping) return;  // the write ended meanwhile
  if (!kept) {
    result_.detail = kept.error();
    result_.step = ParameterStep::KeepBoard;
    return finish(ParameterOutcome::NotKept);
  }
  sendSet(lastNowMs_);
}

void ParameterSession::sendSet(std::int64_t nowMs) {
  phase_ = Phase::AwaitAck;
  sentAtMs_ = nowMs;
  staleOwed_ = owed_;
  if (!serial_.isOpen()) return finish(ParameterOutcome::PortClosed);
  // From here on the board may have the request, whatever the write says afterwards.
  result_.wrote = true;
  const std::uint64_t run = run_;
  const bool sent = serial_.write(alarmParameterSetRequest(setData_));
  if (run != run_ || !busy()) return;  // ended from within the write (port lost)
  if (sent) return;
  result_.wrote = false;
  finish(ParameterOutcome::PortClosed);
}

void ParameterSession::onSetAcknowledge() {
  staleOwed_ = 0;  // answers still owed from before the Set were lost on the way
  if (phase_ != Phase::AwaitAck) return;
  phase_ = Phase::ReadingBack;
  attempts_ = 0;
  sendRead(lastNowMs_);
}

void ParameterSession::compareReadBack() {
  const auto& record = alarmParameterRecord();
  for (std::size_t i = 0; i < record.size(); ++i) {
    if (!record[i].sent || result_.readBack[i] == result_.written[i]) continue;
    result_.mismatches.push_back({&record[i], result_.written[i], result_.readBack[i]});
  }
  if (ackMissing_) return finish(ParameterOutcome::NoAnswer);
  finish(result_.mismatches.empty() ? ParameterOutcome::Verified : ParameterOutcome::Mismatch);
}

void ParameterSession::onPortLost(const std::string& reason) {
  if (!busy()) return;
  result_.detail = reason;
  finish(ParameterOutcome::PortLost);
}

void ParameterSession::tick(std::int64_t nowMs) {
  lastNowMs_ = nowMs;
  if (!busy()) return;
  if (!serial_.isOpen()) {
    result_.detail = "the port was closed";
    return finish(ParameterOutcome::PortLost);
  }
  if (phase_ != Phase::Keeping && nowMs - sentAtMs_ >= kAnswerTimeoutMs) timedOut(nowMs);
}

void ParameterSession::timedOut(std::int64_t nowMs) {
  if (phase_ == Phase::AwaitAck) {
    // The Set is not sent again unasked; reading back tells what the board did with it.
    ackMissing_ = true;
    phase_ = Phase::ReadingBack;
    attempts_ = 0;
    sendRead(nowMs);
    return;
  }
  if (attempts_ <= kReadRetries) {
    sendRead(nowMs);
    return;
  }
  finish(ParameterOutcome::NoAnswer);
}

ParameterStep ParameterSession::currentStep() const {
  switch (phase_) {
    case Phase::Keeping:
      return ParameterStep::KeepBoard;
    case Phase::AwaitAck:
      return ParameterStep::SetAcknowledge;
    case Phase::ReadingBack:
      return ackMissing_ ? ParameterStep::SetAcknowledge : ParameterStep::ReadBack;
    default:
      return ParameterStep::Read;
  }
}

void ParameterSession::finish(ParameterOutcome outcome) {
  result_.outcome = outcome;
  if (outcome != ParameterOutcome::NotKept) result_.step = currentStep();
  if (outcome == ParameterOutcome::Refused) result_.step = ParameterStep::Read;
  phase_ = Phase::Idle;
  // The callback may start the next operation, which resets the handler and the result.
  Done done = std::move(done_);
  done_ = nullptr;
  const ParameterResult finished = result_;
  if (done) done(finished);
}

}  // namespace orlo
