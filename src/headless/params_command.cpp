#include "headless/params_command.h"

#include <poll.h>

#include <cstdio>
#include <functional>
#include <optional>

#include "core/alarm_parameter_file.h"
#include "core/parameter_file_check.h"
#include "core/parameter_review.h"
#include "core/parameter_session.h"
#include "core/parameter_workflow.h"
#include "core/snapshot_store.h"
#include "core/write_record.h"
#include "headless/device_serial_control.h"
#include "link/receiver.h"
#include "util/clock.h"
#include "util/platform.h"

namespace orlo::headless {
namespace {

// The session's time-outs are seconds long; a tick this often ends them close enough.
constexpr int kLineWaitMs = 20;

void say(std::FILE* to, const std::string& text) {
  std::fprintf(to, "%s\n", text.c_str());
}

// The board's alarm parameter answers and Set acknowledges go to the session the moment they
// are whole; live data and the rest are not this command's business.
class SessionFrames : public FrameHandlers {
 public:
  explicit SessionFrames(ParameterSession& session) : session_(session) {}
  void onAlarmParameters(const FrameView& answer) override { session_.onAlarmParameters(answer); }
  void onSetAcknowledge() override { session_.onSetAcknowledge(); }
  void onLiveData(const LiveData&) override {}
  void onBalanceCondition(const BalanceCondition&) override {}
  void onCalibrationResult(const CalibrationResult&) override {}
  void onOtherFrame(const LiveData&) override {}

 private:
  ParameterSession& session_;
};

// The receive path between the device and the session.
class SessionLine : public SerialListener {
 public:
  explicit SessionLine(ParameterSession& session) : session_(session), frames_(session) {}
  void onBytesReceived(const std::uint8_t* data, std::size_t size) override {
    receiver_.onBytes(data, size);
    while (receiver_.frameTick(frames_)) {
    }
  }
  void onCommEvent() override {}
  void onPortLost(const std::string& reason) override { session_.onPortLost(reason); }

