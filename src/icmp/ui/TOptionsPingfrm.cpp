#include "icmp/ui/TOptionsPingfrm.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <climits>

#include "common/DataFolder.h"
#include "common/IniFile.h"
#include "common/ui/FormWidgets.h"
#include "common/ui/UiPrompter.h"
#include "icmp/PingSettings.h"

namespace vn::icmp {

namespace {

QSpinBox* spin(const char* name, int low, int high, int value, QWidget* parent) {
    auto* s = new QSpinBox(parent);
    s->setObjectName(QString::fromLatin1(name));
    s->setRange(low, high);
    s->setValue(value < low ? low : value > high ? high : value);
    return s;
}

QCheckBox* check(const QString& caption, const char* name, bool on, QWidget* parent) {
    auto* c = new QCheckBox(caption, parent);
    c->setObjectName(QString::fromLatin1(name));
    c->setChecked(on);
    return c;
}

} // namespace

TOptionsPingfrm::TOptionsPingfrm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("OptionsPingfrm"));
    setWindowTitle(QStringLiteral("Ping Options"));
    IniFile ini(configFile());
    const PingSettings s = readPingSettings(ini);

    ttl_ = spin("TTLEdit", 0, 255, s.ttl, this);
    timeout_ = spin("TimeoutEdit", 0, INT_MAX, s.timeout, this);
    interval_ = spin("IntervalEdit", 0, INT_MAX, s.interval, this);
    doOnly_ = check(QStringLiteral("Do only"), "DoOnlyCB", s.doOnly, this);
    only_ = spin("OnlyEdit", 0, INT_MAX, s.only, this);
    doLast_ = check(QStringLiteral("View only &last"), "DoLastCB", s.doLast, this);
    last_ = spin("LastEdit", 0, INT_MAX, s.last, this);
    thinking_ = check(QStringLiteral("Disable \"Thinking\" Indicator"), "ThinkingCB", s.disableThinking, this);

    auto* grid = new QGridLayout;
    grid->addWidget(buddyLabel(QStringLiteral("&TTL:"), "TTLLabel", ttl_, this), 0, 0);
    grid->addWidget(ttl_, 0, 1);
    grid->addWidget(buddyLabel(QStringLiteral("Time&out:"), "TimeoutLabel", timeout_, this), 1, 0);
    grid->addWidget(timeout_, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("ms."), this), 1, 2);
    grid->addWidget(buddyLabel(QStringLiteral("Time &between Pings"), "IntervalLabel", interval_, this), 2, 0);
    grid->addWidget(interval_, 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("ms."), this), 2, 2);
    grid->addWidget(doOnly_, 3, 0);
    grid->addWidget(only_, 3, 1);
    grid->addWidget(new QLabel(QStringLiteral("Pings."), this), 3, 2);
    grid->addWidget(doLast_, 4, 0);
    grid->addWidget(last_, 4, 1);
    grid->addWidget(new QLabel(QStringLiteral("Pings."), this), 4, 2);
    grid->addWidget(thinking_, 5, 0, 1, 3);

    QPushButton* ok = namedButton(QStringLiteral("&OK"), "OKBtn", this);
    QPushButton* cancel = namedButton(QStringLiteral("&Cancel"), "CancelBtn", this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &TOptionsPingfrm::OKClick);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* v = new QVBoxLayout(this);
    v->addLayout(grid);
    v->addLayout(buttons);
}

void TOptionsPingfrm::OKClick() {
    PingSettings s;
    s.ttl = ttl_->value();
    s.timeout = timeout_->value();
    s.doOnly = doOnly_->isChecked();
    s.only = only_->value();
    s.doLast = doLast_->isChecked();
    s.last = last_->value();
    s.interval = interval_->value();
    s.disableThinking = thinking_->isChecked();
    IniFile ini(configFile());
    if (!writePingSettings(ini, s)) {
        uiPrompter().message("Cannot write the settings to \"" + ini.path().string() + "\".");
        return;
    }
    accept();
}

} // namespace vn::icmp
