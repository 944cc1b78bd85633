#pragma once
// Typing rule of the digits-only boxes. Qt checks a validator only while the box's current text
// passes it, so a box the program filled with "--" or a read-back "-20" would take any typed
// text. This validator judges each change against the text before it instead: typing may add
// digits (and, in a box of a signed value, one leading "-") and remove anything, never add any
// other character. Texts the program sets are taken as they stand.

#include <QString>
#include <QValidator>

class QLineEdit;

namespace orlo::ui {

// Whether a box holding `before` may come to hold `after` by typing.
bool digitsEditAllowed(const QString& before, const QString& after, bool leadingMinus);

class DigitsValidator : public QValidator {
  Q_OBJECT

 public:
  // Installs itself on `edit`.
  DigitsValidator(QLineEdit* edit, bool leadingMinus);
  State validate(QString& input, int& pos) const override;

 private:
  void textChanged(const QString& text);

  QLineEdit* edit_;
  bool leadingMinus_;
  QString before_;  // the box's text as it stood before the change being validated
};

}  // namespace orlo::ui
