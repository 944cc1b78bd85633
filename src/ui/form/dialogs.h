#pragma once
// Message boxes and file dialogs of every form. Tests install a process-wide hook that
// receives them instead, so that nothing modal ever blocks an offscreen run.

#include <functional>
#include <optional>
#include <string>

#include "view/form.h"

class QWidget;

namespace orlo::ui {

struct DialogHook {
  // Receives a message box instead of showing it.
  std::function<void(const std::string& text, const std::string& caption)> message;
  // Answers a file dialog instead of showing it (save: true for Save As).
  std::function<std::optional<std::string>(bool save, const FileDialogRequest& request)> file;
};

// Installs the hook; a hook with empty functions brings the real dialogs back.
void setDialogHook(DialogHook hook);

// A modal box with one OK button; an empty caption shows "Orlo_PC".
void showMessageBox(QWidget* parent, const std::string& text, const std::string& caption);

// A modal Save As (save) or Open dialog; std::nullopt when cancelled.
std::optional<std::string> askFile(QWidget* parent, bool save, const FileDialogRequest& request);

// Turns a Windows filter ("File (*.csv;)|*.csv;||") into Qt's form ("File (*.csv)").
std::string qtFileFilter(const std::string& windowsFilter);

}  // namespace orlo::ui