 private:
  ParameterSession& session_;
  SessionFrames frames_;
  Receiver receiver_;
};

using Start = std::function<bool(std::int64_t nowMs, ParameterSession::Done done)>;

// Runs the operation `start` begins until it calls back.
ParameterResult runSession(DeviceSerialControl& serial, ParameterSession& session, const Start& start) {
  SessionLine line(session);
  serial.setListener(&line);
  std::optional<ParameterResult> result;
  start(monotonicMs(), [&result](const ParameterResult& r) { result = r; });
  while (!result) {
    // A closed device (fd -1) is skipped by poll; the next tick ends the session.
    pollfd device{serial.fd(), POLLIN, 0};
    ::poll(&device, 1, kLineWaitMs);
    if (device.revents & (POLLIN | POLLHUP | POLLERR)) serial.onReadable();
    session.tick(monotonicMs());
  }
  serial.setListener(nullptr);
  return *result;
}

int exitFor(const ParameterResult& r) {
  switch (r.outcome) {
    case ParameterOutcome::Done:
    case ParameterOutcome::Verified:
      return kParamsDone;
    case ParameterOutcome::Mismatch:
      return kParamsReadBackDiffers;
    case ParameterOutcome::NoAnswer:
      // No acknowledge, but the read back shows what the board made of the Set.
      return r.haveReadBack && !r.mismatches.empty() ? kParamsReadBackDiffers : kParamsNoAnswer;
    case ParameterOutcome::Refused:
    case ParameterOutcome::NotKept:
      return kParamsBadInput;
    case ParameterOutcome::PortClosed:
    case ParameterOutcome::PortLost:
      return kParamsNoAnswer;
  }
  return kParamsNoAnswer;
}

bool openDevice(DeviceSerialControl& serial, const std::string& device) {
  const OpenResult opened = serial.open(1);
  if (!opened.ok)
    std::fprintf(stderr, "orlo-bms: cannot open %s: %s\n", device.c_str(), opened.reason.c_str());
  return opened.ok;
}

std::optional<ParameterFileCheck> checkedFile(const std::string& path) {
  ParameterFileCheck check = readParameterFile(path);
  if (check.ok()) return check;
  std::fprintf(stderr, "orlo-bms: %s: %s\nNothing was sent.\n", path.c_str(), check.message().c_str());
  return std::nullopt;
}

// The board's 44 values, or nothing with the exit status after saying why.
std::optional<ParameterResult> readBoard(const std::string& device, int* status) {
  DeviceSerialControl serial(device);
  if (!openDevice(serial, device)) {
    *status = kParamsNoAnswer;
    return std::nullopt;
  }
  ParameterSession session(serial);
  ParameterResult r = runSession(serial, session,
                                 [&session](std::int64_t now, auto done) { return session.read(now, done); });
  if (r.outcome == ParameterOutcome::Done) return r;
  say(stderr, "orlo-bms: " + describe(r, FieldNames::FileAndPage));
  *status = exitFor(r);
  return std::nullopt;
}

int readAction(const ParamsOptions& o) {
  if (!o.file.empty() && !mayReplace(o.file)) {
    std::fprintf(stderr, "orlo-bms: cannot write %s\n", o.file.c_str());
    return kParamsBadInput;
  }
  int status = kParamsDone;
  const std::optional<ParameterResult> r = readBoard(o.device, &status);
  if (!r) return status;
  const std::string content = formatAlarmParameterFile(parameterTexts(r->board));
  if (o.file.empty()) {
    std::fwrite(content.data(), 1, content.size(), stdout);
    return std::fflush(stdout) == 0 ? kParamsDone : kParamsBadInput;
  }
  const Status saved = replaceFileContent(o.file, content);
  if (saved) return kParamsDone;
  std::fprintf(stderr, "orlo-bms: cannot write %s: %s\n", o.file.c_str(), saved.error().c_str());
  return kParamsBadInput;
}

int writeAction(const ParamsOptions& o) {
  const auto file = checkedFile(o.file);
  if (!file) return kParamsBadInput;
  DeviceSerialControl serial(o.device);
  if (!openDevice(serial, o.device)) return kParamsNoAnswer;
  ParameterSession session(serial);
  const SystemClock clock;
  ParameterWorkflow workflow(session, SnapshotStore(SnapshotStore::defaultFolder()),
                             WriteRecord(WriteRecord::defaultPath()), clock);
  const ParameterResult r = runSession(serial, session, [&](std::int64_t now, auto done) {
    return workflow.write(file->values, o.device, now, done);
  });
  if (!workflow.lastSnapshot().empty())
    say(stderr, "orlo-bms: the board's values before: " + workflow.lastSnapshot());
  if (!workflow.recordProblem().empty()) say(stderr, "orlo-bms: " + workflow.recordProblem());
  const int status = exitFor(r);
  say(status == kParamsDone ? stdout : stderr,
      (status == kParamsDone ? "" : "orlo-bms: ") + describe(r, FieldNames::FileAndPage));
  return status;
}

// One line per differing field, named as the file and the page name it:
// Cell OV ("Value" in "Cell OV Protect(Range)"): board 3650 mV, file 3600 mV
int diffAction(const ParamsOptions& o) {
  const auto file = checkedFile(o.file);
  if (!file) return kParamsBadInput;
  int status = kParamsDone;
  const std::optional<ParameterResult> r = readBoard(o.device, &status);
  if (!r) return status;
  const ParameterReview review = reviewParameters(r->board, file->values);
  for (const ReviewChange& c : review.changes) {
    const std::string label = fullFieldName(*c.row);
    const std::string unit = *c.row->fileUnit ? std::string(" ") + c.row->fileUnit : std::string();
    std::printf("%s: board %lld%s, file %lld%s\n", label.c_str(), static_cast<long long>(c.onBoard),
                unit.c_str(), static_cast<long long>(c.proposed), unit.c_str());
  }
  return review.changes.empty() ? kParamsDone : kParamsDiffer;
}

}  // namespace

int runParams(const ParamsOptions& options) {
  switch (options.action) {
    case ParamsOptions::Action::Read:
      return readAction(options);
    case ParamsOptions::Action::Write:
      return writeAction(options);
    case ParamsOptions::Action::Diff:
      return diffAction(options);
  }
  return kParamsBadInput;
}

}  // namespace orlo::headless
