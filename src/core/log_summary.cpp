#include "core/log_summary.h"

#include <algorithm>

#include "link/answers.h"

namespace orlo {

void LogSummarizer::add(const LogRecord& record) {
  const LogRow& row = record.row;
  if (s_.rows == 0) {
    s_.first = record.seconds;
    s_.firstCycle = row.cycle;
  }
  ++s_.rows;
  s_.last = record.seconds;
  s_.lastCycle = row.cycle;
  addCells(record);
  addRun(record);
  for (std::size_t bit = 0; bit < alarms_.size(); ++bit) {
    if (!((row.alarmFlags >> bit) & 1u)) continue;
    Alarm& alarm = alarms_[bit];
    const bool rising = s_.rows == 1 || !((previous_.alarms >> bit) & 1u);
    if (rising) ++alarm.count;
    if (alarm.count == 1 && rising) alarm.first = record.seconds;
    alarm.last = record.seconds;
  }
  previous_ = {record.seconds, record.run, row.current, row.totalMv / 1000.0, row.mode, row.alarmFlags};
}

void LogSummarizer::addCells(const LogRecord& record) {
  const LogRow& row = record.row;
  const auto& mv = row.cellMv;
  if (mv[0] == 0 && mv[1] == 0 && mv[2] == 0 && mv[3] == 0) return;
  for (std::size_t i = 0; i < mv.size(); ++i) {
    CellFigures& cell = s_.cells[i];
    cell.minMv = s_.cellRows == 0 ? mv[i] : std::min(cell.minMv, mv[i]);
    cell.maxMv = s_.cellRows == 0 ? mv[i] : std::max(cell.maxMv, mv[i]);
    cellSums_[i] += mv[i];
  }
  ++s_.cellRows;
  const std::int32_t spread =
      *std::max_element(mv.begin(), mv.end()) - *std::min_element(mv.begin(), mv.end());
  if (s_.cellRows == 1 || spread > s_.maxSpreadMv) {
    s_.maxSpreadMv = spread;
    s_.maxSpreadAt = record.seconds;
  }
}

void LogSummarizer::addRun(const LogRecord& record) {
  const bool sameRun = s_.rows > 1 && record.run == previous_.run;
  if (!sameRun) {
    s_.runs.push_back({record.seconds, record.seconds, 0});
  } else {
    const double hours = static_cast<double>(record.seconds - previous_.seconds) / 3600.0;
    const double ah = previous_.current * hours;
    (ah >= 0 ? s_.chargeAh : s_.dischargeAh) += ah >= 0 ? ah : -ah;
    const double wh = ah * previous_.totalV;
    (wh >= 0 ? s_.chargeWh : s_.dischargeWh) += wh >= 0 ? wh : -wh;
    s_.modeSeconds[static_cast<std::size_t>(previous_.mode)] += record.seconds - previous_.seconds;
  }
  s_.runs.back().last = record.seconds;
  ++s_.runs.back().rows;
}

LogSummary LogSummarizer::summary() const {
  LogSummary out = s_;
  for (std::size_t i = 0; i < out.cells.size(); ++i)
    out.cells[i].meanMv = s_.cellRows > 0 ? cellSums_[i] / static_cast<double>(s_.cellRows) : 0;
  for (std::size_t bit = 0; bit < alarms_.size(); ++bit) {
    if (alarms_[bit].count == 0) continue;
    const std::string_view name = alarmName(bit + 1);
    out.alarms.push_back({name.empty() ? "bit " + std::to_string(bit + 1) : std::string(name),
                          alarms_[bit].count, alarms_[bit].first, alarms_[bit].last});
  }
  return out;
}

}  // namespace orlo
