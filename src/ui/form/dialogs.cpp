#include "ui/form/dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

#include "view/layout_table.h"

namespace orlo::ui {
namespace {

DialogHook& hook() {
  static DialogHook instance;
  return instance;
}

std::string trimmed(const std::string& s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

// "*.csv;*.txt;" -> "*.csv *.txt"
std::string patternList(const std::string& patterns) {
  std::string out;
  for (const auto& p : splitItems(patterns, ';')) {
    const std::string t = trimmed(p);
    if (t.empty()) continue;
    if (!out.empty()) out += ' ';
    out += t;
  }
  return out;
}

}  // namespace

void setDialogHook(DialogHook newHook) {
  hook() = std::move(newHook);
}

std::string qtFileFilter(const std::string& windowsFilter) {
  const auto parts = splitItems(windowsFilter, '|');
  std::string out;
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    std::string description = trimmed(parts[i].substr(0, parts[i].find('(')));
    const std::string patterns = patternList(parts[i + 1]);
    if (patterns.empty()) continue;
    if (description.empty()) description = "Files";
    if (!out.empty()) out += ";;";
    out += description + " (" + patterns + ")";
  }
  return out;
}

void showMessageBox(QWidget* parent, const std::string& text, const std::string& caption) {
  const std::string title = caption.empty() ? "Orlo_PC" : caption;
  if (hook().message) {
    hook().message(text, title);
    return;
  }
  QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(title), QString::fromStdString(text),
                  QMessageBox::Ok, parent);
  box.exec();
}

std::optional<std::string> askFile(QWidget* parent, bool save, const FileDialogRequest& request) {
  if (hook().file) return hook().file(save, request);
  QFileDialog dialog(parent, QString(), QString::fromStdString(request.startFolder),
                     QString::fromStdString(qtFileFilter(request.filter)));
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  if (!request.confirmOverwrite) dialog.setOption(QFileDialog::DontConfirmOverwrite);
  if (!request.proposedName.empty()) dialog.selectFile(QString::fromStdString(request.proposedName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return QDir::toNativeSeparators(dialog.selectedFiles().first()).toStdString();
}

}  // namespace orlo::ui
