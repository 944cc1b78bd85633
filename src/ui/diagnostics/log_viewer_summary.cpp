#include "ui/diagnostics/log_viewer_summary.h"

#include "link/answers.h"

namespace orlo::ui {
namespace {

QString at(CivilSeconds firstDay, CivilSeconds seconds) {
  return QString::fromStdString(formatCivil(firstDay + seconds)).replace('T', ' ');
}

QString duration(CivilSeconds seconds) {
  return QStringLiteral("%1 d %2:%3:%4")
      .arg(seconds / 86400)
      .arg(seconds / 3600 % 24, 2, 10, QChar('0'))
      .arg(seconds / 60 % 60, 2, 10, QChar('0'))
      .arg(seconds % 60, 2, 10, QChar('0'));
}

}  // namespace

QString describeSummary(const LogSummary& s, CivilSeconds firstDay, const QString& title) {
  QString t = title + "\n";
  t += QStringLiteral("%1 rows\n").arg(s.rows);
  if (s.rows == 0) return t;
  t += QStringLiteral("%1 to %2\nduration %3\n")
           .arg(at(firstDay, s.first), at(firstDay, s.last), duration(s.last - s.first));
  t += QStringLiteral("runs %1\n").arg(s.runs.size());
  for (std::size_t i = 0; i < s.runs.size() && i < 20; ++i)
    t += QStringLiteral("  %1 to %2 (%3 rows)\n")
             .arg(at(firstDay, s.runs[i].first), at(firstDay, s.runs[i].last))
             .arg(s.runs[i].rows);
  for (std::size_t i = 0; i < s.cells.size(); ++i)
    t += QStringLiteral("cell %1: min %2  max %3  mean %4 mV\n")
             .arg(i + 1)
             .arg(s.cells[i].minMv)
             .arg(s.cells[i].maxMv)
             .arg(s.cells[i].meanMv, 0, 'f', 1);
  if (s.cellRows > 0)
    t += QStringLiteral("largest spread %1 mV at %2\n").arg(s.maxSpreadMv).arg(at(firstDay, s.maxSpreadAt));
  t += QStringLiteral("charge %1 Ah, %2 Wh\ndischarge %3 Ah, %4 Wh\n")
           .arg(s.chargeAh, 0, 'f', 3)
           .arg(s.chargeWh, 0, 'f', 1)
           .arg(s.dischargeAh, 0, 'f', 3)
           .arg(s.dischargeWh, 0, 'f', 1);
  for (std::size_t m = 0; m < s.modeSeconds.size(); ++m) {
    if (s.modeSeconds[m] == 0) continue;
    const std::string_view name = systemModeText(static_cast<std::uint8_t>(m));
    t += QStringLiteral("%1: %2\n")
             .arg(name.empty() ? QStringLiteral("mode %1").arg(m)
                               : QString::fromLatin1(name.data(), static_cast<int>(name.size())))
             .arg(duration(s.modeSeconds[m]));
  }
  for (const AlarmFigures& a : s.alarms)
    t += QStringLiteral("alarm %1: %2 times, %3 to %4\n")
             .arg(QString::fromStdString(a.label))
             .arg(a.count)
             .arg(at(firstDay, a.first), at(firstDay, a.last));
  t += QStringLiteral("cycle count %1 to %2 (%3)\n")
           .arg(s.firstCycle)
           .arg(s.lastCycle)
           .arg(s.lastCycle - s.firstCycle);
  return t;
}

QString datesNote(const LoadedLog& log, const LoadedLog* second) {
  QString note = log.dateGiven ? QStringLiteral("Dates: first row's date as given")
                               : QStringLiteral("Dates: last row's day is the file's modification date");
  if (log.badRows > 0) note += QStringLiteral("; %1 bad rows skipped").arg(log.badRows);
  if (log.tornRow) note += QStringLiteral("; torn last row ignored");
  if (second) {
    note += QStringLiteral("; compared with %1").arg(QString::fromStdString(second->path));
    if (second->badRows > 0) note += QStringLiteral(" (%1 bad rows skipped)").arg(second->badRows);
  }
  return note;
}

}  // namespace orlo::ui
