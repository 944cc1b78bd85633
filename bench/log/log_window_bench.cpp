// The recorded log window on one log: the time from asking for the file to the first full
// picture drawn, the peak resident memory, and the time of each frame of zoom and pan after it.
//
//   log-window-bench FILE [FRAMES]   (under Xvfb, or QT_QPA_PLATFORM=offscreen)
//
// Prints one line of key=value figures; the CPU times say what a loaded machine hides.

#include <time.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "ui/diagnostics/log_viewer_plot.h"
#include "ui/diagnostics/log_viewer_window.h"

namespace {

// CPU time of the whole process (the loader's thread too), in ms.
double cpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double peakRssMb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: log-window-bench FILE [FRAMES]\n");
    return 2;
  }
  QApplication app(argc, argv);
  const int frames = argc > 2 ? std::max(1, std::atoi(argv[2])) : 200;
  orlo::ui::LogViewerWindow window;
  window.resize(1280, 900);
  window.show();
  QApplication::processEvents();

  QElapsedTimer clock;
  clock.start();
  const double cpuBefore = cpuMs();
  QString error = QStringLiteral("not finished");
  bool finished = false;
  // An event loop that sleeps until the load ends, as the application's does: polling here would
  // count the polls as the loader's CPU time.
  QEventLoop loop;
  QObject::connect(&window, &orlo::ui::LogViewerWindow::loadFinished, &loop, [&](const QString& e) {
    error = e;
    finished = true;
    loop.quit();
  });
  window.openLogs({QString::fromLocal8Bit(argv[1])});
  if (!finished) loop.exec();
  orlo::ui::LogViewerPlot* plot = window.plot();
  plot->repaint();
  const double openMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
  const double openCpuMs = cpuMs() - cpuBefore;
  if (!error.isEmpty()) {
    std::fprintf(stderr, "log-window-bench: %s\n", error.toLocal8Bit().constData());
    return 1;
  }

  // Zoom in step by step to about an hour, pan across, zoom out again: each step one frame.
  std::vector<double> ms, cpu;
  for (int i = 0; i < frames; ++i) {
    const int phase = i % 60;
    if (phase < 20)
      plot->zoom(0.7, 0.4);
    else if (phase < 40)
      plot->pan(phase < 30 ? 0.15 : -0.15);
    else
      plot->zoom(1.0 / 0.7, 0.4);
    QElapsedTimer frame;
    frame.start();
    const double cpuStart = cpuMs();
    plot->repaint();
    ms.push_back(static_cast<double>(frame.nsecsElapsed()) / 1e6);
    cpu.push_back(cpuMs() - cpuStart);
  }
  std::sort(ms.begin(), ms.end());
  std::sort(cpu.begin(), cpu.end());
  const auto at = [](const std::vector<double>& v, double q) {
    return v[std::min(v.size() - 1, static_cast<std::size_t>(q * static_cast<double>(v.size())))];
  };
  std::printf(
      "open_ms=%.0f open_cpu_ms=%.0f peak_rss_mb=%.1f frames=%d p50_ms=%.2f p99_ms=%.2f max_ms=%.2f "
      "cpu_p99_ms=%.2f\n",
      openMs, openCpuMs, peakRssMb(), frames, at(ms, 0.5), at(ms, 0.99), ms.back(), at(cpu, 0.99));
  return 0;
}
