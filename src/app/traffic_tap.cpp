#include "app/traffic_tap.h"

namespace orlo {

bool TrafficTap::write(const Bytes& block) {
  bool written = inner_.write(block);
  log_.onFrameSent(block, written);
  return written;
}

}  // namespace orlo
