#include "ui/station/station_pdf.h"

#include <QFileInfo>
#include <QPageSize>
#include <QPdfWriter>
#include <QString>
#include <QTextDocument>

namespace orlo::ui {
namespace {

QString escaped(const std::string& text) {
  return QString::fromStdString(text).toHtmlEscaped();
}

// One table row per value; nested values (limits, cells, points) as their JSON text.
QString valuesHtml(const nlohmann::json& values) {
  QString html = QStringLiteral("<table border=\"1\" cellpadding=\"3\" cellspacing=\"0\">");
  for (const auto& [key, value] : values.items()) {
    const std::string text = value.is_string()
                                 ? value.get<std::string>()
                                 : value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    html += QStringLiteral("<tr><td>%1</td><td>%2</td></tr>").arg(escaped(key), escaped(text));
  }
  return html + QStringLiteral("</table>");
}

QString reportHtml(const BoardReport& r) {
  const StepReport* failed = r.failedStep();
  QString html = QStringLiteral("<h1>Station report: %1</h1>").arg(resultName(r.result));
  html += QStringLiteral(
              "<p>Board ID %1, label %2<br>Recipe %3 (sha256 %4)<br>Station %5, operator %6, "
              "device %7<br>Time %8</p>")
              .arg(r.boardId >= 0 ? QString::number(r.boardId) : QStringLiteral("unknown"), escaped(r.label),
                   escaped(r.recipe), escaped(r.recipeSha256), escaped(r.station), escaped(r.operatorName),
                   escaped(r.device), escaped(r.time));
  if (failed != nullptr) html += QStringLiteral("<p>Failed step: %1</p>").arg(stepName(failed->step));
  if (!r.error.empty()) html += QStringLiteral("<p>Record: %1</p>").arg(escaped(r.error));
  for (const StepReport& s : r.steps) {
    html += QStringLiteral("<h2>%1: %2</h2>").arg(stepName(s.step), resultName(s.result));
    if (!s.message.empty()) html += QStringLiteral("<p>%1</p>").arg(escaped(s.message));
    if (!s.values.empty()) html += valuesHtml(s.values);
  }
  return html;
}

}  // namespace

Status writeStationPdf(const BoardReport& report, const std::string& path) {
  const QString file = QString::fromStdString(path);
  {
    QPdfWriter writer(file);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setTitle(QStringLiteral("Station report"));
    QTextDocument document;
    document.setHtml(reportHtml(report));
    document.setPageSize(writer.pageLayout().paintRectPixels(writer.resolution()).size());
    document.print(&writer);
  }
  // The writer says nothing of a file it could not make; its size does.
  if (QFileInfo(file).size() > 0) return {};
  return fail("the PDF writer made no file");
}

}  // namespace orlo::ui
