#include "ui/diagnostics/log_viewer_summary.h"

namespace orlo::ui {

QString describeSummary(const LogSummary& s, CivilSeconds firstDay, const QString& title) {
  return title + "\n" + QString::fromStdString(describeSummary(s, firstDay, 20));
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
