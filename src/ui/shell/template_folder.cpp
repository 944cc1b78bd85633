#include "ui/shell/template_folder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <iostream>

#include "core/alarm_parameter_file.h"
#include "orlo_version.h"

namespace orlo::ui {
namespace {

bool holdsTemplate(const std::string& folder) {
  return QFileInfo(QDir(QString::fromStdString(folder)).filePath(kAlarmParameterTemplateName)).isFile();
}

}  // namespace

std::string installedDataFolder() {
  return QDir::cleanPath(QDir(QCoreApplication::applicationDirPath()).filePath(kDataFolderFromPrograms))
      .toStdString();
}

std::string alarmTemplateFolder(const std::string& workingFolder) {
  if (holdsTemplate(workingFolder)) return workingFolder;
  const std::string installed = installedDataFolder();
  if (holdsTemplate(installed)) return installed;
  std::cerr << "Orlo_PC: " << kAlarmParameterTemplateName << " is neither in " << workingFolder << " nor in "
            << installed << "; saving parameters will not work\n";
  return workingFolder;
}

}  // namespace orlo::ui
