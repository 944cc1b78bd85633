#pragma once
// A pseudo-terminal in raw mode. The simulator keeps a descriptor of the device side open
// itself, so the host may close and reopen the device without the line hanging up; unplug()
// closes both ends, which the host sees as a hang-up, and removes the link, and open() then
// makes a new device.
// With a link path, a symlink to the current device is kept there, replaced atomically. What
// is at the link path is never destroyed: the link is made only where nothing is, or over a
// symlink to nothing (left by a simulator that did not end cleanly), and it is replaced or
// removed only while it still points to this simulator's own device.

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
  // A pseudo-terminal has no rate; with this the board writes as a 38400 baud line carries.
  void paceAs38400Baud() { bytesPerSecond_ = 3840; }
  int lineBytesPerSecond() const override { return bytesPerSecond_; }

  // Whether a new simulator may make its link at `path`: false with `error` naming the path
  // when something is there that is not a symlink to nothing.
  static bool linkPathFree(const std::string& path, std::string& error);

 private:
  bool pointLink(std::string& error);

  std::string link_;
  std::string device_;
  std::string linked_;  // the device the link was last pointed at by us
  int master_ = -1;
  int slave_ = -1;
  int bytesPerSecond_ = 0;
};

}  // namespace orlo::sim
