// What two top-level windows the size of Trends and Traffic cost when they repaint, once a
// second, the areas those windows repaint (six plot strips; two table rows and a scroll-bar
// strip), with filled rectangles only: no text, no lines, no data. bench/window-floor runs it
// beside CuteCom; its CPU is the least the two live windows can cost on this X server.
// Usage: window-floor SECONDS

#include <QApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <vector>

namespace {

class Strips : public QWidget {
 public:
  Strips(const QString& title, QSize size, std::vector<QRect> strips) : strips_(std::move(strips)) {
    setWindowTitle(title);
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(size);
  }
  void tick() {
    ++ticks_;
    for (const QRect& strip : strips_) update(strip);
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    QPainter painter(this);
    const QColor colour = ticks_ % 2 ? QColor(250, 250, 250) : QColor(240, 240, 240);
    for (const QRect& rect : event->region()) painter.fillRect(rect, colour);
  }

 private:
  std::vector<QRect> strips_;
  int ticks_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 0;
  if (seconds <= 0) return 2;
  std::vector<QRect> charts;
  for (int i = 0; i < 6; ++i) charts.emplace_back(10, 60 + i * 140, 940, 118);
  Strips trends("Trends floor", QSize(960, 900), charts);
  Strips traffic("Traffic floor", QSize(1240, 600), {QRect(0, 520, 1220, 40), QRect(1222, 100, 14, 30)});
  trends.show();
  traffic.show();
  QTimer beat;
  QObject::connect(&beat, &QTimer::timeout, [&] {
    trends.tick();
    traffic.tick();
  });
  beat.start(1000);
  QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
  return app.exec();
}
