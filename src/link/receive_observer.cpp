#include "link/receive_observer.h"

namespace orlo {

const char* dropReasonName(DropReason reason) {
  switch (reason) {
    case DropReason::BadChecksum:
      return "bad checksum";
    case DropReason::NoTail:
      return "no tail within 100 bytes";
    case DropReason::BytesBeforeHead:
      return "bytes before a head";
    case DropReason::QueueFull:
      return "queue full";
    case DropReason::BufferOverflow:
      return "receive buffer overflow";
  }
  return "unknown";
}

}  // namespace orlo
