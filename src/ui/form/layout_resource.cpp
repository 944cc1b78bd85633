#include "ui/form/layout_resource.h"

#include <QFile>
#include <QString>

namespace orlo::ui {

bool loadLayoutResource(const std::string& name, LayoutTable* out, std::string* error) {
  QFile file(QStringLiteral(":/layouts/%1.layout").arg(QString::fromStdString(name)));
  if (!file.open(QIODevice::ReadOnly)) {
    *error = "layout '" + name + "' is missing from the program's resources";
    return false;
  }
  std::string why;
  if (!parseLayout(file.readAll().toStdString(), out, &why)) {
    *error = "layout '" + name + "': " + why;
    return false;
  }
  return true;
}

}  // namespace orlo::ui
