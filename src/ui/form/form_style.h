#pragma once
// Colours, fonts and icons shared by every window the ui layer builds.

#include <QColor>
#include <QIcon>

#include "view/form.h"

class QWidget;

namespace orlo::ui {

// How a form paints itself: labels are always black on the form's background.
struct FormColours {
  QColor background;
  QColor editText;  // editable boxes
  QColor editBase;
};

// Pages: light grey, editable boxes blue on white.
FormColours pageColours();
// The main window: its own lighter grey for every control.
FormColours mainWindowColours();

// A line edit's colours: black on the background when read-only, the editable colours else.
void applyEditColours(QWidget* edit, const FormColours& colours, bool readOnly);

// The icon for a lamp image (16 and 32 px); a null icon for Icon::None.
QIcon lampIcon(Icon icon);
// The application icon (a battery) by resource number: 128 or 138.
QIcon applicationIcon(int number = 138);

// The application's style: the platform's, line edits drawn with a plain square frame.
void applyApplicationStyle();
// Whether that style is in use: a line edit then paints every pixel of its box.
bool paintsWholeLineEdit();

// Application font: a Latin face with a CJK fallback, at a size legible at 100 % scaling.
void applyApplicationFont();

}  // namespace orlo::ui
