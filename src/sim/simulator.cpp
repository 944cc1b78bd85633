#include "sim/simulator.h"

#include <poll.h>
#include <algorithm>
#include <cerrno>
#include <cmath>

namespace orlo::sim {

namespace {

std::int64_t secondsToMs(double seconds) {
  return static_cast<std::int64_t>(seconds * 1000.0);
}

}  // namespace

Simulator::Simulator(Transport& transport, const SimSettings& settings, const SimClock& clock)
    : transport_(transport),
      settings_(settings),
      clock_(clock),
      board_(settings.faults.seed),
      shaper_(settings.faults) {
  board_.failures() = settings.failures;
  if (settings.boardId >= 0) board_.setBoardId(settings.boardId);
  board_.setAtRest(settings.atRest);
}

bool Simulator::start(std::string& error) {
  if (!transport_.open(error)) return false;
  if (deviceCallback_) deviceCallback_(transport_.devicePath());
  return true;
}

void Simulator::unplug() {
  if (unplugged()) return;
  transport_.unplug();
  shaper_.clear();
  scanner_ = RequestScanner();
  writeBlocked_ = false;
  stats_.onUnplug();
  if (settings_.reopenAfterS >= 0) reopenAtMs_ = clock_.nowMs() + secondsToMs(settings_.reopenAfterS);
}

bool Simulator::replug(std::string& error) {
  reopenAtMs_ = -1;
  if (!transport_.open(error)) return false;
  if (deviceCallback_) deviceCallback_(transport_.devicePath());
  return true;
}

int Simulator::waitMs(int timeoutMs, std::int64_t now) const {
  std::int64_t wait = timeoutMs;
  const auto until = [&](std::int64_t at) {
    if (at >= 0) wait = std::min(wait, std::max<std::int64_t>(0, at - now));
  };
  if (!writeBlocked_ && !shaper_.empty()) until(std::max(shaper_.nextDueMs(), lineReadyMs(now)));
  if (settings_.flood && !silent_ && shaper_.empty()) until(nextFloodMs_);
  if (!silenceDone_ && settings_.silentAfterS >= 0) until(secondsToMs(settings_.silentAfterS));
  if (!unplugDone_ && settings_.unplugAfterS >= 0) until(secondsToMs(settings_.unplugAfterS));
  until(reopenAtMs_);
  return static_cast<int>(std::max<std::int64_t>(0, wait));
}

void Simulator::runOnce(int timeoutMs) {
  const int wait = waitMs(timeoutMs, clock_.nowMs());
  pollfd pfd{transport_.fd(), POLLIN, 0};
  if (writeBlocked_) pfd.events |= POLLOUT;
  ::poll(unplugged() ? nullptr : &pfd, unplugged() ? 0 : 1, wait);
  if (pfd.revents & POLLOUT) writeBlocked_ = false;
  if (!unplugged() && (pfd.revents & (POLLERR | POLLHUP | POLLNVAL))) {
    // A device that went away would otherwise wake poll() at once forever.
    if (errorCallback_) errorCallback_("the line to " + transport_.devicePath() + " went away");
    unplug();
  }
  const std::int64_t now = clock_.nowMs();
  if (!unplugged()) readInput(now);
  runSchedule(now);
  feedFlood(now);
  writeDue(now);
}

void Simulator::readInput(std::int64_t now) {
  // A host that writes without pause must not keep the board reading forever: the rest waits
  // for the next turn, after the answers so far have had their chance to go out.
  constexpr int kMaxReads = 16;
  std::uint8_t buffer[4096];
  std::vector<Bytes> frames;
  for (int reads = 0; reads < kMaxReads; ++reads) {
    const ssize_t n = transport_.read(buffer, sizeof buffer);
    if (n <= 0) break;
    scanner_.feed(buffer, static_cast<std::size_t>(n), frames);
  }
  for (const Bytes& frame : frames) answer(frame, now);
}

void Simulator::answer(const Bytes& request, std::int64_t now) {
  stats_.onRequest(now, request, board_.understands(request));
  if (requestCallback_) requestCallback_({now, request});
  const std::vector<Bytes> answers = board_.handle(request, now);
  if (answers.empty()) return;
  if (silent_) {
    stats_.onSilenced(answers.size());
    return;
  }
  stats_.onAnswered(answers.size());
  stats_.onDropped(shaper_.queue(answers, now + settings_.faults.delayMs + board_.answerDelayMs(request)));
}

void Simulator::runSchedule(std::int64_t now) {
  if (!silenceDone_ && settings_.silentAfterS >= 0 && now >= secondsToMs(settings_.silentAfterS)) {
    silenceDone_ = true;
    silent_ = true;
  }
  if (!unplugDone_ && settings_.unplugAfterS >= 0 && now >= secondsToMs(settings_.unplugAfterS)) {
    unplugDone_ = true;
    unplug();
  }
  if (reopenAtMs_ >= 0 && now >= reopenAtMs_ && unplugged()) {
    std::string error;
    if (!replug(error) && errorCallback_) errorCallback_(error);
  }
}

// Flooding waits for the previous frame to leave, so the line, not memory, sets the pace.
void Simulator::feedFlood(std::int64_t now) {
  if (!settings_.flood || silent_ || unplugged() || !shaper_.empty() || now < nextFloodMs_) return;
  board_.advanceTo(now);
  const Bytes frame = board_.liveDataFrame();
  shaper_.queue({frame}, now);
  nextFloodMs_ = now + lineTimeMs(frame.size());
}

double Simulator::lineCredit(std::int64_t now) const {
  const int rate = transport_.lineBytesPerSecond();
  if (rate <= 0) return kPaceBurstBytes;
  return std::min(kPaceBurstBytes, credit_ + static_cast<double>(now - creditAtMs_) * rate / 1000.0);
}

// When the line can take the rest of the front write, or a FIFO's worth of it.
std::int64_t Simulator::lineReadyMs(std::int64_t now) const {
  const int rate = transport_.lineBytesPerSecond();
  if (rate <= 0 || shaper_.empty()) return now;
  const Chunk& chunk = shaper_.front();
  const double needed = std::min(kPaceBurstBytes, static_cast<double>(chunk.bytes.size() - chunk.written));
  const double credit = lineCredit(now);
  if (credit >= needed) return now;
  return now + static_cast<std::int64_t>(std::ceil((needed - credit) * 1000.0 / rate));
}

void Simulator::writeDue(std::int64_t now) {
  credit_ = lineCredit(now);
  creditAtMs_ = now;
  while (!unplugged() && !writeBlocked_ && shaper_.hasDue(now)) {
    Chunk& chunk = shaper_.front();
    std::size_t size = chunk.bytes.size() - chunk.written;
    if (transport_.lineBytesPerSecond() > 0) size = std::min(size, static_cast<std::size_t>(credit_));
    if (size == 0) return;
    const auto began =
        sentCallback_ ? std::chrono::system_clock::now() : std::chrono::system_clock::time_point();
    const ssize_t n = transport_.write(chunk.bytes.data() + chunk.written, size);
    if (n < 0) {
      // EAGAIN: the host is not reading; anything else: wait for the next turn.
      writeBlocked_ = errno == EAGAIN || errno == EWOULDBLOCK;
      return;
    }
    if (transport_.lineBytesPerSecond() > 0) credit_ -= static_cast<double>(n);
    chunk.written += static_cast<std::size_t>(n);
    if (chunk.written < chunk.bytes.size()) continue;
    stats_.onSent(chunk.counts);
    if (sentCallback_) sentCallback_(chunk.counts, began);
    shaper_.popFront();
  }
}

}  // namespace orlo::sim
