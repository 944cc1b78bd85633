#include "ui/form/save_file.h"

#include <QFile>

#include "ui/form/dialogs.h"
#include "util/user_folder.h"

namespace orlo::ui {

std::optional<QString> askSavePath(QWidget* parent, const std::string& filter,
                                   const std::string& proposedName) {
  FileDialogRequest request;
  request.filter = filter;
  request.startFolder = defaultUserFolder();
  request.proposedName = proposedName;
  request.confirmOverwrite = true;
  const auto path = askFile(parent, true, request);
  if (!path) return std::nullopt;
  return QString::fromStdString(*path);
}

QString writeWholeFile(const QString& path, const std::string& bytes) {
  QFile file(path);
  const auto size = static_cast<qint64>(bytes.size());
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes.data(), size) != size)
    return QString("Could not write %1: %2").arg(path, file.errorString());
  return {};
}

}  // namespace orlo::ui
