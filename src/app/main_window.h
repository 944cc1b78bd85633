#pragma once
// The main window's behaviour: start-up, the serial connection (Start Up/Stop, poll tick, link
// status), the receive path, the header readout with its kept values and MOS lamps, "clear",
// the clock, and the routing of frames and clicks to the four pages and the data log; and the
// careful protection parameter writes (session, snapshots, writes.csv) beside the alarm page.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/data_log.h"
#include "app/event_recorder.h"
#include "app/reconnect.h"
#include "core/parameter_session.h"
#include "core/parameter_workflow.h"
#include "core/write_record.h"
#include "link/frame_handlers.h"
#include "link/receiver.h"
#include "link/serial_control.h"
#include "pages/alarm_parameter_page.h"
#include "pages/balance_test_page.h"
#include "pages/bms_parameter_page.h"
#include "pages/current_calibration_page.h"
#include "util/clock.h"
#include "view/form.h"
#include "view/form_of.h"
#include "view/main_window_ids.h"

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
  std::string dataFolder;     // snapshots/ and writes.csv ("" = $XDG_DATA_HOME/Orlo_PC)
};

class MainWindow : public FormEventsOf<MainId>, public FrameHandlers, public SerialListener {
 public:
  MainWindow(Form& form, PageForms pages, SerialControl& serial, const Clock& clock,
             MainWindowOptions options);
  ~MainWindow() override;

  // The window's start-up sequence; the ui layer calls it once the widgets exist.
  void onInitDialog();

  // Events of the page forms go to the page objects: 0 BMS, 1 balance, 2 alarm, 3 calibration.
  FormEvents& pageEvents(int tabIndex);

  // FormEvents (main window controls and timers 1 ... 5).
  void onClicked(MainId id) override;
  void onTimer(int timerId) override;
  void onSelectionChanged(MainId id) override;

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
  BmsParameterPage& bmsPage() { return bms_; }
  BalanceTestPage& balancePage() { return balance_; }
  AlarmParameterPage& alarmPage() { return alarm_; }
  CurrentCalibrationPage& calibrationPage() { return calibration_; }

  // The "Parameters" menu's reads and writes, on this window's event loop: `done` comes from a
  // later frame or timer tick (at once when the port is closed). False, and nothing starts,
  // while another one runs. While one runs, the board's parameter answers and Set acknowledges
  // go to it and not to the alarm page.
  bool readBoardParameters(ParameterSession::Done done);
  bool writeParameters(const std::vector<std::string>& texts, ParameterSession::Done done);
  bool parametersBusy() const { return session_.busy(); }
  bool portOpen() const { return serial_.isOpen(); }
  const std::string& userFolder() const { return options_.userFolder; }
  const ParameterWorkflow& parameterWorkflow() const { return workflow_; }
  const std::string& writeRecordPath() const { return writeRecord_.path(); }
  // The device of the port opened last ("" before any).
  const std::string& portDevice() const { return portDevice_; }

  // Another user of this window's line for a while (the station window): it sees every frame
  // after the pages, takes the board's parameter answers in the alarm page's stead while this
  // window's own session is idle, and hears of a lost port. nullptr ends it.
  void setFrameTap(FrameHandlers* tap, std::function<void(const std::string&)> portLost = {});
  SerialControl& line() { return serial_; }

  // What happened while the window ran (the Events window, the daily files, the title).
  EventRecorder& events() { return events_; }
  // "Reconnect Automatically": a lost port is opened again by itself. Switching it off ends
  // a wait.
  void setReconnect(bool on);
  const Reconnect& reconnect() const { return reconnect_; }
  // Told each time a lost port has been opened again by itself (the station window starts the
  // next board then); nullptr ends it.
  void setPortBack(std::function<void()> back) { portBack_ = std::move(back); }

 private:
  // (members are the main window developer's to arrange)
  FormOf<MainId> form_;
  SerialControl& serial_;
  const Clock& clock_;
  MainWindowOptions options_;
  BmsParameterPage bms_;
  BalanceTestPage balance_;
  AlarmParameterPage alarm_;
  CurrentCalibrationPage calibration_;
  Receiver receiver_;
  std::unique_ptr<DataLog> dataLog_;
  ParameterSession session_;
  ParameterWorkflow workflow_;
  WriteRecord writeRecord_;
  std::int64_t sessionMs_ = 0;  // the session's clock: the frame timer's ticks
  // What the last whole read answer on this connection showed the board to hold; forgotten
  // when a Set may have changed it or the connection changes.
  std::optional<AlarmValues> boardValues_;
  std::string portDevice_;
  int openPort_ = 0;  // COMn opened last
  FrameHandlers* tap_ = nullptr;
  std::function<void(const std::string&)> tapPortLost_;

  // The header fill keeps the log's MOS status, cells, SOC, balance flags, temperatures and
  // current here; the rest of a row comes from the BMS page when the row is taken.
  LogValues kept_;
  std::string clockText_;
  EventRecorder events_;
  Reconnect reconnect_;
  std::function<void()> portBack_;

  LogValues logValues() const;
  void serialStartUp();
  void startUpOrStop();
  void openSelectedPort();
  void portOpened(const OpenResult& result, int portNumber, bool byItself);
  void retryLostPort();
  void pollTick();
  void linkStatusCheck();
  void clockTick();
  void clearHeader();
  void onClear();
  void headerFill(const LiveData& live);
  void setMosLamps(std::uint8_t mosStatus);
  void showDevicePath(const std::string& note = {});
  bool keepBeforePageSet(const AlarmValues& sent, std::string* note);
  void noteBoard(const ParameterResult& result);
};

}  // namespace orlo
