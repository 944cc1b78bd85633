#pragma once
// Reads the 44 protection parameters from the board, and writes them the careful way: read what
// the board holds, let the owner keep it (a snapshot), send the Set, wait for the acknowledge,
// read back and compare every written field. Each step waits at most kAnswerTimeoutMs.
//
// The session drives the line through SerialControl only. Its owner hands it the board's
// answers (from the frame dispatcher) and the time (from its event loop's timer); nothing here
// blocks, reads a clock or starts a thread, so a window and a headless program drive it alike.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/alarm_parameter_record.h"
#include "link/frame_view.h"
#include "link/serial_control.h"
#include "util/result.h"

namespace orlo {

enum class ParameterStep {
  Read,            // reading what the board holds
  KeepBoard,       // keeping it before the Set (the snapshot)
  SetAcknowledge,  // Set sent, waiting for the board to acknowledge it
  ReadBack,        // reading the written values back
};

enum class ParameterOutcome {
  Done,        // a read on its own got its answer
  Verified,    // every written field read back as written
  Mismatch,    // read back, but some fields differ from what was written
  NoAnswer,    // the board said nothing (or nothing whole) at `step`
  Refused,     // the values were refused before anything was sent
  NotKept,     // the board's values could not be kept, so the Set was not sent
  PortClosed,  // the port was not open (or refused the write) at `step`
  PortLost,    // the port went away at `step`
};

struct FieldMismatch {
  const AlarmParameterRow* row = nullptr;
  std::int64_t written = 0;
  std::int64_t readBack = 0;
};

struct ParameterResult {
  ParameterOutcome outcome = ParameterOutcome::Done;
  ParameterStep step = ParameterStep::Read;  // where the operation ended
  bool wrote = false;                        // a Set request went onto the line

  bool haveBoard = false;  // `board` holds an answer read before any Set
  AlarmValues board{};
  bool haveWritten = false;  // the values were accepted for a Set
  AlarmValues written{};     // what the Set carries (the ID's entry stays 0)
  bool haveReadBack = false;
  AlarmValues readBack{};
  std::vector<FieldMismatch> mismatches;

  // Refused: the first field refused, its text; or the wrong number of values.
  bool wrongCount = false;
  const AlarmParameterRow* refused = nullptr;
  std::string refusedText;

  std::string detail;  // why the board's values could not be kept, or why the port went away

  bool verified() const { return outcome == ParameterOutcome::Verified; }
};

// How describe() names a field: as the page shows it, or by the parameter file's label first
// (for the command line, whose user mends the file).
enum class FieldNames { Page, FileAndPage };

// One or two sentences for the user: what happened and where it stopped.
std::string describe(const ParameterResult& result, FieldNames names = FieldNames::Page);
const char* stepName(ParameterStep step);

class ParameterSession {
 public:
  static constexpr std::int64_t kAnswerTimeoutMs = 2000;
  static constexpr int kReadRetries = 2;

  using Done = std::function<void(const ParameterResult&)>;
  // Keeps the board's values before a Set, now or later: the Set goes only once `kept` is
  // called with success; a failure stops the write before it is sent. While the keeping takes,
  // no timer runs out; a lost port ends the write and a late `kept` does nothing.
  using Kept = std::function<void(const Status& kept)>;
  using KeepBoard = std::function<void(const AlarmValues& board, Kept kept)>;

  explicit ParameterSession(SerialControl& serial);

  // Starts reading the board's 44 values. False, and nothing starts, while another operation
  // runs. Otherwise `done` is called exactly once: from one of the calls below, or before
  // read() returns when the port is closed.
  bool read(std::int64_t nowMs, Done done);
  // Starts a write of 44 texts in record order (the ID's is never sent): read, keep, Set, read
  // back. Refused texts end it before anything is sent, with `done` called before write()
  // returns. False while another operation runs.
  bool write(const std::vector<std::string>& texts, std::int64_t nowMs, Done done);
  void setKeepBoard(KeepBoard keep) { keepBoard_ = std::move(keep); }

  // From the owner: the board's answer to an alarm parameter read (command 0x47), the Set
  // acknowledge (0x48), the port going away, and the event loop's timer.
  void onAlarmParameters(const FrameView& answer);
  void onSetAcknowledge();
  void onPortLost(const std::string& reason);
  void tick(std::int64_t nowMs);

  bool busy() const { return phase_ != Phase::Idle; }
  // The last finished operation's result (outcome Done with nothing read before the first).
  const ParameterResult& lastResult() const { return result_; }

 private:
  enum class Phase { Idle, Reading, Keeping, AwaitAck, ReadingBack };

  bool start(Phase phase, std::int64_t nowMs, Done done);
  bool sendRead(std::int64_t nowMs);
  void onBoardRead(const AlarmValues& values);
  void onKept(std::uint64_t run, const Status& kept);
  void sendSet(std::int64_t nowMs);
  void compareReadBack();
  void timedOut(std::int64_t nowMs);
  void finish(ParameterOutcome outcome);
  ParameterStep currentStep() const;

  SerialControl& serial_;
  KeepBoard keepBoard_;
  Done done_;
  Phase phase_ = Phase::Idle;
  bool writing_ = false;
  bool ackMissing_ = false;
  int attempts_ = 0;
  int owed_ = 0;           // read requests sent whose answers have not come
  int staleOwed_ = 0;      // of those, sent before the Set
  std::uint64_t run_ = 0;  // one number per operation, to notice one ended within a call
  std::int64_t sentAtMs_ = 0;
  std::int64_t lastNowMs_ = 0;
  AlarmSetData setData_{};
  ParameterResult result_;
};

}  // namespace orlo
