#pragma once
// The main window's behaviour: start-up, the serial connection (Start Up/Stop, poll tick, link
// status), the receive path, the header readout with its kept values and MOS lamps, "clear",
// the clock, and the routing of frames and clicks to the four pages and the data log.

#include <memory>
#include <string>

#include "app/clock.h"
#include "app/data_log.h"
#include "app/form.h"
#include "link/frame_handlers.h"
#include "link/receiver.h"
#include "link/serial_control.h"
#include "pages/alarm_parameter_page.h"
#include "pages/balance_test_page.h"
#include "pages/bms_parameter_page.h"
#include "pages/current_calibration_page.h"

namespace orlo {

struct PageForms {
  Form& bms;
  Form& balance;
  Form& alarm;
  Form& calibration;
};

struct MainWindowOptions {
  std::string workingFolder;  // where "AlarmParameterExample.csv" is looked for
  std::string userFolder;     // where file dialogs start (desktop or home)
};

class COrlo_PCDlg : public FormEvents, public FrameHandlers, public SerialListener {
 public:
  COrlo_PCDlg(Form& form, PageForms pages, SerialControl& serial, const Clock& clock,
              MainWindowOptions options);
  ~COrlo_PCDlg() override;

  // The window's start-up sequence; the ui layer calls it once the widgets exist.
  void OnInitDialog();

  // Events of the page forms go to the page objects: 0 BMS, 1 balance, 2 alarm, 3 calibration.
  FormEvents& pageEvents(int tabIndex);

  // FormEvents (main window controls and timers 1 ... 5).
  void onClicked(int id) override;
  void onTimer(int timerId) override;
  void onSelectionChanged(int id) override;

  // FrameHandlers (called by the receive path's dispatcher).
  void onLiveData(const LiveData& live) override;
  void onAlarmParameters(const FrameView& answer) override;
  void onSetAcknowledge() override;
  void onBalanceCondition(const BalanceCondition& condition) override;
  void onCalibrationResult(const CalibrationResult& result) override;
  void onOtherFrame(const LiveData& asLiveData) override;

  // SerialListener (the serial control's events).
  void onBytesReceived(const std::uint8_t* data, std::size_t size) override;
  void onCommEvent() override;
  void onPortLost(const std::string& reason) override;

  // Command line support: select COM<portNumber> in the port box; press "Start Up".
  void selectPort(int portNumber);
  void pressStartUp();

  Receiver& receiver() { return receiver_; }
  DataLog& dataLog();
  MBMSParameterDlg& bmsPage() { return bms_; }
  MBalanceTestDlg& balancePage() { return balance_; }
  MAlarmParameterDlg& alarmPage() { return alarm_; }
  MCurrentCalibrationDlg& calibrationPage() { return calibration_; }

 private:
  // (members are the main window developer's to arrange)
  Form& form_;
  SerialControl& serial_;
  const Clock& clock_;
  MainWindowOptions options_;
  MBMSParameterDlg bms_;
  MBalanceTestDlg balance_;
  MAlarmParameterDlg alarm_;
  MCurrentCalibrationDlg calibration_;
  Receiver receiver_;
  std::unique_ptr<DataLog> dataLog_;

  // The header fill keeps the log's MOS status, cells, SOC, balance flags, temperatures and
  // current here; the rest of a row comes from the BMS page when the row is taken.
  LogValues kept_;
  std::string clockText_;

  LogValues logValues() const;
  void serialStartUp();
  void startUpOrStop();
  void openSelectedPort();
  void pollTick();
  void linkStatusCheck();
  void clockTick();
  void clearHeader();
  void onClear();
  void headerFill(const LiveData& live);
  void setMosLamps(std::uint8_t mosStatus);
  void showDevicePath(const std::string& note = {});
};

}  // namespace orlo
