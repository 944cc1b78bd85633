#include "core/station_board.h"

#include <cmath>
#include <memory>

#include "core/alarm_parameter_record.h"
#include "core/calibration_check.h"
#include "core/station_checks.h"
#include "link/requests.h"
#include "util/decimal_text.h"

namespace orlo {

std::string todayText(const std::tm& now) {
  return isoTimeText(now).substr(0, 10);
}

bool startsAtOnce(const std::optional<std::string>& lastLabel, const std::string& typed) {
  if (!lastLabel) return !typed.empty();
  return typed != *lastLabel || typed.empty();
}

StationBoard::StationBoard(SerialControl& serial, const Recipe& recipe, StationSetup setup,
                           StationOperator& person, const StationRecord& record, const Clock& clock)
    : serial_(serial),
      recipe_(recipe),
      setup_(std::move(setup)),
      person_(person),
      record_(record),
      clock_(clock),
      files_(setup_.files != nullptr ? *setup_.files : atOnce_),
      session_(serial) {
  workflow_ = std::make_unique<ParameterWorkflow>(session_, SnapshotStore(setup_.snapshotFolder),
                                                  WriteRecord(setup_.writeRecordPath), clock_, &files_);
  report_.station = setup_.station;
  report_.operatorName = setup_.operatorName;
  report_.recipe = recipe_.name;
  report_.recipeSha256 = recipe_.sha256;
  report_.device = setup_.device;
  report_.label = setup_.label;
  for (StationStep s : kStationSteps) report_.step(s);
}

void StationBoard::start(std::int64_t nowMs) {
  nowMs_ = nowMs;
  begin(StationStep::Identify);
}

void StationBoard::begin(StationStep step) {
  step_ = step;
  deadlineMs_ = nowMs_ + kLiveTimeoutMs;
  person_.stepChanged(current());
  switch (step) {
    case StationStep::Identify:
      phase_ = Phase::Identify;
      current().values = {{"label", setup_.label}};
      session_.read(nowMs_, [this](const ParameterResult& r) { onIdentified(r); });
      return;
    case StationStep::Rest:
    case StationStep::Final:
      phase_ = step == StationStep::Rest ? Phase::Rest : Phase::Final;
      poll();
      return;
    case StationStep::Balance:
      phase_ = Phase::Balance;
      return startCell();
    case StationStep::Calibration:
      return askPoint();
    case StationStep::Parameters:
      phase_ = Phase::Parameters;
      current().values = {{"file", recipe_.parametersPath}};
      workflow_->write(recipe_.parameterValues, setup_.device, nowMs_,
                       [this](const ParameterResult& r) { onParametersWritten(r); });
      return;
  }
}

// The step after `after` that the recipe asks for; steps it does not ask for are skipped.
void StationBoard::next(StationStep after) {
  for (std::size_t i = 0; i + 1 < kStationSteps.size(); ++i) {
    if (kStationSteps[i] != after) continue;
    const StationStep step = kStationSteps[i + 1];
    const bool wanted = (step != StationStep::Balance || !recipe_.balance.cells.empty()) &&
                        (step != StationStep::Calibration || recipe_.calibration) &&
                        (step != StationStep::Parameters || !recipe_.parametersPath.empty());
    if (wanted) return begin(step);
    step_ = step;
    current().result = StepResult::Skipped;
    return next(step);
  }
  finishBoard();
}

void StationBoard::endStep(StepResult result, const std::string& message) {
  StepReport& s = current();
  s.result = result;
  s.message = message;
  person_.stepChanged(s);
  const bool halt = result == StepResult::Fail && (recipe_.stopOnFailure || step_ == StationStep::Identify);
  if (halt || step_ == StationStep::Final) return finishBoard();
  next(step_);
}

// The record is written from a copy, which comes back as the board's report once written.
void StationBoard::finishBoard() {
  phase_ = Phase::Saving;
  liveWanted_ = false;
  report_.time = isoTimeText(clock_.localNow());
  report_.result = report_.failedStep() != nullptr ? BoardResult::Fail : BoardResult::Pass;
  auto saved = std::make_shared<BoardReport>(report_);
  files_.run([saved, &record = record_, extra = setup_.extraReport,
              extension = setup_.extraExtension] { record.save(*saved, extra, extension); },
             [this, saved] {
               report_ = std::move(*saved);
               phase_ = Phase::Done;
             });
}

void StationBoard::failNow(const std::string& message) {
  if (phase_ == Phase::Done || phase_ == Phase::Saving) return;
  if (manualOn_) leaveBalance(message);
  liveWanted_ = false;
  phase_ = Phase::Saving;  // no step after this one runs
  StepReport& s = current();
  s.result = StepResult::Fail;
  s.message = s.message.empty() ? message : s.message + "; " + message;
  person_.stepChanged(s);
  finishBoard();
}

void StationBoard::poll() {
  liveWanted_ = true;
  pollSentMs_ = nowMs_;
  if (!serial_.write(pollRequest()) && !lossComing()) failNow(unwritable());
}

// Why a write failed: the port's loss with its reason, or a port that is not open.
std::string StationBoard::unwritable() const {
  return portLost_.empty() ? "the port is not open" : "the port went away: " + portLost_;
}

// A write that a port still open refused: the line failed, and the port reports its loss (with
// the reason) at the next turn of the loop, which fails the step. Should no report come, the
// step's deadline does.
bool StationBoard::lossComing() const {
  return serial_.isOpen() && portLost_.empty();
}

void StationBoard::tick(std::int64_t nowMs) {
  nowMs_ = nowMs;
  session_.tick(nowMs);
  if (phase_ == Phase::Done || phase_ == Phase::Saving || phase_ == Phase::Identify ||
      phase_ == Phase::Parameters || phase_ == Phase::CalibrationAsk)
    return;
  if (nowMs >= deadlineMs_) {
    if (phase_ == Phase::Balance)
      return cellEnded(false, balanceProblem(recipe_.balance.cells[cellIndex_], lastFlags_));
    if (phase_ == Phase::CalibrationWait) {
      calibrationFailed_ = true;
      current().values["points"].push_back(
          {{"direction", points_[pointIndex_].direction == 0 ? "discharge" : "charge"},
           {"point", points_[pointIndex_].point + 1},
           {"reading_ma", readingMa_},
           {"problem", "no calibration result"}});
      ++pointIndex_;
      return askPoint();
    }
    return endStep(StepResult::Fail, "no live data from the board");
  }
  if (liveWanted_ && nowMs - pollSentMs_ >= kPollRetryMs) poll();
  if (!liveWanted_ && phase_ == Phase::Balance && nextPollMs_ >= 0 && nowMs >= nextPollMs_) {
    nextPollMs_ = -1;
    poll();
  }
}

void StationBoard::onPortLost(const std::string& reason) {
  portLost_ = reason;
  if (phase_ == Phase::Identify || phase_ == Phase::Parameters) return session_.onPortLost(reason);
  failNow("the port went away: " + reason);
}

void StationBoard::stop(const std::string& reason) {
  if (phase_ == Phase::Identify || phase_ == Phase::Parameters) session_.onPortLost(reason);
  failNow(reason);
}

void StationBoard::onLiveData(const LiveData& live) {
  lastLive_ = live;
  haveLive_ = true;
  if (!liveWanted_) return;
  liveWanted_ = false;
  onFreshLive(live);
}

void StationBoard::onFreshLive(const LiveData& live) {
  if (phase_ == Phase::Balance) return cellSeen(live);
  if (phase_ != Phase::Rest && phase_ != Phase::Final) return;
  const std::string problems = checkAtRest(live, recipe_.rest, phase_ == Phase::Rest, &current().values);
  endStep(problems.empty() ? StepResult::Pass : StepResult::Fail, problems);
}

void StationBoard::onIdentified(const ParameterResult& r) {
  if (phase_ != Phase::Identify) return;
  if (r.outcome != ParameterOutcome::Done) {
    report_.noAnswer = r.outcome == ParameterOutcome::NoAnswer;
    return endStep(StepResult::Fail, describe(r));
  }
  report_.boardId = static_cast<int>(r.board[kBoardIdRow]);
  current().values["board_id"] = report_.boardId;
  // Flagged for the operator; a board tested again is not failed for it.
  const std::string seen = record_.passedToday(report_.boardId, setup_.label, todayText(clock_.localNow()));
  current().values["passed_today"] = seen;
  endStep(StepResult::Pass, seen.empty() ? "" : "already passed at this station today: " + seen);
}

void StationBoard::startCell() {
  if (cellIndex_ == 0) {
    manualOn_ = true;  // the manual test is entered; entering sends nothing
    if (const auto& c = recipe_.balance.condition) {
      current().values["condition"] = {
          {"threshold_mv", c->thresholdMv}, {"difference_mv", c->differenceMv}, {"release_mv", c->releaseMv}};
      if (!serial_.write(balanceSetRequest(c->thresholdMv, c->differenceMv, c->releaseMv)))
        return failNow(unwritable());
    }
    current().values["wait_s"] = recipe_.balance.waitMs / 1000.0;
    current().values["cells"] = nlohmann::json::array();
  }
  lastFlags_ = 0;
  deadlineMs_ = nowMs_ + recipe_.balance.waitMs;
  if (!serial_.write(manualBalanceRequest(recipe_.balance.cells[cellIndex_]))) {
    if (lossComing()) return;
    return failNow(unwritable());
  }
  poll();
}

void StationBoard::cellSeen(const LiveData& live) {
  const int cell = recipe_.balance.cells[cellIndex_];
  lastFlags_ = live.balanceFlags;
  if (live.balanceFlags == (1u << (cell - 1))) return cellEnded(true, {});
  nextPollMs_ = nowMs_ + kPollGapMs;
}

void StationBoard::cellEnded(bool passed, const std::string& problem) {
  const int cell = recipe_.balance.cells[cellIndex_];
  nlohmann::json& cells = current().values["cells"];
  cells.push_back(
      {{"cell", cell}, {"result", passed ? "pass" : "fail"}, {"seen", balancingCells(lastFlags_)}});
  if (!passed) {
    balanceFailed_ = true;
    current().message += (current().message.empty() ? "" : "; ") + problem;
  }
  nextPollMs_ = -1;
  if (++cellIndex_ < recipe_.balance.cells.size() && (passed || !recipe_.stopOnFailure)) return startCell();
  std::size_t passedCount = 0;
  for (const auto& c : cells) passedCount += c["result"] == "pass" ? 1 : 0;
  current().values["cells_passed"] =
      std::to_string(passedCount) + "/" + std::to_string(recipe_.balance.cells.size());
  leaveBalance({});
  if (phase_ == Phase::Saving || phase_ == Phase::Done) return;
  endStep(balanceFailed_ ? StepResult::Fail : StepResult::Pass, current().message);
}

void StationBoard::leaveBalance(const std::string& why) {
  manualOn_ = false;
  nlohmann::json& off = report_.step(StationStep::Balance).values["manual_balance_off"];
  off = "sent";
  if (serial_.write(manualBalanceOffRequest())) return;
  off = "could not be sent: " + (portLost_.empty() && !why.empty() ? why : unwritable());
}

void StationBoard::askPoint() {
  if (points_.empty() && pointIndex_ == 0) {
    for (std::size_t i = 0; i < recipe_.calibration->dischargeMa.size(); ++i)
      points_.push_back({0, static_cast<int>(i), recipe_.calibration->dischargeMa[i]});
    for (std::size_t i = 0; i < recipe_.calibration->chargeMa.size(); ++i)
      points_.push_back({1, static_cast<int>(i), recipe_.calibration->chargeMa[i]});
    current().values = {{"points", nlohmann::json::array()}, {"max_error", recipe_.calibration->maxError}};
  }
  if (pointIndex_ >= points_.size() || (calibrationFailed_ && recipe_.stopOnFailure)) return endCalibration();
  phase_ = Phase::CalibrationAsk;
  const CalPoint& p = points_[pointIndex_];
  person_.askReading(calibrationPrompt(p.direction, p.referenceMa));
}

void StationBoard::operatorReading(const std::string& text, std::int64_t nowMs) {
  nowMs_ = nowMs;
  if (phase_ != Phase::CalibrationAsk) return;
  const std::optional<std::int64_t> reading = wholeNumberInRange(text, 1, 1000000);
  if (!reading) {
    const CalPoint& p = points_[pointIndex_];
    return person_.askReading("Not a reading in mA (1 ... 1000000): '" + text + "'. " +
                              calibrationPrompt(p.direction, p.referenceMa));
  }
  readingMa_ = static_cast<std::int32_t>(*reading);
  const CalPoint& p = points_[pointIndex_];
  if (!serial_.write(calibrationPointRequest(p.point, p.direction, readingMa_))) return failNow(unwritable());
  phase_ = Phase::CalibrationWait;
  deadlineMs_ = nowMs_ + kCalibrationTimeoutMs;
}

void StationBoard::onCalibrationResult(const CalibrationResult& result) {
  if (phase_ != Phase::CalibrationWait || result.readAnswer) return;
  const CalPoint& p = points_[pointIndex_];
  // As on the page: an answer for another direction or point touches nothing.
  if (result.direction != p.direction || result.point != p.point) return;
  pointAnswered(result);
}

void StationBoard::pointAnswered(const CalibrationResult& result) {
  const CalPoint& p = points_[pointIndex_];
  const PointCheck check = checkCalibrationPoint(result.referenceMa, lastLive_.currentA());
  nlohmann::json point = {{"direction", p.direction == 0 ? "discharge" : "charge"},
                          {"point", p.point + 1},
                          {"asked_ma", p.referenceMa},
                          {"reading_ma", readingMa_},
                          {"coefficient", std::round(result.coefficientRaw / 1000.0 * 1e6) / 1e6},
                          {"measured_ma", check.measuredMa},
                          {"deviation_ma", check.deviationMa},
                          {"tolerance_ma", kCalibrationToleranceMa},
                          {"within_tolerance", check.withinTolerance}};
  if (check.errorPerMille) {
    point["error_per_mille"] = *check.errorPerMille;
    pointErrors_[static_cast<std::size_t>(p.direction)][static_cast<std::size_t>(p.point)] =
        static_cast<float>(*check.errorPerMille);
  }
  if (!check.withinTolerance) {
    calibrationFailed_ = true;
    current().message += std::string(current().message.empty() ? "" : "; ") + "point " +
                         std::to_string(p.point + 1) + " " + (p.direction == 0 ? "discharge" : "charge") +
                         " is " + std::to_string(check.deviationMa) + " mA off, beyond the 500 mA tolerance";
  }
  current().values["points"].push_back(point);
  ++pointIndex_;
  askPoint();
}

void StationBoard::endCalibration() {
  const char* keys[2] = {"error_evaluation_discharge", "error_evaluation_charge"};
  const bool used[2] = {!recipe_.calibration->dischargeMa.empty(), !recipe_.calibration->chargeMa.empty()};
  for (int d = 0; d < 2; ++d) {
    if (!used[d]) continue;
    const float evaluation = errorEvaluation(pointErrors_[static_cast<std::size_t>(d)]);
    current().values[keys[d]] = std::round(evaluation * 1e4) / 1e4;
    if (evaluation > recipe_.calibration->maxError) {
      calibrationFailed_ = true;
      current().message += std::string(current().message.empty() ? "" : "; ") + "Error Evaluation " +
                           std::to_string(evaluation) + " is above " +
                           std::to_string(recipe_.calibration->maxError);
    }
  }
  endStep(calibrationFailed_ ? StepResult::Fail : StepResult::Pass, current().message);
}

void StationBoard::onParametersWritten(const ParameterResult& r) {
  if (phase_ != Phase::Parameters) return;
  nlohmann::json& v = current().values;
  v["outcome"] = r.verified() ? "Verified" : describe(r);
  v["snapshot"] = workflow_->lastSnapshot();
  v["changes"] = r.haveWritten
                     ? changesText(changedFields(
                           r.haveBoard ? std::optional<AlarmValues>(r.board) : std::nullopt, r.written))
                     : "";
  v["mismatches"] = nlohmann::json::array();
  for (const FieldMismatch& m : r.mismatches)
    v["mismatches"].push_back(
        {{"field", std::string(m.row->fileLabel).substr(0, std::string(m.row->fileLabel).size() - 1)},
         {"written", m.written},
         {"read_back", m.readBack}});
  if (!workflow_->recordProblem().empty()) v["write_record_problem"] = workflow_->recordProblem();
  endStep(r.verified() ? StepResult::Pass : StepResult::Fail, r.verified() ? "" : describe(r));
}

}  // namespace orlo
