#pragma once
// The simulator's factory protection settings as the alarm page's boxes show them after a Read,
// for the tests that read its board in-process and over a pseudo-terminal; a board's settings
// as values; and the Set request a board should receive, built here from the bytes rather than
// by the tool's encoder.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/alarm_parameter_record.h"
#include "link/frame_bytes.h"
#include "link/serial_control.h"
#include "sim/board_model.h"
#include "view/alarm_parameter_ids.h"

namespace orlo::test {

using BoxTexts = std::vector<std::pair<AlarmId, std::string>>;

// The simulator's factory settings in record order, as the boxes must show them: unsigned
// currents above 32767, negative temperatures, the ID from byte 4.
inline const BoxTexts kBoardDefaults = {
    {AlarmId::ChgOcValue, "30000"},    {AlarmId::ChgOcDelay, "5"},
    {AlarmId::ChgOcRelease, "25000"},  {AlarmId::DsgOcValue, "50000"},
    {AlarmId::DsgOcDelay, "5"},        {AlarmId::DsgOcRelease, "40000"},
    {AlarmId::CellOvValue, "3650"},    {AlarmId::CellOvDelay, "2"},
    {AlarmId::CellOvRelease, "3500"},  {AlarmId::CellUvValue, "2500"},
    {AlarmId::CellUvDelay, "2"},       {AlarmId::CellUvRelease, "2900"},
    {AlarmId::OvDifferValue, "300"},   {AlarmId::OvDifferDelay, "5"},
    {AlarmId::OvDifferRelease, "150"}, {AlarmId::OtDifferValue, "10"},
    {AlarmId::OtDifferDelay, "5"},     {AlarmId::OtDifferRelease, "5"},
    {AlarmId::DsgOtValue, "60"},       {AlarmId::DsgOtDelay, "5"},
    {AlarmId::DsgOtRelease, "55"},     {AlarmId::DsgUtValue, "-20"},
    {AlarmId::DsgUtDelay, "5"},        {AlarmId::DsgUtRelease, "-15"},
    {AlarmId::ChgOtValue, "55"},       {AlarmId::ChgOtDelay, "5"},
    {AlarmId::ChgOtRelease, "50"},     {AlarmId::ChgUtValue, "-5"},
    {AlarmId::ChgUtDelay, "5"},        {AlarmId::ChgUtRelease, "0"},
    {AlarmId::BusOvValue, "14600"},    {AlarmId::BusOvDelay, "2"},
    {AlarmId::BusOvRelease, "14000"},  {AlarmId::BusUvValue, "10000"},
    {AlarmId::BusUvDelay, "2"},        {AlarmId::BusUvRelease, "11600"},
    {AlarmId::NominalCapacity, "50"},  {AlarmId::BoardId, "1"},
    {AlarmId::Cycles, "12"},           {AlarmId::Soc, "80"},
    {AlarmId::SocWarning, "10"},       {AlarmId::MosfetOtValue, "75"},
    {AlarmId::MosfetOtDelay, "5"},     {AlarmId::MosfetOtRelease, "65"},
};

// The board's protection settings in record order (by default the simulator's factory ones).
inline AlarmValues boardValues(const sim::BoardModel& board = sim::BoardModel()) {
  AlarmValues values{};
  for (std::size_t i = 0; i < values.size(); ++i)
    values[i] = board.alarmRecord().value(static_cast<int>(i) + 1);
  return values;
}

// The Set request carrying `data` (frame bytes 7 to 77): header, data, checksum of bytes 4 to 77,
// tail.
inline Bytes setRequestCarrying(const Bytes& data) {
  Bytes frame = {frame_bytes::kHead0, frame_bytes::kHead1, frame_bytes::kAlarmSet, 0x00, 0x00, 0x00, 0xB1};
  for (std::uint8_t byte : data) frame.push_back(byte);  // (GCC 12 warns wrongly on insert here)
  unsigned sum = 0;
  for (std::size_t i = 4; i < frame.size(); ++i) sum += frame[i];
  frame.insert(frame.end(), {static_cast<std::uint8_t>(sum & 0xFF),
                             static_cast<std::uint8_t>((sum >> 8) & 0xFF), 0x55, 0xAA});
  return frame;
}

}  // namespace orlo::test
