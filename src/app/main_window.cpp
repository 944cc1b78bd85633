#include "app/main_window.h"

#include <ctime>
#include <iterator>
#include <string>
#include <utility>

#include "core/snapshot_store.h"
#include "core/write_record.h"
#include "link/requests.h"
#include "util/text_format.h"
#include "view/main_window_ids.h"

namespace orlo {
namespace {

using namespace main_ids;

constexpr int kPortCount = 16;
constexpr int kFrameTickMs = 100;

// Lamp colours for the MOS status codes the BMS reports; other codes leave the lamps alone.
struct MosLamps {
  std::uint8_t status;
  Icon dis;
  Icon chg;
};
constexpr MosLamps kMosTable[] = {
    {2, Icon::Red, Icon::Red},
    {3, Icon::Green, Icon::Red},
    {18, Icon::Red, Icon::Green},
    {19, Icon::Green, Icon::Green},
};

// The window's own timers, run from start-up to the end; the log timer is the data log's.
// Period and place on the beat of each timer. A poll goes out on the full second and its answer
// is shown at the frame tick after it; the clock ticks then too, so that one repaint a second
// shows both.
struct TimerBeat {
  int id, periodMs, offsetMs;
};
constexpr TimerBeat kTimerBeats[] = {{kClockTimer, 1000, kFrameTickMs},
                                     {kFrameTimer, kFrameTickMs, 0},
                                     {kPollTimer, 1000, 0},
                                     {kLinkTimer, 2000, 0}};

// The line settings are fixed; the boxes show them but offer no other choice.
const std::pair<MainId, const char*> kLineSettings[] = {
    {MainId::BaudRate, "38400"}, {MainId::DataSize, "8"}, {MainId::StopBits, "1"}, {MainId::Parity, "None"}};

std::string portName(int portNumber) {
  return "COM" + std::to_string(portNumber);
}

std::string openFailureText(int portNumber, const OpenResult& result) {
  std::string text = "Cannot open " + portName(portNumber);
  text += result.devicePath.empty() ? " (no device is mapped to it)" : " (" + result.devicePath + ")";
  text += ": " + (result.reason.empty() ? std::string("unknown error") : result.reason) + ".";
  if (result.permissionDenied) {
    text +=
        "\n\nThis user may not use the serial device. Add the user to the dialout group:\n"
        "    sudo usermod -aG dialout $USER\n"
        "then log out and log in again for the change to take effect.";
  }
  return text;
}

std::string dataFolderOf(const MainWindowOptions& options) {
  return options.dataFolder.empty() ? orloDataFolder() : options.dataFolder;
}

// The ID is the one value read back and never sent.
std::optional<int> boardIdOf(const AlarmValues& values) {
  const auto& record = alarmParameterRecord();
  for (std::size_t i = 0; i < record.size(); ++i)
    if (!record[i].sent) return static_cast<int>(values[i]);
  return std::nullopt;
}

}  // namespace

MainWindow::MainWindow(Form& form, PageForms pages, SerialControl& serial, const Clock& clock,
                       MainWindowOptions options)
    : form_(form),
      serial_(serial),
      clock_(clock),
      options_(std::move(options)),
      bms_(pages.bms),
      balance_(pages.balance, serial_),
      alarm_(pages.alarm, serial_),
      calibration_(pages.calibration, serial_),
      session_(serial_),
      workflow_(session_, SnapshotStore(dataFolderOf(options_) + "/snapshots"),
                WriteRecord(dataFolderOf(options_) + "/writes.csv"), clock_),
      writeRecord_(dataFolderOf(options_) + "/writes.csv"),
      events_(clock_, dataFolderOf(options_)) {
  dataLog_ = std::make_unique<DataLog>(
      form, serial_, clock_, [this] { return logValues(); }, options_.userFolder);
  alarm_.setBeforeSet(
      [this](const AlarmValues& sent, std::string* note) { return keepBeforePageSet(sent, note); });
  serial_.setListener(this);
}

MainWindow::~MainWindow() {
  serial_.setListener(nullptr);
}

DataLog& MainWindow::dataLog() {
  return *dataLog_;
}

LogValues MainWindow::logValues() const {
  return kept_;
}

// ---- start-up ------------------------------------------------------------------------------

void MainWindow::onInitDialog() {
  alarm_.initPage(options_.workingFolder, options_.userFolder);
  bms_.resetAlarmLamps();
  bms_.clearValues();
  balance_.startUp();
  calibration_.initPage();
  form_.setIcon(MainId::DisLamp, Icon::Red);
  form_.setIcon(MainId::ChgLamp, Icon::Red);
  clearHeader();
  serialStartUp();
  for (const TimerBeat& t : kTimerBeats) form_.startTimerOnBeat(t.id, t.periodMs, t.offsetMs);
}

void MainWindow::serialStartUp() {
  receiver_.reset();
  alarm_.clearStatusShownFlag();
  if (serial_.isOpen()) {
    form_.messageBox("Serial already open!");
    return;
  }
  form_.setText(MainId::StartUp, "Start Up");
  std::vector<std::string> ports;
  for (int n = 1; n <= kPortCount; ++n) ports.push_back(portName(n));
  form_.setItems(MainId::SerialPorts, ports);
  form_.setCurrentIndex(MainId::SerialPorts, 0);
  for (const auto& [id, item] : kLineSettings) {
    form_.setItems(id, {item});
    form_.setCurrentIndex(id, 0);
  }
  showDevicePath();
}

// ---- events --------------------------------------------------------------------------------

FormEvents& MainWindow::pageEvents(int tabIndex) {
  FormEvents* const pages[] = {&bms_, &balance_, &alarm_, &calibration_};
  if (tabIndex < 0 || tabIndex >= static_cast<int>(std::size(pages))) return bms_;
  return *pages[tabIndex];
}

void MainWindow::onClicked(MainId id) {
  if (id == MainId::StartUp) startUpOrStop();
  if (id == MainId::Clear) onClear();
  if (id == MainId::Path) dataLog_->onPath();
  if (id == MainId::SaveFile) dataLog_->onSaveFile();
}

void MainWindow::onTimer(int timerId) {
  if (timerId == kLogTimer) dataLog_->onTimer();
  if (timerId == kClockTimer) clockTick();
  if (timerId == kFrameTimer) {
    receiver_.frameTick(*this);
    sessionMs_ += kFrameTickMs;
    session_.tick(sessionMs_);
    // A tick with no frame waiting and no session to time does nothing: the timer sleeps until
    // a frame or a session needs it, and then keeps its beat.
    if (receiver_.pendingFrames() == 0 && !session_.busy()) form_.pauseTimer(kFrameTimer);
  }
  if (timerId == kPollTimer) pollTick();
  if (timerId == kLinkTimer) {
    linkStatusCheck();
    retryLostPort();
  }
}

// The tab control shows the chosen page itself; only the port box needs an answer here.
void MainWindow::onSelectionChanged(MainId id) {
  if (id != MainId::SerialPorts) return;
  reconnect_.stop();
  showDevicePath();
}

// ---- serial connection ---------------------------------------------------------------------

void MainWindow::startUpOrStop() {
  if (!serial_.isOpen()) {
    openSelectedPort();
    return;
  }
  serial_.close();
  events_.onPortClosedByUser(openPort_, portDevice_);
  boardValues_.reset();
  form_.setText(MainId::StartUp, "Start Up");
  form_.setEnabled(MainId::SerialPorts, true);
}

void MainWindow::openSelectedPort() {
  if (reconnect_.waiting()) {
    reconnect_.stop();
    showDevicePath("lost: " + reconnect_.lostReason());
  }
  // Only the selection counts: a name typed into the box is not a port.
  const int portNumber = form_.currentIndex(MainId::SerialPorts) + 1;
  if (portNumber < 1 || portNumber > kPortCount) {
    form_.messageBox(
        "Cannot open the serial port: choose one of COM1 ... COM16 under \"Serial Ports:\" first.");
    return;
  }
  OpenResult result = serial_.open(portNumber);
  if (!result.ok) {
    if (result.devicePath.empty()) result.devicePath = serial_.devicePath(portNumber);
    form_.messageBox(openFailureText(portNumber, result));
    return;
  }
  portOpened(result, portNumber, false);
}

void MainWindow::portOpened(const OpenResult& result, int portNumber, bool byItself) {
  boardValues_.reset();
  openPort_ = portNumber;
  portDevice_ = result.devicePath.empty() ? serial_.devicePath(portNumber) : result.devicePath;
  form_.setText(MainId::StartUp, "Stop");
  form_.setEnabled(MainId::SerialPorts, false);
  events_.onPortOpened(portNumber, portDevice_, byItself);
}

// A lost port comes back as if Start Up had been pressed; the device text loses its "waiting".
void MainWindow::retryLostPort() {
  const int portNumber = reconnect_.portNumber();
  if (const auto result = reconnect_.tryOpen(serial_)) {
    portOpened(*result, portNumber, true);
    showDevicePath();
    if (portBack_) portBack_();
  }
}

void MainWindow::setReconnect(bool on) {
  const bool wasWaiting = reconnect_.waiting();
  reconnect_.setEnabled(on);
  if (wasWaiting && !reconnect_.waiting()) showDevicePath("lost: " + reconnect_.lostReason());
}

void MainWindow::selectPort(int portNumber) {
  if (portNumber < 1 || portNumber > kPortCount) return;
  form_.setCurrentIndex(MainId::SerialPorts, portNumber - 1);
  showDevicePath();
}

void MainWindow::pressStartUp() {
  if (!serial_.isOpen()) openSelectedPort();
}

void MainWindow::showDevicePath(const std::string& note) {
  const int portNumber = form_.currentIndex(MainId::SerialPorts) + 1;
  std::string path = portNumber >= 1 && portNumber <= kPortCount ? serial_.devicePath(portNumber) : "";
  std::string text = path.empty() ? "no device present" : path;
  if (!note.empty()) text += " (" + note + ")";
  form_.setText(MainId::DevicePath, text);
}

void MainWindow::pollTick() {
  if (serial_.isOpen()) serial_.write(pollRequest());
}

void MainWindow::linkStatusCheck() {
  if (!serial_.isOpen()) {
    // The frame-seen flag survives: a frame that came just before closing counts after reopening.
    form_.setText(MainId::PortText, "Serial not open!");
    form_.setText(MainId::LinkText, "Comm FAIL!");
    form_.setIcon(MainId::PortLamp, Icon::Red);
    form_.setIcon(MainId::LinkLamp, Icon::Red);
    events_.onLinkVerdict(false);
    return;
  }
  form_.setText(MainId::PortText, "Serial open!");
  form_.setIcon(MainId::PortLamp, Icon::Green);
  std::string linkText;
  if (receiver_.frameSeen()) {
    linkText = "Comm OK!";
    receiver_.setFrameSeen(false);
    form_.setIcon(MainId::LinkLamp, Icon::Green);
  } else {
    linkText = "Comm FAIL!";
    form_.setIcon(MainId::LinkLamp, Icon::Red);
    // A silent link must not leave stale cell voltages in the log; the header keeps its texts.
    for (auto& v : kept_.cellVoltage) v = 0;
  }
  form_.setText(MainId::LinkText, linkText);
  events_.onLinkVerdict(linkText == "Comm OK!");
}

void MainWindow::onBytesReceived(const std::uint8_t* data, std::size_t size) {
  receiver_.onBytes(data, size);
  if (receiver_.pendingFrames() > 0) form_.resumeTimer(kFrameTimer);
}

void MainWindow::onCommEvent() {
  serial_.discardTransmit();
}

void MainWindow::onPortLost(const std::string& reason) {
  boardValues_.reset();
  session_.onPortLost(reason);
  if (tapPortLost_) tapPortLost_(reason);
  form_.setText(MainId::StartUp, "Start Up");
  form_.setEnabled(MainId::SerialPorts, true);
  showDevicePath("lost: " + reason);
  events_.onPortLost(openPort_, portDevice_, reason);
  reconnect_.portLost(openPort_, portDevice_, reason);
  if (reconnect_.waiting()) form_.setText(MainId::DevicePath, reconnect_.waitingText());
}

// ---- header readout ------------------------------------------------------------------------

void MainWindow::headerFill(const LiveData& live) {
  takeHeaderValues(live, &kept_);
  for (std::size_t i = 0; i < kCellCount; ++i)
    form_.setText(MainId::CellV1 + static_cast<int>(i), std::to_string(kept_.cellVoltage[i]));
  form_.setText(MainId::TempC1, formatFixed(kept_.temperature1, 1));
  form_.setText(MainId::TempC2, formatFixed(kept_.temperature2, 1));
  form_.setText(MainId::BalanVal, std::to_string(kept_.balanceFlags));
  form_.setText(MainId::Current, formatFixed(kept_.current, 6));
  calibration_.setLiveCurrent(kept_.current);
  form_.setText(MainId::TotalVal, std::to_string(live.totalMv));
  form_.setText(MainId::BusVolt, std::to_string(live.busMv));
  form_.setText(MainId::Soc, std::to_string(live.socPercent));
  setMosLamps(kept_.mosStatus);
}

void MainWindow::setMosLamps(std::uint8_t mosStatus) {
  for (const auto& row : kMosTable) {
    if (row.status != mosStatus) continue;
    form_.setIcon(MainId::DisLamp, row.dis);
    form_.setIcon(MainId::ChgLamp, row.chg);
  }
}

// Values keep arriving into the disabled fields; only the start-up look is restored.
void MainWindow::clearHeader() {
  for (MainId id : kHeaderFields) {
    form_.setText(id, "0");
    form_.setEnabled(id, false);
  }
}

void MainWindow::onClear() {
  clearHeader();
  if (form_.currentIndex(MainId::Tabs) != 0) return;
  bms_.clearValues();
  bms_.resetAlarmLamps();
  form_.setIcon(MainId::DisLamp, Icon::Red);
  form_.setIcon(MainId::ChgLamp, Icon::Red);
}

void MainWindow::clockTick() {
  const std::tm now = clock_.localNow();
  char buf[64];
  if (std::strftime(buf, sizeof buf, "%Y-%m-%d  %H:%M:%S", &now) == 0) return;
  clockText_ = buf;
  form_.setText(MainId::Clock, clockText_);
}

// ---- frames for the pages ------------------------------------------------------------------

// Every live data frame reaches the BMS page, then the balance lamps, then the header.
void MainWindow::onLiveData(const LiveData& live) {
  bms_.updateLiveData(live);
  takeStatusValues(live, &kept_);
  balance_.updateBalanceLamps(live.balanceFlags);
  headerFill(live);
  events_.onLiveData(live);
  if (tap_) tap_->onLiveData(live);
}
void MainWindow::onOtherFrame(const LiveData& asLiveData) {
  headerFill(asLiveData);
}
// While a parameter session runs, the board's answers are its own: the page's boxes keep what
// the user typed, and the page does not claim a Set of the session's as its own.
void MainWindow::onAlarmParameters(const FrameView& answer) {
  if (session_.busy()) return session_.onAlarmParameters(answer);
  if (tap_) return tap_->onAlarmParameters(answer);
  if (answer.length() >= alarmReadResultLength()) boardValues_ = decodeAlarmValues(answer);
  alarm_.onReadResult(answer);
}
void MainWindow::onSetAcknowledge() {
  if (session_.busy()) return session_.onSetAcknowledge();
  if (tap_) return tap_->onSetAcknowledge();
  alarm_.onSetAcknowledge();
}
void MainWindow::onBalanceCondition(const BalanceCondition& condition) {
  balance_.showBalanceCondition(condition);
}
void MainWindow::onCalibrationResult(const CalibrationResult& result) {
  calibration_.onCalibrationResult(result);
  if (tap_) tap_->onCalibrationResult(result);
}

void MainWindow::setFrameTap(FrameHandlers* tap, std::function<void(const std::string&)> portLost) {
  tap_ = tap;
  tapPortLost_ = std::move(portLost);
}

// ---- protection parameters -----------------------------------------------------------------

bool MainWindow::readBoardParameters(ParameterSession::Done done) {
  const bool started =
      session_.read(sessionMs_, [this, done = std::move(done)](const ParameterResult& result) {
        noteBoard(result);
        if (done) done(result);
      });
  if (session_.busy()) form_.resumeTimer(kFrameTimer);  // its waits are counted in ticks
  return started;
}

bool MainWindow::writeParameters(const std::vector<std::string>& texts, ParameterSession::Done done) {
  const bool started = workflow_.write(
      texts, portDevice_, sessionMs_, [this, done = std::move(done)](const ParameterResult& result) {
        // A write refused before anything was sent changed nothing.
        if (result.outcome != ParameterOutcome::Refused)
          events_.onParameterWrite(writeEntryFor(result, portDevice_, clock_.localNow()));
        noteBoard(result);
        if (done) done(result);
      });
  if (session_.busy()) form_.resumeTimer(kFrameTimer);
  return started;
}

void MainWindow::noteBoard(const ParameterResult& result) {
  if (result.haveReadBack)
    boardValues_ = result.readBack;
  else if (result.wrote)
    boardValues_.reset();
  else if (result.haveBoard)
    boardValues_ = result.board;
}

// The page's Set reads nothing first: what the board holds is what the last read showed, if
// nothing may have changed it since. A Set while a session runs would take its acknowledge.
bool MainWindow::keepBeforePageSet(const AlarmValues& sent, std::string* note) {
  if (session_.busy()) {
    *note =
        "A protection parameter write or read of the Parameters menu is running. Nothing was sent; "
        "press Set again when it has finished.";
    return false;
  }
  WriteEntry entry;
  entry.time = clock_.localNow();
  entry.port = portDevice_;
  if (!boardValues_) {
    *note = "No snapshot kept: press Read first";
  } else if (!workflow_.snapshots().save(*boardValues_, portDevice_, entry.time)) {
    *note = "No snapshot kept: it could not be written";
  }
  if (boardValues_) entry.boardId = boardIdOf(*boardValues_);
  entry.changes = changedFields(boardValues_, sent);
  entry.outcome = "Sent from the page; not read back";
  if (!writeRecord_.append(entry) && note->empty()) *note = "writes.csv could not be written";
  events_.onParameterWrite(entry);
  boardValues_.reset();
  return true;
}

}  // namespace orlo
