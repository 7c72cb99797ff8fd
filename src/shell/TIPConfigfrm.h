#pragma once
// "IP Configuration": the machine's network interfaces with their flags and
// addresses, read-only.
#include <QDialog>
#include <QList>
#include <QNetworkInterface>

class QTreeWidget;

namespace vn {

class TIPConfigfrm : public QDialog {
    Q_OBJECT
public:
    explicit TIPConfigfrm(const QList<QNetworkInterface>& interfaces = QNetworkInterface::allInterfaces(),
                          QWidget* parent = nullptr);

    QTreeWidget* list() const { return list_; }

private:
    QTreeWidget* list_;
};

} // namespace vn
