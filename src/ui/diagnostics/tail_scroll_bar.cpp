#include "ui/diagnostics/tail_scroll_bar.h"

#include <QPaintEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleOptionSlider>
#include <algorithm>

namespace orlo::ui {

namespace {

// The slider's outline lies a pixel outside its rectangle and its inner line a pixel inside.
constexpr int kEdgeMargin = 3;
// Fills no taller than this stay on the painting thread.
constexpr int kStripLines = 64;

}  // namespace

TailScrollBar::TailScrollBar(QWidget* parent) : QScrollBar(Qt::Vertical, parent) {}

TailScrollBar::Look TailScrollBar::look() const {
  QStyleOptionSlider option;
  initStyleOption(&option);
  Look l;
  l.size = size();
  l.slider = style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this);
  l.atMinimum = value() == minimum();
  l.atMaximum = value() == maximum();
  l.enabled = isEnabled() && minimum() != maximum();
  return l;
}

bool TailScrollBar::drawsUniformAlongLength() const {
  const auto* proxy = qobject_cast<const QProxyStyle*>(style());
  const QStyle* base = proxy && proxy->baseStyle() ? proxy->baseStyle() : style();
  return base->name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) == 0;
}

void TailScrollBar::holdChanges() {
  holding_ = true;
}

void TailScrollBar::releaseChanges() {
  holding_ = false;
  repaintChange(SliderValueChange);
}

void TailScrollBar::sliderChange(SliderChange change) {
  if (!holding_) repaintChange(change);
}

void TailScrollBar::repaintChange(SliderChange change) {
  const Look now = look();
  const Look before = drawn_;
  const bool known = known_;
  drawn_ = now;
  known_ = true;
  if (known && now == before) return;
  const bool onlyEndsMoved = known && orientation() == Qt::Vertical && now.size == before.size &&
                             now.atMinimum == before.atMinimum && now.atMaximum == before.atMaximum &&
                             now.enabled == before.enabled && now.slider.left() == before.slider.left() &&
                             now.slider.width() == before.slider.width() && drawsUniformAlongLength();
  if (!onlyEndsMoved) {
    QScrollBar::sliderChange(change);
    return;
  }
  const auto strip = [this](int from, int to) {
    if (from == to) return;
    const int top = std::min(from, to) - kEdgeMargin;
    update(QRect(0, top, width(), std::max(from, to) + kEdgeMargin - top + 1));
  };
  strip(before.slider.top(), now.slider.top());
  strip(before.slider.bottom(), now.slider.bottom());
}

// A strip, while the mouse leaves the bar alone (the state of a hovered or pressed part is the
// bar's own), is drawn through an image; anything else as QScrollBar draws it.
void TailScrollBar::paintEvent(QPaintEvent* event) {
  const QRect strip = event->rect();
  if (strip.height() > kStripLines || underMouse() || isSliderDown()) {
    QScrollBar::paintEvent(event);
    return;
  }
  QStyleOptionSlider option;
  initStyleOption(&option);
  option.subControls = QStyle::SC_All;
  option.activeSubControls = QStyle::SC_None;
  const qreal ratio = devicePixelRatioF();
  QImage image(strip.size() * ratio, QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(ratio);
  image.fill(Qt::transparent);
  QPainter onImage(&image);
  onImage.translate(-strip.topLeft());
  style()->drawComplexControl(QStyle::CC_ScrollBar, &option, &onImage, this);
  onImage.end();
  QPainter(this).drawImage(strip.topLeft(), image);
}

}  // namespace orlo::ui
