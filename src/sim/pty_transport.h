#pragma once
// A pseudo-terminal in raw mode. The simulator keeps a descriptor of the device side open
// itself, so the host may close and reopen the device without the line hanging up; unplug()
// closes both ends, which the host sees as a hang-up, and open() then makes a new device.
// With a link path, a symlink to the current device is kept there, replaced atomically.

#include <string>

#include "sim/transport.h"

namespace orlo::sim {

class PtyTransport : public Transport {
 public:
  explicit PtyTransport(std::string linkPath = {});
  ~PtyTransport() override;
  PtyTransport(const PtyTransport&) = delete;
  PtyTransport& operator=(const PtyTransport&) = delete;

  bool open(std::string& error) override;
  void unplug() override;
  int fd() const override { return master_; }
  std::string devicePath() const override { return device_; }
  const std::string& linkPath() const { return link_; }

 private:
  bool pointLink(std::string& error);

  std::string link_;
  std::string device_;
  int master_ = -1;
  int slave_ = -1;
};

}  // namespace orlo::sim
