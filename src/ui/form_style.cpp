#include "ui/form_style.h"

#include <QApplication>
#include <QFont>
#include <QString>
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

QIcon lampIcon(Icon icon) {
  if (icon == Icon::None) return {};
  return iconFromFiles(static_cast<int>(icon));
}

QIcon applicationIcon(int number) {
  return iconFromFiles(number);
}

void applyApplicationFont() {
  QFont font = QApplication::font();
  // Message texts include Chinese; the second family covers them wherever the first has no glyph.
  font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("WenQuanYi Micro Hei")});
  font.setPointSize(9);
  QApplication::setFont(font);
}

}  // namespace orlo::ui
