#include "app/data_log.h"

#include <cctype>
#include <utility>

#include "core/log_file.h"
#include "core/log_row.h"
#include "util/platform.h"
#include "view/main_window_ids.h"

namespace orlo {
namespace {

using main_ids::kLogTimer;

constexpr int kLongestInterval = 86400;  // a day; also keeps the period in milliseconds in int range

constexpr char kPortClosedText[] = "Please open the serial port.";
constexpr char kNoPathText[] = " Path is not be selected.";
constexpr char kFileBusyText[] = "File is already open.";
constexpr char kRecreatedText[] = "\nhad gone; it was created again with its header and logging goes on.";
constexpr char kBadIntervalText[] =
    "Please enter the Time Interval as a whole number of seconds from 1 to 86400.";

// The interval box as whole seconds, or 0 when it does not hold one in range. Blanks around
// the number and one "+" before it are read as the C runtime reads them (" +3" is 3); a minus,
// fractions and units are not, so "1.5" is not taken as 1 nor "3s" as 3.
int parseInterval(const std::string& text) {
  std::size_t begin = text.find_first_not_of(" \t");
  std::size_t end = text.find_last_not_of(" \t");
  if (begin == std::string::npos) return 0;
  if (text[begin] == '+') ++begin;
  if (begin > end) return 0;
  long seconds = 0;
  for (std::size_t i = begin; i <= end; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return 0;
    seconds = seconds * 10 + (text[i] - '0');
    if (seconds > kLongestInterval) return 0;
  }
  return static_cast<int>(seconds);
}

std::string defaultLogPath(const std::string& folder) {
  if (folder.empty()) return "data.csv";
  return folder.back() == '/' ? folder + "data.csv" : folder + "/data.csv";
}

}  // namespace

DataLog::DataLog(Form& form, SerialControl& serial, const Clock& clock, std::function<LogValues()> values,
                 std::string defaultFolder)
    : form_(form),
      serial_(serial),
      clock_(clock),
      values_(std::move(values)),
      defaultFolder_(std::move(defaultFolder)) {}

void DataLog::onPath() {
  FileDialogRequest request;
  request.filter = "File (*.csv;)|*.csv;||";
  request.startFolder = defaultFolder_;
  request.proposedName = "data.csv";
  request.confirmOverwrite = true;
  const std::optional<std::string> chosen = form_.askSaveFile(request);
  if (chosen) {
    usePath(*chosen);
  } else {
    // A cancelled dialog still points the log at the default file, without creating it.
    logPath_ = defaultLogPath(defaultFolder_);
    form_.setText(MainId::LogPath, logPath_);
  }
}

void DataLog::usePath(const std::string& path) {
  logPath_ = path;
  // Only a new file gets the header: an existing one is continued, even when the dialog
  // asked about replacing it, so earlier rows are never lost to a slip of the mouse. A file
  // that cannot be made is told of when logging is switched on (no such file).
  if (pathKind(logPath_) == PathKind::Missing)
    static_cast<void>(createLogFile(logPath_, toUtf16Le(logHeaderLine())));
  form_.setText(MainId::LogPath, logPath_);
}

void DataLog::onSaveFile() {
  if (form_.isChecked(MainId::SaveFile)) {
    switchOn();
  } else {
    switchOff();
  }
}

void DataLog::switchOn() {
  const int seconds = parseInterval(form_.text(MainId::TimeInterval));
  const char* refusal = nullptr;
  if (!serial_.isOpen()) {
    refusal = kPortClosedText;
  } else if (seconds == 0) {
    refusal = kBadIntervalText;
  } else if (pathKind(logPath_) != PathKind::File) {
    refusal = kNoPathText;
  } else if (!file_.hold(logPath_)) {
    // Held from here until logging is switched off: a second copy of the tool choosing the
    // same file is refused at its switch-on instead of interleaving its rows with ours.
    refusal = kFileBusyText;
  }
  if (refusal) {
    // Leaving the box ticked would tell the user that rows are being saved when none are.
    form_.messageBox(refusal);
    form_.setChecked(MainId::SaveFile, false);
    switchOff();
    return;
  }
  form_.startTimer(kLogTimer, seconds * 1000);
  form_.setReadOnly(MainId::TimeInterval, true);
  logging_ = true;
  failureReported_ = false;
  recreationReported_ = false;
}

void DataLog::switchOff() {
  logging_ = false;
  file_.release();
  form_.stopTimer(kLogTimer);
  form_.setReadOnly(MainId::TimeInterval, false);
}

void DataLog::onTimer() {
  if (!logging_) return;
  const LogValues values = values_ ? values_() : LogValues{};
  const std::string row = formatLogRow(clock_.localNow(), rowCounter_, values);
  const std::string bytes = toUtf16Le(row);
  Status result = file_.append(logPath_, bytes, toUtf16Le(logHeaderLine()));
  if (result.errorKind() == ErrorKind::Missing) result = recreateAndAppend(bytes);
  if (result) {
    // Wraps like the 32-bit counter it is, should anyone log for 68 years.
    rowCounter_ = static_cast<std::int32_t>(static_cast<std::uint32_t>(rowCounter_) + 1u);
    failureReported_ = false;
    return;
  }
  if (failureReported_) return;
  // Set before the box is shown: ticks keep arriving while it waits for OK.
  failureReported_ = true;
  form_.messageBox("The data log row was not saved to\n" + logPath_ + "\n(" + result.error() +
                   ").\nLogging goes on and tries again at every interval.");
}

// Deleted under our feet (a clean-up script, a user tidying the desktop): rather than lose
// every later row, the log starts the file again as "Path" would and says so, once per run
// of logging. A file that is there but locked is never replaced.
Status DataLog::recreateAndAppend(const std::string& row) {
  const Status created = createLogFile(logPath_, toUtf16Le(logHeaderLine()));
  // When someone else made it again first, their file is appended to like any other.
  if (!created && pathKind(logPath_) != PathKind::File) return created;
  Status result = file_.append(logPath_, row);
  if (result && created && !recreationReported_) {
    recreationReported_ = true;
    form_.messageBox("The data log file\n" + logPath_ + kRecreatedText);
  }
  return result;
}

bool DataLog::startUnattended(const std::string& path, int intervalSeconds) {
  if (intervalSeconds < 1 || intervalSeconds > kLongestInterval) {
    // Refused before the path is used, so a refused start leaves no file behind.
    form_.messageBox(kBadIntervalText);
    switchOff();
    return false;
  }
  usePath(path);
  form_.setText(MainId::TimeInterval, std::to_string(intervalSeconds));
  form_.setChecked(MainId::SaveFile, true);
  switchOn();
  return logging_;
}

}  // namespace orlo
