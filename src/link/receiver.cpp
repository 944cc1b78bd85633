#include "link/receiver.h"

#include <algorithm>
#include <cstring>

#include "link/frame_bytes.h"

namespace orlo {

namespace {

using frame_bytes::kHead0;
using frame_bytes::kHead1;
using frame_bytes::kTail0;
using frame_bytes::kTail1;
constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

}  // namespace

Receiver::Receiver() = default;
Receiver::~Receiver() = default;

void Receiver::reset() {
  used_ = 0;
  firstHead_ = Progress{};
  queueFirst_ = 0;
  queueCount_ = 0;
  frameSeen_ = false;
}

std::size_t Receiver::pendingFrames() const {
  return queueCount_;
}

void Receiver::onBytes(const std::uint8_t* data, std::size_t size) {
  if (data == nullptr) return;
  stats_.bytesReceived += size;
  // After every scan fewer than 100 bytes stay unconsumed (a head with 100 bytes behind it is
  // always settled), so a chunk larger than the free space is taken in slices and nothing of it
  // is lost; the overflow drop of the oldest bytes is only a safety net.
  while (size > 0) {
    if (used_ == buffer_.size()) dropOldest(std::min(size, buffer_.size()));
    const std::size_t n = std::min(size, buffer_.size() - used_);
    std::memcpy(buffer_.data() + used_, data, n);
    used_ += n;
    data += n;
    size -= n;
    extract();
  }
}

std::size_t Receiver::findHead(std::size_t from) const {
  for (std::size_t i = from; i + 1 < used_; ++i) {
    const void* hit = std::memchr(buffer_.data() + i, kHead0, used_ - 1 - i);
    if (hit == nullptr) return kNotFound;
    i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - buffer_.data());
    if (buffer_[i + 1] == kHead1) return i;
  }
  return kNotFound;
}

// Looks for the first tail after `head` at which the checksum holds, within what has arrived
// and within 100 bytes. A head is only given up once all 100 bytes are there.
Receiver::Scan Receiver::tryHead(std::size_t head, Progress& progress) const {
  const std::uint8_t* d = buffer_.data() + head;
  const std::size_t window = std::min(used_ - head, kFrameBufferSize);
  // Moves the search on to `next`: the sum then covers offsets 4 ... next-4.
  const auto advance = [&](std::size_t next) {
    for (std::size_t k = std::max<std::size_t>(progress.next, 7) - 3; k + 4 <= next; ++k)
      progress.sum += d[k];
    progress.next = next;
  };
  while (progress.next + 1 < window) {
    // Tail candidates are rare inside a frame: skip to the next 55 and sum the bytes passed.
    const void* hit = std::memchr(d + progress.next, kTail0, window - 1 - progress.next);
    if (hit == nullptr) break;
    const auto j = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - d);
    advance(j + 1);  // the sum covers offsets 4 ... j-3
    if (d[j + 1] != kTail1) continue;
    progress.sawTail = true;
    const unsigned stored = d[j - 2] | (d[j - 1] << 8);
    if (stored == (progress.sum & 0xFFFF)) return {HeadResult::Found, j + 2};
  }
  if (progress.next + 1 < window) advance(window - 1);
  if (window < kFrameBufferSize) return {HeadResult::Pending, 0};
  return {progress.sawTail ? HeadResult::BadChecksum : HeadResult::NoTail, 0};
}

// Takes out every frame that is complete now. Bytes before the first head go at once; a head
// still waiting for its tail does not hold back a complete frame that starts after it.
void Receiver::extract() {
  std::size_t start = 0;
  while (start < used_) {
    const std::size_t first = findHead(start);
    if (first == kNotFound) {
      // A last AA may still become a head with the next chunk.
      const std::size_t keep = buffer_[used_ - 1] == kHead0 ? 1 : 0;
      drop(DropReason::BytesBeforeHead, start, used_ - keep - start);
      start = used_ - keep;
      break;
    }
    if (first != 0) firstHead_ = Progress{};
    drop(DropReason::BytesBeforeHead, start, first - start);
    start = first;
    const Scan scan = tryHead(start, firstHead_);
    if (scan.result == HeadResult::Pending && settleLaterHead(start)) continue;
    if (scan.result == HeadResult::Pending) break;
    firstHead_ = Progress{};
    if (scan.result == HeadResult::Found) {
      enqueue(start, scan.length);
      start += scan.length;
    } else {
      drop(scan.result == HeadResult::NoTail ? DropReason::NoTail : DropReason::BadChecksum, start, 1);
      start += 1;
    }
  }
  if (start > 0) {
    std::memmove(buffer_.data(), buffer_.data() + start, used_ - start);
    used_ -= start;
  }
}

// While the head at `start` waits, a later head may already hold a whole frame: take it out
// and give up everything before it. Moves `start` past that frame; false if there is none.
bool Receiver::settleLaterHead(std::size_t& start) {
  for (std::size_t head = findHead(start + 1); head != kNotFound; head = findHead(head + 1)) {
    Progress fresh;
    const Scan scan = tryHead(head, fresh);
    if (scan.result != HeadResult::Found) continue;
    firstHead_ = Progress{};
    drop(DropReason::BytesBeforeHead, start, head - start);
    enqueue(head, scan.length);
    start = head + scan.length;
    return true;
  }
  return false;
}

void Receiver::drop(DropReason reason, std::size_t from, std::size_t count) {
  if (count == 0) return;
  if (reason == DropReason::BytesBeforeHead) stats_.dropBytesBeforeHead += count;
  if (reason == DropReason::NoTail) ++stats_.dropNoTail;
  if (reason == DropReason::BadChecksum) ++stats_.dropBadChecksum;
  if (observer_) observer_->onDropped(reason, buffer_.data() + from, count);
}

void Receiver::dropOldest(std::size_t count) {
  count = std::min(count, used_);
  stats_.dropBufferOverflow += count;
  firstHead_ = Progress{};
  if (observer_) observer_->onDropped(DropReason::BufferOverflow, buffer_.data(), count);
  std::memmove(buffer_.data(), buffer_.data() + count, used_ - count);
  used_ -= count;
}

void Receiver::enqueue(std::size_t from, std::size_t length) {
  if (queueCount_ == kQueueSize) {
    auto& oldest = queue_[queueFirst_];
    ++stats_.dropQueueFull;
    if (observer_) observer_->onDropped(DropReason::QueueFull, oldest.data(), queueLength_[queueFirst_]);
    queueFirst_ = (queueFirst_ + 1) % kQueueSize;
    --queueCount_;
  }
  const std::size_t slot = (queueFirst_ + queueCount_) % kQueueSize;
  std::memcpy(queue_[slot].data(), buffer_.data() + from, length);
  queueLength_[slot] = length;
  ++queueCount_;
  ++stats_.framesAccepted;
  if (observer_) observer_->onFrameAccepted(queue_[slot].data(), length);
}

bool Receiver::frameTick(FrameHandlers& handlers) {
  if (queueCount_ == 0) return false;
  const std::size_t slot = queueFirst_;
  queueFirst_ = (queueFirst_ + 1) % kQueueSize;
  --queueCount_;
  const FrameView frame(queue_[slot].data(), queueLength_[slot]);
  ++stats_.framesDispatched;
  if (observer_) observer_->onFrameDispatched(frame.data(), frame.length());
  dispatchFrame(frame, handlers);
  frameSeen_ = true;
  return true;
}

}  // namespace orlo
