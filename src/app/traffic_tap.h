#pragma once
// A SerialControl that passes everything to the real one and tells the traffic log about every
// block written, so the Traffic window sees requests from every sender without touching them.

#include "app/traffic_log.h"
#include "link/serial_control.h"

namespace orlo {

class TrafficTap : public SerialControl {
 public:
  TrafficTap(SerialControl& inner, TrafficLog& log) : inner_(inner), log_(log) {}

  bool isOpen() const override { return inner_.isOpen(); }
  OpenResult open(int portNumber) override { return inner_.open(portNumber); }
  void close() override { inner_.close(); }
  bool write(const Bytes& block) override;
  void discardTransmit() override { inner_.discardTransmit(); }
  void setListener(SerialListener* listener) override { inner_.setListener(listener); }
  std::string devicePath(int portNumber) const override { return inner_.devicePath(portNumber); }

 private:
  SerialControl& inner_;
  TrafficLog& log_;
};

}  // namespace orlo
