#include "ui/diagnostics/diagnostics.h"

#include <QDateTime>

#include "ui/diagnostics/traffic_window.h"
#include "ui/diagnostics/trends_window.h"

namespace orlo::ui {

namespace {

std::int64_t wallNowMs() {
  return QDateTime::currentMSecsSinceEpoch();
}

template <typename W>
void raise(W* window) {
  window->show();
  window->raise();
  window->activateWindow();
}

}  // namespace

Diagnostics::Diagnostics(QWidget* parent)
    : parent_(parent),
      traffic_([this] { return sinceStart_.elapsed(); }),
      recorder_(trends_, wallNowMs),
      live_([this] { return refreshShownWindows(); }) {
  sinceStart_.start();
  fanOut_.add(&traffic_);
  fanOut_.add(&recorder_);
  fanOut_.add(&live_);
}

Diagnostics::~Diagnostics() {
  delete trendsWindow_.data();
  delete trafficWindow_.data();
}

SerialControl& Diagnostics::wrap(SerialControl& inner) {
  tap_ = std::make_unique<TrafficTap>(inner, traffic_);
  return *tap_;
}

TrendsWindow* Diagnostics::trendsWindow() {
  if (!trendsWindow_) {
    trendsWindow_ = new TrendsWindow(trends_, wallNowMs, parent_);
  }
  return trendsWindow_;
}

TrafficWindow* Diagnostics::trafficWindow() {
  if (!trafficWindow_) {
    trafficWindow_ = new TrafficWindow(traffic_, parent_);
  }
  return trafficWindow_;
}

void Diagnostics::showTrends() {
  raise(trendsWindow());
  live_.start();
}

void Diagnostics::showTraffic() {
  raise(trafficWindow());
  live_.start();
}

bool Diagnostics::refreshShownWindows() {
  bool any = false;
  if (trendsWindow_ && trendsWindow_->isVisible()) {
    trendsWindow_->refresh();
    any = true;
  }
  if (trafficWindow_ && trafficWindow_->isVisible()) {
    trafficWindow_->refresh();
    any = true;
  }
  return any;
}

}  // namespace orlo::ui
