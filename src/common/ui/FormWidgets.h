#pragma once
// Small builders for dialog controls: every control is named for tests and
// screen readers, every field is buddied to its label, buttons carry their
// caption (without "&") as accessible name.
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

namespace vn {

QLabel* buddyLabel(const QString& caption, const char* name, QWidget* field, QWidget* parent);
QLineEdit* namedLineEdit(const char* name, QWidget* parent);
QRadioButton* namedRadio(const QString& caption, const char* name, QWidget* parent);
QPushButton* namedButton(const QString& caption, const char* name, QWidget* parent, bool autoDefault = true);
// A port box: typed, pasted and dropped text alike keep only the digits 0 to 9;
// whatever is dropped sounds the beep.
void acceptDigitsOnly(QLineEdit* edit);

} // namespace vn
