#include "common/ui/FormWidgets.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QValidator>

#include <string>

#include "common/ui/Beeper.h"

namespace vn {

namespace {

class DigitsValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override {
        QString digits;
        int newPos = pos;
        for (int i = 0; i < input.size(); ++i) {
            if (input.at(i).isDigit() && input.at(i).unicode() < 0x80)
                digits += input.at(i);
            else if (i < pos)
                --newPos;
        }
        if (digits.size() != input.size()) {
            input = digits;
            pos = newPos;
            beeps(std::string());
        }
        return Acceptable;
    }
};

} // namespace

QLabel* buddyLabel(const QString& caption, const char* name, QWidget* field, QWidget* parent) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setBuddy(field);
    return label;
}

QLineEdit* namedLineEdit(const char* name, QWidget* parent) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    return e;
}

QRadioButton* namedRadio(const QString& caption, const char* name, QWidget* parent) {
    auto* r = new QRadioButton(caption, parent);
    r->setObjectName(QString::fromLatin1(name));
    return r;
}

QPushButton* namedButton(const QString& caption, const char* name, QWidget* parent, bool autoDefault) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    QString plain = caption;
    plain.remove(QLatin1Char('&'));
    b->setAccessibleName(plain);
    b->setAutoDefault(autoDefault);
    return b;
}

void acceptDigitsOnly(QLineEdit* edit) { edit->setValidator(new DigitsValidator(edit)); }

} // namespace vn
