#include "ui/form/digits_validator.h"

#include <QLineEdit>
#include <QSignalBlocker>

namespace orlo::ui {
namespace {

bool isAsciiDigit(QChar c) {
  return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// The characters typing may not add: every non-digit, except a leading "-" of a signed box
// when a digit or nothing follows it.
QString foreignCharacters(const QString& text, bool leadingMinus) {
  int from = 0;
  if (leadingMinus && text.startsWith(QLatin1Char('-')) && (text.size() == 1 || text[1] != QLatin1Char('-')))
    from = 1;
  QString foreign;
  for (int i = from; i < text.size(); ++i)
    if (!isAsciiDigit(text[i])) foreign += text[i];
  return foreign;
}

bool isSubsequence(const QString& part, const QString& whole) {
  int at = 0;
  for (QChar c : whole)
    if (at < part.size() && part[at] == c) ++at;
  return at == part.size();
}

}  // namespace

bool digitsEditAllowed(const QString& before, const QString& after, bool leadingMinus) {
  return isSubsequence(foreignCharacters(after, leadingMinus), foreignCharacters(before, leadingMinus));
}

DigitsValidator::DigitsValidator(QLineEdit* edit, bool leadingMinus)
    : QValidator(edit), edit_(edit), leadingMinus_(leadingMinus), before_(edit->text()) {
  connect(edit, &QLineEdit::textChanged, this, &DigitsValidator::textChanged);
  edit->setValidator(this);
}

QValidator::State DigitsValidator::validate(QString& input, int&) const {
  if (!digitsEditAllowed(before_, input, leadingMinus_)) return Invalid;
  // A text the program set is kept as it is, but only a plain number is a finished entry.
  return foreignCharacters(input, leadingMinus_).isEmpty() ? Acceptable : Intermediate;
}

void DigitsValidator::textChanged(const QString& text) {
  const bool passed = digitsEditAllowed(before_, text, leadingMinus_);
  before_ = text;
  if (passed) return;
  // The text came in past the rule: set by the program, or brought back by undo. Qt stops
  // checking typed text after a text it was told is invalid, so the box is given the same text
  // once more, now judged against itself; nothing else sees this.
  const int cursor = edit_->cursorPosition();
  const QSignalBlocker quiet(edit_);
  edit_->setText(QString());
  edit_->setText(text);
  edit_->setCursorPosition(cursor);
}

}  // namespace orlo::ui
