#include "shell/TIPConfigfrm.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "shell/LocalHost.h"

namespace vn {

TIPConfigfrm::TIPConfigfrm(const QList<QNetworkInterface>& interfaces, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("IPConfigfrm"));
    setWindowTitle(QStringLiteral("IP Configuration"));

    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("InterfaceList"));
    list_->setAccessibleName(QStringLiteral("Interfaces"));
    list_->setHeaderLabels({QStringLiteral("Interface"), QStringLiteral("Value")});
    for (const QNetworkInterface& i : interfaces) {
        auto* node = new QTreeWidgetItem(list_, {i.humanReadableName()});
        auto line = [node](const QString& what, const QString& value) {
            new QTreeWidgetItem(node, {what, value});
        };
        line(QStringLiteral("Flags"), interfaceFlagsText(i.flags()));
        if (!i.hardwareAddress().isEmpty()) line(QStringLiteral("Hardware address"), i.hardwareAddress());
        if (i.maximumTransmissionUnit() > 0) line(QStringLiteral("MTU"), QString::number(i.maximumTransmissionUnit()));
        for (const QNetworkAddressEntry& e : i.addressEntries()) {
            QString text = e.ip().toString();
            if (e.prefixLength() >= 0) text += QLatin1Char('/') + QString::number(e.prefixLength());
            line(e.ip().protocol() == QAbstractSocket::IPv4Protocol ? QStringLiteral("IPv4 address")
                                                                     : QStringLiteral("IPv6 address"),
                 text);
            if (!e.broadcast().isNull()) line(QStringLiteral("Broadcast"), e.broadcast().toString());
        }
        node->setExpanded(true);
    }
    list_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);

    auto* label = new QLabel(QStringLiteral("&Interfaces:"), this);
    label->setBuddy(list_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    if (QPushButton* close = buttons->button(QDialogButtonBox::Close)) close->setAccessibleName(QStringLiteral("Close"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(list_, 1);
    layout->addWidget(buttons);
    resize(520, 420);
}

} // namespace vn
