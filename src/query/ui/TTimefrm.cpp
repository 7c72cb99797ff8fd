#include "query/ui/TTimefrm.h"

#include <QAction>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QMenu>
#include <QTimer>

#include <ctime>

#include "common/ui/WireText.h"
#include "query/TimeProtocol.h"
#include "query/ui/TQuickFinger.h"

namespace vn {
namespace {

QLabel* row(QGridLayout* grid, int r, const QString& caption, const char* valueName, QWidget* parent) {
    auto* frame = new QFrame(parent);
    frame->setFrameShape(QFrame::StyledPanel);
    auto* inner = new QGridLayout(frame);
    auto* label = new QLabel(caption, frame);
    auto* value = new QLabel(frame);
    value->setObjectName(QString::fromLatin1(valueName));
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setBuddy(value);
    inner->addWidget(label, 0, 0);
    inner->addWidget(value, 0, 1);
    inner->setColumnStretch(1, 1);
    grid->addWidget(frame, r, 0);
    return value;
}

} // namespace

TTimefrm::TTimefrm(QWidget* parent) : TQueryfrm(QueryKind::Time, parent) {
    setToolTip(QStringLiteral("Time Service"));
    systemClock_ = &own(std::make_unique<SystemClockSetter>());
    engine().setClockSetter(systemClock_);

    auto* panes = new QWidget(this);
    auto* grid = new QGridLayout(panes);
    server_ = row(grid, 0, QStringLiteral("Time Server Result : "), "ServerTimeLabel", panes);
    local_ = row(grid, 1, QStringLiteral("Local System Time : "), "LocalTimeLabel", panes);
    server_->setText(QString::fromLatin1(kTimeNotConnected));
    setCentralWidget(panes);

    clock_ = new QTimer(this);
    clock_->setInterval(1000);
    connect(clock_, &QTimer::timeout, this, &TTimefrm::SegonsTimer);
    clock_->start();
    SegonsTimer();
    applySize();
    updateCommands();
}

TTimefrm::~TTimefrm() = default;

void TTimefrm::setClockSetter(ClockSetter* setter) {
    if (busy()) return;
    engine().setClockSetter(setter ? setter : systemClock_);
}

void TTimefrm::synchronise() { ask(Origin::Synchronise, {}, {}); }

QString TTimefrm::serverTimeText() const { return server_->text(); }
QString TTimefrm::localTimeText() const { return local_->text(); }

void TTimefrm::SegonsTimer() {
    const std::time_t now = std::time(nullptr);
    local_->setText(fromWire(localClockText(now, systemZoneBias(now))));
}

std::unique_ptr<TQuickFinger> TTimefrm::quickDialog(Origin origin) const {
    auto d = std::make_unique<TQuickFinger>(const_cast<TTimefrm*>(this));
    d->hideQuery();
    switch (origin) {
    case Origin::Synchronise:
        d->setHeading(QStringLiteral("System Time Synchronization"));
        d->setHostLabel(QStringLiteral("Time Server:"));
        break;
    case Origin::History:
        d->setHeading(QStringLiteral("Quick Time (Time Protocol)"));
        break;
    default:
        d->setHeading(QStringLiteral("Quick Time (NTP)"));
        d->setHostLabel(QStringLiteral("Time Server:"));
        break;
    }
    return d;
}

void TTimefrm::showServerTime(const TimeReading& reading) { server_->setText(fromWire(reading.text())); }

} // namespace vn
