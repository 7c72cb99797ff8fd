#include "query/ui/TQuickFinger.h"

#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "common/ui/FormWidgets.h"
#include "common/ui/WireText.h"
#include "query/QueryEngine.h"

namespace vn {

TQuickFinger::TQuickFinger(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("QuickFinger"));
    setWindowTitle(QStringLiteral("Quick finger"));

    heading_ = new QLabel(QStringLiteral("QUICK FINGER"), this);
    heading_->setObjectName(QStringLiteral("HeadingLabel"));
    QFont big = heading_->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.4);
    heading_->setFont(big);
    heading_->setAlignment(Qt::AlignCenter);

    hostEdit_ = namedLineEdit("HostEdit", this);
    queryEdit_ = namedLineEdit("UserEdit", this);
    hostLabel_ = buddyLabel(QStringLiteral("&Host :"), "HostLabel", hostEdit_, this);
    queryLabel_ = buddyLabel(QStringLiteral("&User :"), "UserLabel", queryEdit_, this);
    ok_ = namedButton(QStringLiteral("&OK"), "OKBtn", this);
    cancel_ = namedButton(QStringLiteral("&Cancel"), "CancelBtn", this);
    ok_->setDefault(true);

    auto* grid = new QGridLayout;
    grid->addWidget(hostLabel_, 0, 0);
    grid->addWidget(hostEdit_, 0, 1);
    grid->addWidget(queryLabel_, 1, 0);
    grid->addWidget(queryEdit_, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading_);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    setMinimumWidth(320);

    setTabOrder(hostEdit_, queryEdit_);
    setTabOrder(queryEdit_, ok_);
    setTabOrder(ok_, cancel_);
    hostEdit_->setFocus(Qt::OtherFocusReason);

    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(hostEdit_, &QLineEdit::textChanged, this, [this] { refresh(); });
    refresh();
}

void TQuickFinger::refresh() { ok_->setEnabled(QueryEngine::hostAcceptable(toWire(hostEdit_->text()))); }

void TQuickFinger::setHeading(const QString& text) { heading_->setText(text); }
void TQuickFinger::setHostLabel(const QString& text) { hostLabel_->setText(text); }
void TQuickFinger::setQueryLabel(const QString& text) { queryLabel_->setText(text); }

void TQuickFinger::hideQuery() {
    queryLabel_->hide();
    queryEdit_->hide();
    queryEdit_->clear();
}

void TQuickFinger::setHost(const QString& host) {
    hostEdit_->setText(host);
    hostEdit_->selectAll();
}

void TQuickFinger::setQuery(const QString& query) { queryEdit_->setText(query); }
QString TQuickFinger::host() const { return hostEdit_->text().trimmed(); }
QString TQuickFinger::query() const { return queryEdit_->isHidden() ? QString() : queryEdit_->text(); }
QString TQuickFinger::heading() const { return heading_->text(); }
QString TQuickFinger::hostLabel() const { return hostLabel_->text(); }
bool TQuickFinger::queryShown() const { return !queryEdit_->isHidden(); }

Tquickwhois::Tquickwhois(QWidget* parent) : TQuickFinger(parent) {
    setObjectName(QStringLiteral("quickwhois"));
    setWindowTitle(QStringLiteral("Quick Whois"));
    setHeading(QStringLiteral("QUICK Whois"));
    setHostLabel(QStringLiteral("&Host address:"));
    setQueryLabel(QStringLiteral("&Command Line :"));
}

} // namespace vn
