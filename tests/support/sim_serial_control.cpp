#include "support/sim_serial_control.h"

#include <algorithm>
#include <utility>

namespace orlo::test {

SimSerialControl::SimSerialControl(sim::BoardModel& board, bool startOpen)
    : board_(board), open_(startOpen) {}

OpenResult SimSerialControl::open(int portNumber) {
  open_ = true;
  onTheWay_.clear();
  return OpenResult{true, false, devicePath(portNumber), ""};
}

void SimSerialControl::close() {
  open_ = false;
  onTheWay_.clear();
}

std::int64_t SimSerialControl::lineUs(std::size_t bytes) {
  constexpr std::int64_t kBitsPerByte = 10;  // start, 8 data, stop
  return static_cast<std::int64_t>(bytes) * kBitsPerByte * 1'000'000 / kBaud;
}

bool SimSerialControl::write(const Bytes& block) {
  if (!open_) return false;
  if (onWrite) onWrite(block);
  const std::int64_t sentUs = std::max(nowUs_, sendFreeUs_) + lineUs(block.size());
  sendFreeUs_ = sentUs;
  written.push_back(block);
  writtenAtMs.push_back(sentUs / 1000);

  std::vector<Bytes> answers = board_.handle(block, sentUs / 1000);
  if (alterAnswers) answers = alterAnswers(block, std::move(answers));
  std::int64_t at = std::max(sentUs + answerDelayMs * 1000, receiveFreeUs_);
  for (auto& answer : answers) {
    at += lineUs(answer.size());
    onTheWay_.push_back({at, std::move(answer)});
  }
  receiveFreeUs_ = at;
  return true;
}

std::optional<std::int64_t> SimSerialControl::nextArrivalMs() const {
  if (!open_ || onTheWay_.empty()) return std::nullopt;
  std::int64_t first = onTheWay_.front().dueUs;
  for (const OnTheWay& a : onTheWay_) first = std::min(first, a.dueUs);
  return (first + 999) / 1000;
}

void SimSerialControl::advanceTo(std::int64_t nowMs) {
  nowUs_ = std::max(nowUs_, nowMs * 1000);
  // Delivery may close the port or write again, so take the due answers out first.
  std::vector<OnTheWay> due;
  auto split = std::stable_partition(onTheWay_.begin(), onTheWay_.end(),
                                     [&](const OnTheWay& a) { return a.dueUs <= nowUs_; });
  due.assign(std::make_move_iterator(onTheWay_.begin()), std::make_move_iterator(split));
  onTheWay_.erase(onTheWay_.begin(), split);
  for (const auto& answer : due) {
    if (!open_) return;
    lastAnswerUs_ = answer.dueUs;
    if (listener_ && !answer.bytes.empty())
      listener_->onBytesReceived(answer.bytes.data(), answer.bytes.size());
  }
}

void SimSerialControl::pullPort(const std::string& reason) {
  open_ = false;
  onTheWay_.clear();
  if (listener_) listener_->onPortLost(reason);
}

SimEventLoop::SimEventLoop(SimSerialControl& line, FrameHandlers& handlers, std::int64_t frameTickMs)
    : line_(line), handlers_(handlers), frameTickMs_(frameTickMs > 0 ? frameTickMs : 1) {
  line_.setListener(this);
}

SimEventLoop::~SimEventLoop() {
  line_.setListener(nullptr);
}

void SimEventLoop::onPortLost(const std::string& reason) {
  if (onLost) onLost(reason);
}

void SimEventLoop::step() {
  const std::int64_t next = line_.nowMs() + frameTickMs_;
  line_.advanceTo(next);
  receiver_.frameTick(handlers_);
  if (onTick) onTick(next);
}

bool SimEventLoop::runUntil(const std::function<bool()>& stop, std::int64_t limitMs) {
  const std::int64_t end = line_.nowMs() + limitMs;
  while (line_.nowMs() < end) {
    step();
    if (stop()) return true;
  }
  return false;
}

void SimEventLoop::runFor(std::int64_t ms) {
  runUntil([] { return false; }, ms);
}

}  // namespace orlo::test
