#include "sim/transport.h"

#include <unistd.h>
#include <cerrno>

namespace orlo::sim {

ssize_t Transport::read(std::uint8_t* data, std::size_t size) {
  if (fd() < 0) {
    errno = EBADF;
    return -1;
  }
  return ::read(fd(), data, size);
}

ssize_t Transport::write(const std::uint8_t* data, std::size_t size) {
  if (fd() < 0) {
    errno = EBADF;
    return -1;
  }
  return ::write(fd(), data, size);
}

}  // namespace orlo::sim
