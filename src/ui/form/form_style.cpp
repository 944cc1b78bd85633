#include "ui/form/form_style.h"

#include <QApplication>
#include <QFont>
#include <QPainter>
#include <QProxyStyle>
#include <QString>
#include <QStyleOption>
#include <map>

namespace orlo::ui {

FormColours pageColours() {
  return {QColor(215, 215, 215), QColor(0, 0, 255), QColor(255, 255, 255)};
}

FormColours mainWindowColours() {
  return {QColor(245, 245, 245), QColor(0, 0, 0), QColor(245, 245, 245)};
}

// One QIcon per image, made once: lamps change every second, and a fresh QIcon each time would
// load the files again and fill the pixmap cache with copies of the same squares. Never freed,
// so that nothing of Qt's is torn down after the application at exit.
static QIcon iconFromFiles(int number) {
  static auto* cache = new std::map<int, QIcon>;
  auto it = cache->find(number);
  if (it != cache->end()) return it->second;
  QIcon icon;
  for (int size : {16, 32})
    icon.addFile(QStringLiteral(":/icons/%1-%2.png").arg(number).arg(size), QSize(size, size));
  return cache->emplace(number, icon).first->second;
}

void applyEditColours(QWidget* edit, const FormColours& colours, bool readOnly) {
  QPalette p = edit->palette();
  p.setColor(QPalette::Text, readOnly ? QColor(Qt::black) : colours.editText);
  p.setColor(QPalette::Base, readOnly ? colours.background : colours.editBase);
  edit->setPalette(p);
}

QIcon lampIcon(Icon icon) {
  if (icon == Icon::None) return {};
  return iconFromFiles(static_cast<int>(icon));
}

QIcon applicationIcon(int number) {
  return iconFromFiles(number);
}

namespace {

// The platform style with one change: a line edit's frame has square corners. Fusion draws it
// as two antialiased rounded rectangles, and with the readouts rewritten every second that was
// most of the program's drawing; this one is a fill and four lines, in Fusion's colours, and it
// covers the whole box, so Qt need not repaint the group box behind a box that changed.
class PlainEditStyle : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;

  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
    const auto* frame = qstyleoption_cast<const QStyleOptionFrame*>(option);
    if (element != PE_PanelLineEdit || frame == nullptr || frame->lineWidth <= 0) {
      QProxyStyle::drawPrimitive(element, option, painter, widget);
      return;
    }
    // Rectangles only: the raster engine fills them straight into the image, where a pen
    // goes through its stroker.
    const QRect r = option->rect;
    const QColor outline = option->state & State_HasFocus ? focusOutline(option->palette)
                                                          : option->palette.window().color().darker(140);
    painter->fillRect(r.adjusted(1, 1, -1, -1), option->palette.base());
    painter->fillRect(r.left(), r.top(), r.width(), 1, outline);
    painter->fillRect(r.left(), r.bottom(), r.width(), 1, outline);
    painter->fillRect(r.left(), r.top() + 1, 1, r.height() - 2, outline);
    painter->fillRect(r.right(), r.top() + 1, 1, r.height() - 2, outline);
    painter->fillRect(r.left() + 1, r.top() + 1, r.width() - 2, 1, QColor(0, 0, 0, 18));  // inner shadow
  }

 private:
  static QColor focusOutline(const QPalette& palette) {
    QColor c = palette.highlight().color().darker(125);
    if (c.value() > 160) c.setHsl(c.hue(), c.saturation(), 160);
    return c;
  }
};

}  // namespace

void applyApplicationStyle() {
  // Set before the first widget exists; the application owns the style.
  QApplication::setStyle(new PlainEditStyle(QApplication::style()->name()));
}

bool paintsWholeLineEdit() {
  return dynamic_cast<const PlainEditStyle*>(QApplication::style()) != nullptr;
}

void applyApplicationFont() {
  QFont font = QApplication::font();
  // Message texts include Chinese; the second family covers them wherever the first has no glyph.
  font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("WenQuanYi Micro Hei")});
  font.setPointSize(9);
  // Nothing here needs complex shaping (Latin, digits, Chinese): glyphs are looked up without
  // running the font's shaping tables, which a readout rewritten every second otherwise did on
  // each change. Scripts that need shaping are still shaped.
  font.setStyleStrategy(QFont::PreferNoShaping);
  QApplication::setFont(font);
}

}  // namespace orlo::ui
