#pragma once
// One board through the station's steps: identify, rest, balance, calibration, parameters,
// final. Like the parameter session it drives the line through SerialControl only and is
// handed the board's frames and the time by its owner, so a window and the command line (one
// board or many, each on its own schedule) drive it alike; nothing here blocks or reads a clock.
//
// Every path out of the balance step (pass, failure, stop, a lost port) sends the manual
// balance off request, or writes in the report that it could not be sent.

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/file_work.h"
#include "core/parameter_session.h"
#include "core/parameter_workflow.h"
#include "core/station_recipe.h"
#include "core/station_record.h"
#include "core/station_report.h"
#include "link/frame_handlers.h"
#include "link/serial_control.h"
#include "util/clock.h"

namespace orlo {

// The date part of a local time ("2026-12-09"): the day a station's counts are kept by.
std::string todayText(const std::tm& now);

// Whether the board that just answered starts at once. A station that scans labels waits for a
// new one (the label still shown is the last board's); a station without labels starts at once.
// `lastLabel` is unset before the first board.
bool startsAtOnce(const std::optional<std::string>& lastLabel, const std::string& typed);

// The person at the station, as the engine needs them.
class StationOperator {
 public:
  virtual ~StationOperator() = default;
  // Asks for a meter reading in mA; the answer comes back through StationBoard::operatorReading.
  virtual void askReading(const std::string& prompt) = 0;
  // A step started (its result NotRun) or ended.
  virtual void stepChanged(const StepReport& /*step*/) {}
};

struct StationSetup {
  std::string station;
  std::string operatorName;
  std::string device;
  std::string label;
  std::string snapshotFolder;              // where the parameter step keeps what the board held
  std::string writeRecordPath;             // writes.csv of the parameter step
  StationRecord::ExtraReport extraReport;  // a further report beside the JSON one (the PDF)
  std::string extraExtension;              // its file name's ending (".pdf")
  // Where the snapshot, writes.csv line, reports and station.csv row are written (at once when
  // none); the owner keeps this board alive until the work it was given is done.
  FileWork* files = nullptr;
};

class StationBoard : public FrameHandlers {
 public:
  static constexpr std::int64_t kLiveTimeoutMs = 3000;  // a fresh live frame, rest and final
  static constexpr std::int64_t kPollRetryMs = 500;     // a poll not answered is sent again
  static constexpr std::int64_t kPollGapMs = 50;        // between polls while a cell is awaited
  static constexpr std::int64_t kCalibrationTimeoutMs = 3000;

  StationBoard(SerialControl& serial, const Recipe& recipe, StationSetup setup, StationOperator& person,
               const StationRecord& record, const Clock& clock);

  void start(std::int64_t nowMs);
  void tick(std::int64_t nowMs);
  void onPortLost(const std::string& reason);
  // The operator's answer to askReading: a whole number of mA; anything else is asked again.
  void operatorReading(const std::string& text, std::int64_t nowMs);
  // Stop pressed or the window closing: the current step fails with `reason`.
  void stop(const std::string& reason);

  // The board's run is over and its report and row are written (or failed to be).
  bool finished() const { return phase_ == Phase::Done; }
  const BoardReport& report() const { return report_; }

  void onLiveData(const LiveData& live) override;
  void onAlarmParameters(const FrameView& answer) override { session_.onAlarmParameters(answer); }
  void onSetAcknowledge() override { session_.onSetAcknowledge(); }
  void onBalanceCondition(const BalanceCondition&) override {}
  void onCalibrationResult(const CalibrationResult& result) override;
  void onOtherFrame(const LiveData&) override {}

 private:
  enum class Phase {
    Idle,
    Identify,
    Rest,
    Balance,
    CalibrationAsk,
    CalibrationWait,
    Parameters,
    Final,
    Saving,  // the report and row are being written
    Done
  };
  struct CalPoint {
    int direction;
    int point;
    std::int32_t referenceMa;
  };

  void begin(StationStep step);
  void next(StationStep after);
  void endStep(StepResult result, const std::string& message = {});
  void finishBoard();
  StepReport& current() { return report_.step(step_); }

  void poll();
  bool lossComing() const;
  std::string unwritable() const;
  void onFreshLive(const LiveData& live);
  void onIdentified(const ParameterResult& result);
  void startCell();
  void cellSeen(const LiveData& live);
  void cellEnded(bool passed, const std::string& problem);
  void leaveBalance(const std::string& why);
  void askPoint();
  void pointAnswered(const CalibrationResult& result);
  void endCalibration();
  void onParametersWritten(const ParameterResult& result);
  void failNow(const std::string& message);

  SerialControl& serial_;
  const Recipe& recipe_;
  StationSetup setup_;
  StationOperator& person_;
  const StationRecord& record_;
  const Clock& clock_;
  FileWork atOnce_;
  FileWork& files_;
  ParameterSession session_;
  std::unique_ptr<ParameterWorkflow> workflow_;
  BoardReport report_;

  Phase phase_ = Phase::Idle;
  StationStep step_ = StationStep::Identify;
  std::int64_t nowMs_ = 0;
  std::int64_t deadlineMs_ = 0;
  bool liveWanted_ = false;
  std::int64_t pollSentMs_ = 0;
  std::int64_t nextPollMs_ = -1;
  bool haveLive_ = false;
  LiveData lastLive_{};
  std::string portLost_;

  bool manualOn_ = false;
  std::size_t cellIndex_ = 0;
  std::uint16_t lastFlags_ = 0;
  bool balanceFailed_ = false;

  std::vector<CalPoint> points_;
  std::size_t pointIndex_ = 0;
  std::int32_t readingMa_ = 0;
  std::array<std::array<float, 4>, 2> pointErrors_{};
  bool calibrationFailed_ = false;
};

}  // namespace orlo
