#include "shell/TWhatIPfrm.h"

#include <arpa/inet.h>

#include <QAction>
#include <QClipboard>
#include <QFont>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>

#include "common/DataFolder.h"
#include "common/History.h"
#include "common/IniFile.h"
#include "common/ui/Gauges.h"
#include "common/ui/HostHistoryField.h"
#include "common/ui/InfoBox.h"
#include "common/ui/ThinkingIndicator.h"
#include "common/ui/WireText.h"
#include "icmp/NameLookup.h"
#include "platform/Resolver.h"

namespace vn {

namespace {
constexpr const char* kHistorySection = "DNS";
const QString kNameLabel = QStringLiteral("&Host Name:  (i.e: www.example.org)");
const QString kAddressLabel = QStringLiteral("&IP Address:  (i.e: 192.0.2.10)");
} // namespace

TWhatIPfrm::TWhatIPfrm(QWidget* parent) : ToolWindow({"WhatIPfrm", "DNS", "whatip.html"}, parent) {
    thinking()->setIntervals(50, 200);
    commands().add({
        {"WhatIP1", QStringLiteral("What IP ?"), {}, [this] { lookUp(); }, {}, [this] { return !holdAfterTimeout_; }},
        {"Cancel1", QStringLiteral("&Cancel"), {}, [this] { cancelLookUp(); }, {},
         [this] { return busy() || holdAfterTimeout_; }, false, true},
        {"CopyResult1", QStringLiteral("Copy Result"), {}, [this] { copyResult(); }, QStringLiteral("Copy Result"), {},
         false, true},
        {"Exit1", QStringLiteral("Exit"), {}, [this] { exitWindow(); }, QStringLiteral("Exit"), {}, false, true},
    });
    commands().button(toolBar(), "CopySB", "CopyResult1", QStringLiteral("Copy"));
    commands().button(toolBar(), "HelpSB", "Contents1", QStringLiteral("Help"))->setToolTip(QStringLiteral("Help"));
    commands().button(toolBar(), "ExitSB", "Exit1", QStringLiteral("Exit"));
    // No menus, log box or gauges: the window is one small form.
    menuBar()->hide();
    info()->hide();
    gauges()->hide();

    auto* panes = new QWidget(this);
    auto* grid = new QGridLayout(panes);
    grid->setContentsMargins(8, 4, 8, 4);
    grid->setVerticalSpacing(2);
    auto* heading = new QLabel(QStringLiteral("DNS"), panes);
    heading->setObjectName(QStringLiteral("Heading"));
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    auto* picture = new QLabel(panes);
    picture->setPixmap(style()->standardIcon(QStyle::SP_DirLinkIcon).pixmap(16, 16));
    nameMode_ = new QRadioButton(QStringLiteral("Host Name to IP@"), panes);
    nameMode_->setObjectName(QStringLiteral("RadioButton1"));
    addressMode_ = new QRadioButton(QStringLiteral("IP@ to Host Name"), panes);
    addressMode_->setObjectName(QStringLiteral("RadioButton2"));
    nameMode_->setChecked(true);
    auto* top = new QHBoxLayout;
    top->addWidget(picture);
    top->addWidget(heading);
    top->addSpacing(12);
    top->addWidget(nameMode_);
    top->addWidget(addressMode_);
    top->addStretch(1);
    grid->addLayout(top, 0, 0, 1, 3);

    inputLabel_ = new QLabel(kNameLabel, panes);
    input_ = new QLineEdit(panes);
    input_->setObjectName(QStringLiteral("HostEdit"));
    inputLabel_->setBuddy(input_);
    offerHostHistory(input_, kHistorySection);
    lookUp_ = new QPushButton(QStringLiteral("What IP ?"), panes);
    lookUp_->setObjectName(QStringLiteral("WhatIPButton"));
    lookUp_->setDefault(true);
    cancel_ = new QPushButton(QStringLiteral("&Cancel"), panes);
    cancel_->setObjectName(QStringLiteral("CancelButton"));
    grid->addWidget(inputLabel_, 1, 0, 1, 3);
    grid->addWidget(input_, 2, 0);
    grid->addWidget(lookUp_, 2, 1);
    grid->addWidget(cancel_, 2, 2);
    result_ = new QLabel(panes);
    result_->setObjectName(QStringLiteral("ResultLabel"));
    result_->setAccessibleName(QStringLiteral("Result"));
    result_->setTextFormat(Qt::PlainText);
    result_->setWordWrap(true);
    result_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(result_, 3, 0, 1, 3);
    grid->setColumnStretch(0, 1);
    setCentralWidget(panes);

    connect(lookUp_, &QPushButton::clicked, this, [this] { action("WhatIP1")->trigger(); });
    connect(cancel_, &QPushButton::clicked, this, [this] { action("Cancel1")->trigger(); });
    connect(input_, &QLineEdit::returnPressed, this, [this] {
        if (lookUp_->isEnabled()) action("WhatIP1")->trigger();
    });
    connect(nameMode_, &QRadioButton::toggled, this, [this](bool on) {
        if (on) setMode(Mode::NameToAddress);
    });
    connect(addressMode_, &QRadioButton::toggled, this, [this](bool on) {
        if (on) setMode(Mode::AddressToName);
    });
    setFixedSize(width_, kHeight);
    finishSetup();
}

void TWhatIPfrm::setMode(Mode m) {
    mode_ = m;
    const bool name = m == Mode::NameToAddress;
    (name ? nameMode_ : addressMode_)->setChecked(true);
    inputLabel_->setText(name ? kNameLabel : kAddressLabel);
    const QString text = name ? QStringLiteral("What IP ?") : QStringLiteral("What Host ?");
    lookUp_->setText(text);
    action("WhatIP1")->setText(text);
    input_->clear();
}

QString TWhatIPfrm::resultText() const { return result_->text(); }

void TWhatIPfrm::showResult(const QString& text) {
    result_->setText(text);
    fitWidth();
}

void TWhatIPfrm::fitWidth() {
    // A long answer widens the window to show it on one line; a short one
    // brings it back.
    const int left = result_->mapTo(this, QPoint(0, 0)).x();
    const int needed = result_->fontMetrics().horizontalAdvance(result_->text()) + 2 * left;
    width_ = needed > kWidth ? needed : kWidth;
    setFixedSize(width_, kHeight);
}

void TWhatIPfrm::lookUp() {
    if (busy() || holdAfterTimeout_) return;
    const std::string typed = toWire(input_->text().trimmed());
    const Mode mode = mode_;
    showResult({});
    in_addr unused{};
    if (mode == Mode::AddressToName && inet_pton(AF_INET, typed.c_str(), &unused) != 1) {
        // Not a dotted IPv4 address: nothing to look up.
        beep();
        showResult(QStringLiteral("ERROR"));
        emit lookUpEnded();
        return;
    }
    if (!typed.empty()) {
        IniFile ini(configFile());
        History(ini, kHistorySection).AfegirComAVisitat(typed);
    }
    EventWait* wait = &runner().wait();
    const auto limit = timeout_;
    run(
        [wait, typed, mode, limit]() -> Answer {
            const EventWait::Deadline deadline = EventWait::Clock::now() + limit;
            if (mode == Mode::NameToAddress) {
                LookupResult r = lookupHost(*wait, typed, deadline);
                switch (r.status) {
                case LookupResult::Found: return {Answer::Found, r.dotted};
                case LookupResult::NotFound: return {Answer::None, {}};
                case LookupResult::Cancelled: return {Answer::Cancelled, {}};
                case LookupResult::TimedOut: return {Answer::TimedOut, {}};
                default: return {Answer::Error, {}};
                }
            }
            icmp::NameResult r = icmp::lookupName(*wait, typed, deadline);
            switch (r.status) {
            case icmp::NameResult::Found: return {Answer::Found, r.name};
            case icmp::NameResult::NoName: return {Answer::None, {}};
            case icmp::NameResult::Cancelled: return {Answer::Cancelled, {}};
            case icmp::NameResult::TimedOut: return {Answer::TimedOut, {}};
            default: return {Answer::Error, {}};
            }
        },
        [this](const Answer& a) {
            switch (a.kind) {
            case Answer::Found: showResult(fromWire(a.text)); break;
            case Answer::None: showResult({}); break;
            case Answer::Cancelled: showResult(QStringLiteral("CANCELED")); break;
            case Answer::TimedOut:
                holdAfterTimeout_ = true;
                showResult(QStringLiteral("TIMEOUT"));
                break;
            case Answer::Error: showResult(QStringLiteral("ERROR")); break;
            }
            beep();
            updateCommands();
            emit lookUpEnded();
        });
}

void TWhatIPfrm::cancelLookUp() {
    holdAfterTimeout_ = false;
    if (busy()) abort();
    updateCommands();
}

void TWhatIPfrm::copyResult() {
    QClipboard* c = QGuiApplication::clipboard();
    c->clear();
    c->setText(result_->text());
}

void TWhatIPfrm::exitWindow() {
    cancelLookUp();
    closeWindow();
}

void TWhatIPfrm::commandsUpdated(bool /*busy*/) {
    lookUp_->setEnabled(action("WhatIP1")->isEnabled());
    cancel_->setEnabled(action("Cancel1")->isEnabled());
}

void TWhatIPfrm::busyLook(bool busy) {
    if (busy) input_->setCursor(Qt::BusyCursor);
    else input_->unsetCursor();
}

} // namespace vn
