#include "ui/shell/log_viewer_run.h"

#include <QApplication>
#include <QTimer>
#include <iostream>

#include "ui/diagnostics/log_viewer_window.h"

namespace orlo::ui {

int runLogViewer(const CommandLine& options) {
  LogViewerWindow window;
  QStringList paths;
  for (const std::string& path : options.openLogs) paths << QString::fromStdString(path);
  window.show();
  window.openLogs(paths);
  if (!options.screenshot.empty()) {
    QObject::connect(&window, &LogViewerWindow::loadFinished, &window, [&window, &options](const QString&) {
      QTimer::singleShot(static_cast<int>(options.screenshotDelay * 1000), &window, [&window, &options] {
        if (!window.grab().save(QString::fromStdString(options.screenshot), "PNG"))
          std::cerr << "Orlo_PC: cannot write the screenshot " << options.screenshot << "\n";
      });
    });
  }
  if (options.quitAfter > 0)
    QTimer::singleShot(static_cast<int>(options.quitAfter * 1000), &window, [] { QApplication::quit(); });
  return QApplication::exec();
}

}  // namespace orlo::ui
