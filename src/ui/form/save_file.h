#pragma once
// Saving a window's text to a file the user picks: the dialog and the write, shared by the
// windows that offer "Save..." or "Export...".

#include <QString>
#include <optional>
#include <string>

class QWidget;

namespace orlo::ui {

// A Save As dialog that starts in the user's folder and asks before replacing a file;
// std::nullopt when cancelled. `filter` is in the Windows form ("Text file (*.txt;)|*.txt;||").
std::optional<QString> askSavePath(QWidget* parent, const std::string& filter,
                                   const std::string& proposedName);

// Replaces the file at `path` with exactly `bytes`; "" or the reason it could not be written.
QString writeWholeFile(const QString& path, const std::string& bytes);

}  // namespace orlo::ui
