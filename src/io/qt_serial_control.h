#pragma once
// The serial port on QSerialPort, asynchronous on the window thread.
//
//   QtSerialControl serial;
//   serial.addMapping(3, "/dev/ttyUSB0");   // from `--port COM3=/dev/ttyUSB0`
//   serial.setListener(&mainWindow);
//   OpenResult r = serial.open(3);          // 38400,N,8,1, no flow control
//
// COMn resolves to an explicit mapping if there is one, otherwise to the n-th serial device
// the system reports, in the order of the device paths (see PortMap).
//
// Received bytes: every readyRead hands all waiting bytes to the listener as one block.
// Line errors that leave the port usable reach the listener as onCommEvent(). A port that goes
// away while open (adapter pulled, peer hung up: a resource error, a failing write, or a wake-up
// with nothing to read on a hung-up line) is closed and reported once through onPortLost().
// Modem lines (DTR/RTS) are never touched, so a pseudo-terminal works as well as a real port.

#include <QObject>
#include <QSerialPort>
#include <string>

#include "link/port_map.h"
#include "link/serial_control.h"

namespace orlo::ui {

class QtSerialControl : public QObject, public SerialControl {
  Q_OBJECT

 public:
  explicit QtSerialControl(QObject* parent = nullptr);
  ~QtSerialControl() override;

  // Makes COM<portNumber> stand for `path`. False for a port outside 1 ... 16 or an empty path.
  bool addMapping(int portNumber, const std::string& path);

  bool isOpen() const override;
  // Closes a port already open first. Fills devicePath, and reason / permissionDenied on failure.
  OpenResult open(int portNumber) override;
  // Closes quietly (no onPortLost).
  void close() override;
  bool write(const Bytes& block) override;
  void discardTransmit() override;
  void setListener(SerialListener* listener) override;
  std::string devicePath(int portNumber) const override;

 private:
  void onReadyRead();
  void onError(QSerialPort::SerialPortError error);
  bool lineHungUp() const;
  void emptyWakeUp();
  void portLost(const std::string& reason);

  QSerialPort port_;
  PortMap map_;
  SerialListener* listener_ = nullptr;
  int emptyWakeUps_ = 0;  // consecutive wake-ups that brought no byte
  bool closing_ = false;
};

}  // namespace orlo::ui
