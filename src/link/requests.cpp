#include "link/requests.h"

#include "link/frame_bytes.h"

namespace orlo {

namespace {

using namespace frame_bytes;

// Every 18-byte request carries seven data bytes, the 16-byte ones five.
constexpr std::size_t kShortData = 7;
constexpr std::size_t kCalibrationData = 5;

std::uint8_t lowByte(unsigned value) {
  return static_cast<std::uint8_t>(value & 0xFF);
}
std::uint8_t highByte(unsigned value) {
  return static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

Bytes balanceRequest(std::uint8_t sub, const Bytes& data) {
  Bytes padded = data;
  padded.resize(kShortData, 0);
  return buildFrame(kBalance, 0x00, sub, padded);
}

Bytes calibrationRequest(std::uint8_t byte5, int point, int direction, std::uint32_t reference) {
  Bytes data(kCalibrationData, 0);
  data[0] = direction == 0 ? 0x00 : 0x01;
  for (int i = 0; i < 4; ++i) data[1 + i] = static_cast<std::uint8_t>((reference >> (8 * i)) & 0xFF);
  return buildFrame(kCalibration, byte5, static_cast<std::uint8_t>(point & 0xFF), data);
}

}  // namespace

std::uint16_t frameChecksum(const std::uint8_t* frame, std::size_t end) {
  unsigned sum = 0;
  for (std::size_t i = 4; i < end; ++i) sum += frame[i];
  return static_cast<std::uint16_t>(sum & 0xFFFF);
}

Bytes buildFrame(std::uint8_t command, std::uint8_t byte5, std::uint8_t subCommand, const Bytes& data) {
  Bytes frame;
  frame.reserve(11 + data.size());
  frame.insert(frame.end(), {kHead0, kHead1, command, 0x00, 0x00, byte5, subCommand});
  frame.insert(frame.end(), data.begin(), data.end());
  const std::uint16_t sum = frameChecksum(frame.data(), frame.size());
  frame.insert(frame.end(), {lowByte(sum), highByte(sum), kTail0, kTail1});
  return frame;
}

Bytes pollRequest() {
  return buildFrame(kPoll, 0x00, 0x01, Bytes{0x00});
}

Bytes alarmParameterReadRequest() {
  Bytes data(kShortData, 0);
  data[0] = 0x01;
  return buildFrame(kAlarmRead, 0x00, 0xB0, data);
}

Bytes alarmParameterSetRequest(const AlarmSetData& data) {
  return buildFrame(kAlarmSet, 0x00, 0xB1, Bytes(data.begin(), data.end()));
}

Bytes balanceReadRequest() {
  return balanceRequest(kBalanceRead, {});
}

Bytes balanceSetRequest(std::uint16_t threshold, std::uint8_t difference, std::uint16_t release) {
  return balanceRequest(kBalanceSet, {lowByte(threshold), highByte(threshold), difference, lowByte(release),
                                      highByte(release)});
}

Bytes manualBalanceRequest(int cell) {
  // Outside 1 ... 4 there is no cell to drive; an all-off request is the harmless answer.
  if (cell < 1 || cell > 4) return manualBalanceOffRequest();
  return balanceRequest(kBalanceManual, {0x01, static_cast<std::uint8_t>(1u << (cell - 1))});
}

Bytes manualBalanceOffRequest() {
  return balanceRequest(kBalanceManual, {});
}

Bytes calibrationReadRequest(int point, int direction) {
  return calibrationRequest(0x01, point, direction, 0);
}

Bytes calibrationPointRequest(int point, int direction, std::int32_t referenceMa) {
  return calibrationRequest(0x00, point, direction, static_cast<std::uint32_t>(referenceMa));
}

}  // namespace orlo
