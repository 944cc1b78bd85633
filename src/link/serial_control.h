#pragma once
// The serial port as the rest of the program sees it: open a numbered port with the line
// settings 38400,N,8,1, write whole blocks, and hear about received bytes. QtSerialControl
// (src/ui) implements it on QSerialPort; tests use a fake.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orlo {

using Bytes = std::vector<std::uint8_t>;

// Receives what the port reports. All calls come on the window thread.
class SerialListener {
 public:
  virtual ~SerialListener() = default;
  // A receive event: every byte waiting at that moment, as one block (never empty).
  virtual void onBytesReceived(const std::uint8_t* data, std::size_t size) = 0;
  // Any other communication event (line error, break, overrun...).
  virtual void onCommEvent() = 0;
  // The port went away while open (adapter pulled, peer hung up). The port is already closed.
  virtual void onPortLost(const std::string& reason) = 0;
};

struct OpenResult {
  bool ok = false;
  bool permissionDenied = false;  // the user is not allowed to use the device
  std::string devicePath;         // what COMn was mapped to ("" when nothing is)
  std::string reason;             // human-readable cause when !ok
};

class SerialControl {
 public:
  virtual ~SerialControl() = default;
  virtual bool isOpen() const = 0;
  // Opens COM<portNumber> (1 ... 16) and applies 38400,N,8,1; bytes already waiting are discarded.
  virtual OpenResult open(int portNumber) = 0;
  virtual void close() = 0;
  // Writes one whole frame as one block. Returns false (and sends nothing) when the port is
  // closed or the write fails.
  virtual bool write(const Bytes& block) = 0;
  // Throws away bytes not yet sent.
  virtual void discardTransmit() = 0;
  virtual void setListener(SerialListener* listener) = 0;
  // The device COM<portNumber> stands for ("" when none is present), for the user to see.
  virtual std::string devicePath(int /*portNumber*/) const { return {}; }
};

}  // namespace orlo
