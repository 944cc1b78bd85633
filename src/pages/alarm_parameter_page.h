#pragma once
// "Alarm Parameter" tab: the 44 protection parameters, read from and written to the BMS, and
// saved to / loaded from the alarm parameter file.

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/alarm_parameter_record.h"
#include "link/frame_view.h"
#include "link/serial_control.h"
#include "view/alarm_parameter_ids.h"
#include "view/form_of.h"

namespace orlo {

// The page's box for a row of the alarm parameter record.
AlarmId alarmBoxId(const AlarmParameterRow& row);

// The file dialog for a parameter file, opened in `folder`: a save proposes the usual name
// and asks before replacing a file.
FileDialogRequest alarmParameterFileDialog(const std::string& folder, bool save);

class AlarmParameterPage : public FormEventsOf<AlarmId> {
 public:
  AlarmParameterPage(Form& form, SerialControl& serial);

  // workingFolder: where the template file "AlarmParameterExample.csv" is looked for.
  // parameterFolder: where the file dialogs start (the user's desktop or home folder).
  void initPage(const std::string& workingFolder, const std::string& parameterFolder);
  void clearStatusShownFlag() { statusShown_ = false; }

  // Told of every accepted Set just before it is sent, with the numbers it carries (its owner
  // keeps what the board held). False holds the Set back and *note goes to a message box;
  // otherwise a *note that is not empty goes to the status line.
  using BeforeSet = std::function<bool(const AlarmValues& sent, std::string* note)>;
  void setBeforeSet(BeforeSet hook) { beforeSet_ = std::move(hook); }

  void onReadResult(const FrameView& frame);
  void onSetAcknowledge();

  void showPlaceholders();
  void showValues(const std::vector<std::string>& values);  // 44 texts in record order
  void collectValues(std::vector<std::string>* values) const;

  bool saveParameterFile(const std::string& path);
  bool loadParameterFile(const std::string& path);

  void onClicked(AlarmId id) override;
  void onTimer(int timerId) override;

 private:
  void onRead();
  void onSet();
  void onLoadParameter();
  void onSaveParameter();
  void refuseSet(const AlarmParameterRow& row, const std::string& text);
  void showStatus(const std::string& text);
  FileDialogRequest fileDialog(bool save) const;
  std::string defaultPath() const;

  FormOf<AlarmId> form_;
  SerialControl& serial_;
  std::string workingFolder_;
  std::string parameterFolder_;
  bool statusShown_ = false;
  BeforeSet beforeSet_;
  std::vector<std::string> loadedValues_;
  std::vector<std::string> savedValues_;
};

}  // namespace orlo
