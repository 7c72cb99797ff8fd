#include "sites/ui/TMultihomedfrm.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "common/ui/FormWidgets.h"

namespace vn {

TMultihomedfrm::TMultihomedfrm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Multihomedfrm"));
    setWindowTitle(QStringLiteral("Multihomed Server"));

    auto* group = new QGroupBox(QStringLiteral("&Multiple addresses:"), this);
    group->setObjectName(QStringLiteral("GroupBox1"));
    auto* grid = new QGridLayout(group);
    for (int i = 0; i < kSlots; ++i) {
        const QString n = QString::number(i + 1);
        auto* edit = new QLineEdit(group);
        edit->setObjectName(QStringLiteral("Edit") + n);
        auto* label = new QLabel(QStringLiteral("Address &") + n, group);
        label->setObjectName(QStringLiteral("Label") + n);
        label->setBuddy(edit);
        edit->setAccessibleName(QStringLiteral("Address ") + n);
        grid->addWidget(label, i, 0);
        grid->addWidget(edit, i, 1);
        fields_[static_cast<size_t>(i)] = edit;
    }

    auto* ok = namedButton(QStringLiteral("&OK"), "OKBtn", this);
    auto* cancel = namedButton(QStringLiteral("&Cancel"), "CancelBtn", this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* top = new QVBoxLayout(this);
    top->addWidget(group);
    top->addLayout(buttons);
    fields_[0]->setFocus(Qt::OtherFocusReason);
}

void TMultihomedfrm::setAddresses(const Addresses& addresses) {
    for (int i = 0; i < kSlots; ++i) fields_[static_cast<size_t>(i)]->setText(addresses[static_cast<size_t>(i)]);
}

TMultihomedfrm::Addresses TMultihomedfrm::addresses() const {
    Addresses a;
    for (int i = 0; i < kSlots; ++i) a[static_cast<size_t>(i)] = fields_[static_cast<size_t>(i)]->text().trimmed();
    return a;
}

int TMultihomedfrm::countOf(const Addresses& addresses) {
    for (int i = kSlots; i > 1; --i)
        if (!addresses[static_cast<size_t>(i - 1)].trimmed().isEmpty()) return i;
    return 1;
}

int TMultihomedfrm::count() const { return countOf(addresses()); }

} // namespace vn
