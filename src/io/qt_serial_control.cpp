#include "io/qt_serial_control.h"

#include <poll.h>

#include <QSerialPortInfo>
#include <algorithm>
#include <vector>

namespace orlo::ui {

namespace {

// A few wake-ups in a row without data and without a hang-up flag mean the driver keeps
// signalling a dead line; a live line delivers bytes or stays quiet.
constexpr int kMaxEmptyWakeUps = 3;

std::vector<std::string> systemDevices() {
  std::vector<std::string> paths;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
    paths.push_back(info.systemLocation().toStdString());
  return paths;
}

// Errors after which the port is of no further use, with what the user is told.
struct LostPortError {
  QSerialPort::SerialPortError error;
  const char* reason;
};
constexpr LostPortError kLostPortErrors[] = {
    {QSerialPort::ResourceError, "the serial device is no longer available"},
    {QSerialPort::DeviceNotFoundError, "the serial device was removed"},
    {QSerialPort::WriteError, "writing to the serial device failed"},
};
constexpr const char* kHungUp = "the serial line was hung up";

const char* lostReason(QSerialPort::SerialPortError error) {
  for (const auto& e : kLostPortErrors) {
    if (e.error == error) return e.reason;
  }
  return nullptr;
}

}  // namespace

QtSerialControl::QtSerialControl(QObject* parent) : QObject(parent), port_(this) {
  port_.setObjectName("orloSerialPort");
  connect(&port_, &QSerialPort::readyRead, this, &QtSerialControl::onReadyRead);
  connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialControl::onError);
}

QtSerialControl::~QtSerialControl() {
  listener_ = nullptr;
  close();
}

bool QtSerialControl::addMapping(int portNumber, const std::string& path) {
  return map_.addMapping(portNumber, path);
}

std::string QtSerialControl::devicePath(int portNumber) const {
  PortMap current = map_;
  current.setDevices(systemDevices());
  return current.devicePath(portNumber);
}

bool QtSerialControl::isOpen() const {
  return port_.isOpen();
}

OpenResult QtSerialControl::open(int portNumber) {
  close();
  OpenResult result;
  result.devicePath = devicePath(portNumber);
  if (result.devicePath.empty()) {
    const std::string name = "COM" + std::to_string(portNumber);
    result.reason = "no serial device for " + name + " (name one with --port " + name + "=PATH)";
    return result;
  }
  port_.setPortName(QString::fromStdString(result.devicePath));
  port_.setBaudRate(QSerialPort::Baud38400);
  port_.setDataBits(QSerialPort::Data8);
  port_.setParity(QSerialPort::NoParity);
  port_.setStopBits(QSerialPort::OneStop);
  port_.setFlowControl(QSerialPort::NoFlowControl);
  if (!port_.open(QIODevice::ReadWrite)) {
    result.permissionDenied = port_.error() == QSerialPort::PermissionError;
    result.reason = "cannot open " + result.devicePath + ": " + port_.errorString().toStdString();
    port_.clearError();
    return result;
  }
  // Whatever was waiting belongs to no request of ours.
  port_.clear(QSerialPort::Input);
  port_.readAll();
  port_.clearError();
  emptyWakeUps_ = 0;
  result.ok = true;
  return result;
}

void QtSerialControl::close() {
  if (!port_.isOpen() || closing_) return;
  closing_ = true;
  port_.close();
  port_.clearError();
  closing_ = false;
}

bool QtSerialControl::write(const Bytes& block) {
  if (!port_.isOpen()) return false;
  const auto size = static_cast<qint64>(block.size());
  const qint64 written = port_.write(reinterpret_cast<const char*>(block.data()), size);
  if (written != size) {
    portLost(lostReason(QSerialPort::WriteError));
    return false;
  }
  return true;
}

void QtSerialControl::discardTransmit() {
  if (port_.isOpen()) port_.clear(QSerialPort::Output);
}

void QtSerialControl::setListener(SerialListener* listener) {
  listener_ = listener;
}

void QtSerialControl::onReadyRead() {
  if (!port_.isOpen() || closing_) return;
  const QByteArray data = port_.readAll();
  if (data.isEmpty()) {
    emptyWakeUp();
    return;
  }
  emptyWakeUps_ = 0;
  if (listener_)
    listener_->onBytesReceived(reinterpret_cast<const std::uint8_t*>(data.constData()),
                               static_cast<std::size_t>(data.size()));
}

void QtSerialControl::onError(QSerialPort::SerialPortError error) {
  if (error == QSerialPort::NoError || !port_.isOpen() || closing_) return;
  if (const char* reason = lostReason(error)) {
    portLost(reason);
    return;
  }
  port_.clearError();
  if (error == QSerialPort::ReadError) {
    emptyWakeUp();
    return;
  }
  if (listener_) listener_->onCommEvent();
}

bool QtSerialControl::lineHungUp() const {
  pollfd probe{static_cast<int>(port_.handle()), POLLIN, 0};
  if (probe.fd < 0) return true;
  if (::poll(&probe, 1, 0) < 0) return false;
  return (probe.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

void QtSerialControl::emptyWakeUp() {
  if (lineHungUp() || ++emptyWakeUps_ >= kMaxEmptyWakeUps) portLost(kHungUp);
}

void QtSerialControl::portLost(const std::string& reason) {
  if (!port_.isOpen() || closing_) return;
  close();
  if (listener_) listener_->onPortLost(reason);
}

}  // namespace orlo::ui
