#pragma once
// The telemetry log: the main window's "Path" button, "Save  file" check box, "Time Interval:"
// box and the log timer.
// Rows are UTF-16LE, LF-terminated, 20 columns.

#include <cstdint>
#include <functional>
#include <string>

#include "core/log_file.h"
#include "core/log_values.h"
#include "link/serial_control.h"
#include "util/clock.h"
#include "view/form.h"
#include "view/form_of.h"
#include "view/main_window_ids.h"

namespace orlo {

class DataLog {
 public:
  // form: the main window's form. defaultFolder: where the dialog starts (desktop or home).
  DataLog(Form& form, SerialControl& serial, const Clock& clock, std::function<LogValues()> values,
          std::string defaultFolder);

  void onPath();      // "Path": choose the log file
  void onSaveFile();  // "Save  file" (already toggled by the user's click)
  void onTimer();     // the log timer: one row

  // Command line: choose the log path as "Path" would, set the interval and check "Save  file".
  bool startUnattended(const std::string& path, int intervalSeconds);

  bool logging() const { return logging_; }
  std::int32_t rowCounter() const { return rowCounter_; }
  const std::string& logPath() const { return logPath_; }

 private:
  FormOf<MainId> form_;
  SerialControl& serial_;
  const Clock& clock_;
  std::function<LogValues()> values_;
  std::string defaultFolder_;
  std::string logPath_;
  bool logging_ = false;
  std::int32_t rowCounter_ = 0;

  LogFile file_;  // holds the log's lock while logging is on

  void usePath(const std::string& path);
  void switchOn();
  void switchOff();
  Status recreateAndAppend(const std::string& row);
  // A failed row is reported once; the next success re-arms the message.
  bool failureReported_ = false;
  bool recreationReported_ = false;
};

}  // namespace orlo
