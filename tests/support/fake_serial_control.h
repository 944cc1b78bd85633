#pragma once
// A SerialControl for unit tests: records every block written, lets the test feed received
// bytes, fail an open, or pull the port.

#include <string>
#include <vector>

#include "link/serial_control.h"

namespace orlo::test {

class FakeSerialControl : public SerialControl {
 public:
  bool isOpen() const override { return open_; }
  OpenResult open(int portNumber) override {
    openedPorts.push_back(portNumber);
    if (!nextOpen.ok) return nextOpen;
    open_ = true;
    OpenResult r;
    r.ok = true;
    r.devicePath = nextOpen.devicePath;
    return r;
  }
  void close() override { open_ = false; }
  bool write(const Bytes& block) override {
    if (!open_) {
      ++refusedWrites;
      return false;
    }
    written.push_back(block);
    return true;
  }
  void discardTransmit() override { ++discards; }
  void setListener(SerialListener* listener) override { listener_ = listener; }

  // --- for the test ---
  void setOpen(bool open) { open_ = open; }
  void feedReceived(const Bytes& bytes) {
    if (listener_ && !bytes.empty()) listener_->onBytesReceived(bytes.data(), bytes.size());
  }
  void injectCommEvent() {
    if (listener_) listener_->onCommEvent();
  }
  void pullPort(const std::string& reason = "device removed") {
    open_ = false;
    if (listener_) listener_->onPortLost(reason);
  }
  Bytes lastWritten() const { return written.empty() ? Bytes{} : written.back(); }

  std::vector<Bytes> written;
  std::vector<int> openedPorts;
  int refusedWrites = 0;
  int discards = 0;
  OpenResult nextOpen{true, false, "/dev/fake", ""};

 private:
  bool open_ = false;
  SerialListener* listener_ = nullptr;
};

}  // namespace orlo::test
