#include "ui/form/layout_resource.h"

#include <QFile>
#include <QString>

namespace orlo::ui {

Result<LayoutTable> loadLayoutResource(const std::string& name) {
  QFile file(QStringLiteral(":/layouts/%1.layout").arg(QString::fromStdString(name)));
  if (!file.open(QIODevice::ReadOnly))
    return fail("layout '" + name + "' is missing from the program's resources");
  Result<LayoutTable> table = parseLayout(file.readAll().toStdString());
  if (!table) return fail("layout '" + name + "': " + table.error());
  return table;
}

}  // namespace orlo::ui
