#pragma once
// The simulator's end of the line: a descriptor to poll, read and write, which can be pulled
// (the host sees a hang-up) and put back.

#include <sys/types.h>
#include <cstddef>
#include <cstdint>
#include <string>

namespace orlo::sim {

class Transport {
 public:
  virtual ~Transport() = default;
  // Opens (or re-opens after unplug()); false with `error` set when that fails.
  virtual bool open(std::string& error) = 0;
  virtual void unplug() = 0;
  virtual int fd() const = 0;  // -1 while unplugged
  // The device the host should open.
  virtual std::string devicePath() const = 0;
  // Bytes per second the line carries, which the simulator keeps to; 0 for a line without a
  // rate of its own (a pseudo-terminal takes whatever fits in its buffer at once).
  virtual int lineBytesPerSecond() const { return 0; }

  // Non-blocking; -1 with errno set on failure (EAGAIN when nothing is there / no room).
  ssize_t read(std::uint8_t* data, std::size_t size);
  ssize_t write(const std::uint8_t* data, std::size_t size);
};

}  // namespace orlo::sim
