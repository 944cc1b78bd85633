#include "core/log_summary.h"

#include <algorithm>
#include <cstdio>

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
  for (std::uint32_t flags = row.alarmFlags; flags != 0; flags &= flags - 1) {
    const auto bit = static_cast<std::size_t>(__builtin_ctz(flags));
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

namespace {

std::string dateTimeAt(CivilSeconds firstDay, CivilSeconds seconds) {
  std::string text = formatCivil(firstDay + seconds);
  std::replace(text.begin(), text.end(), 'T', ' ');
  return text;
}

std::string duration(CivilSeconds seconds) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%lld d %02lld:%02lld:%02lld", static_cast<long long>(seconds / 86400),
                static_cast<long long>(seconds / 3600 % 24), static_cast<long long>(seconds / 60 % 60),
                static_cast<long long>(seconds % 60));
  return buffer;
}

std::string fixed(double value, int decimals) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  return buffer;
}

}  // namespace

std::string describeSummary(const LogSummary& s, CivilSeconds firstDay, std::size_t maxRuns) {
  std::string t = std::to_string(s.rows) + " rows\n";
  if (s.rows == 0) return t;
  t += dateTimeAt(firstDay, s.first) + " to " + dateTimeAt(firstDay, s.last) + "\nduration " +
       duration(s.last - s.first) + "\n";
  t += "runs " + std::to_string(s.runs.size()) + "\n";
  for (std::size_t i = 0; i < s.runs.size() && i < maxRuns; ++i)
    t += "  " + dateTimeAt(firstDay, s.runs[i].first) + " to " + dateTimeAt(firstDay, s.runs[i].last) + " (" +
         std::to_string(s.runs[i].rows) + " rows)\n";
  for (std::size_t i = 0; i < s.cells.size(); ++i)
    t += "cell " + std::to_string(i + 1) + ": min " + std::to_string(s.cells[i].minMv) + "  max " +
         std::to_string(s.cells[i].maxMv) + "  mean " + fixed(s.cells[i].meanMv, 1) + " mV\n";
  if (s.cellRows > 0)
    t += "largest spread " + std::to_string(s.maxSpreadMv) + " mV at " + dateTimeAt(firstDay, s.maxSpreadAt) +
         "\n";
  t += "charge " + fixed(s.chargeAh, 3) + " Ah, " + fixed(s.chargeWh, 1) + " Wh\ndischarge " +
       fixed(s.dischargeAh, 3) + " Ah, " + fixed(s.dischargeWh, 1) + " Wh\n";
  for (std::size_t m = 0; m < s.modeSeconds.size(); ++m) {
    if (s.modeSeconds[m] == 0) continue;
    const std::string_view name = systemModeText(static_cast<std::uint8_t>(m));
    t += (name.empty() ? "mode " + std::to_string(m) : std::string(name)) + ": " +
         duration(s.modeSeconds[m]) + "\n";
  }
  for (const AlarmFigures& a : s.alarms)
    t += "alarm " + a.label + ": " + std::to_string(a.count) + " times, " + dateTimeAt(firstDay, a.first) +
         " to " + dateTimeAt(firstDay, a.last) + "\n";
  t += "cycle count " + std::to_string(s.firstCycle) + " to " + std::to_string(s.lastCycle) + " (" +
       std::to_string(s.lastCycle - s.firstCycle) + ")\n";
  return t;
}

}  // namespace orlo
