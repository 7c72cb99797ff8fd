#include "icmp/ui/TPingfrm.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include <limits>

#include "common/ui/ThinkingIndicator.h"
#include "common/ui/UiPrompter.h"
#include "common/ui/WireText.h"
#include "icmp/ui/TOptionsPingfrm.h"

namespace vn::icmp {

namespace {

EchoWindow::Texts pingTexts() {
    EchoWindow::Texts t;
    t.menu = QStringLiteral("&Ping");
    t.siteEntry = QStringLiteral("Ping &Site Manager");
    t.siteHint = QStringLiteral("Ping Site Manager");
    t.quickEntry = QStringLiteral("&Quick Ping");
    t.quickHint = QStringLiteral("Quick Ping");
    t.stopEntry = QStringLiteral("S&top Pinging");
    t.stopHint = QStringLiteral("Stop Pinging");
    t.historyEntry = QStringLiteral("&Last Hosts pinged");
    t.quickCaption = "Quick Ping";
    t.quickPrompt = "&Please enter the Host address to Ping:";
    t.columns = {QStringLiteral("Number"), QStringLiteral("TimeToLive (TTL)"), QStringLiteral("Time"),
                 QStringLiteral("Host Name"), QStringLiteral("Status")};
    t.widths = {60, 100, 100, 180, 100};
    t.multiSelect = true;
    return t;
}

QLabel* statLabel(const char* name, const QString& hint, QWidget* parent) {
    auto* l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setToolTip(hint);
    l->setAccessibleName(hint);
    return l;
}

} // namespace

TPingfrm::TPingfrm(QWidget* parent)
    : EchoWindowOver({QStringLiteral("Pingfrm"), QStringLiteral("Varnelo FTP - Ping"), QStringLiteral("ping.html")},
                 pingTexts(), parent) {
    commands().add({"Options1", QStringLiteral("&Options"), {}, [this] { showOptions(); }});
    commands().fill(miscMenu(), {"Print1", "SetTTL1", "", "ViewGrid1", "", "Options1"});
    addMenusEnd(miscMenu());

    // The statistics under the list.
    auto* stats = new QWidget(this);
    stats->setObjectName(QStringLiteral("Statistics"));
    auto* row = new QHBoxLayout(stats);
    row->setContentsMargins(0, 2, 0, 0);
    gauge_ = new QProgressBar(stats);
    gauge_->setObjectName(QStringLiteral("TotalGauge"));
    gauge_->setToolTip(QStringLiteral("Ping Statistics [Blue=OK - Red=Lost]"));
    gauge_->setAccessibleName(QStringLiteral("Ping Statistics"));
    gauge_->setTextVisible(false);
    QPalette pal = gauge_->palette();
    pal.setColor(QPalette::Highlight, Qt::blue);
    pal.setColor(QPalette::Base, Qt::red);
    pal.setColor(QPalette::Window, Qt::red);
    gauge_->setPalette(pal);
    average_ = statLabel("AverageLabel", QStringLiteral("Average Time"), stats);
    lost_ = statLabel("LostLabel", QStringLiteral("Lost Packets"), stats);
    total_ = statLabel("TotalLabel", QStringLiteral("Total Packets Sent"), stats);
    row->addWidget(gauge_, 1);
    row->addWidget(average_);
    row->addWidget(lost_);
    row->addWidget(total_);
    panes()->addWidget(stats);

    finishSetup();
    readSettings();
    applySettings();
    setStatus(fromWire(session_.statusText()));
    paintStatistics();
}

void TPingfrm::applySettings() { thinking()->setThinkingDisabled(settings_.disableThinking); }

void TPingfrm::showOptions() {
    TOptionsPingfrm dialog(this);
    uiPrompter().exec(dialog);
    // Confirmed or not, the settings are read again.
    readSettings();
    applySettings();
}

bool TPingfrm::beginSession(const std::string& host, Start) {
    const int ttl = ttlBoxRule(ttlBox()->value());
    session_.start(settings_);
    list()->setRowCount(0);
    setStatus(fromWire(session_.statusText()));
    paintStatistics();
    // Answered or not, the host goes into the history.
    addHistory(host);
    runLoop(host, LoopPlan{ttl, session_.firstDelayMs(), session_.intervalMs()});
    updateCommands();
    return true;
}

std::optional<int> TPingfrm::takeResult(const ExchangeResult& ex) {
    ReplyEffect fx = session_.onReply(ex.reply);
    if (fx.removedOldest && list()->rowCount() > 0) list()->removeRow(0);
    if (fx.added && !session_.rows().empty()) paintRow(list()->rowCount(), rowCells(session_.rows().back(), false));
    paintStatistics();
    if (!session_.running()) {
        endSession();
        return std::nullopt;
    }
    return ttlBoxRule(ttlBox()->value());
}

void TPingfrm::endSession() {
    session_.stop();
    setStatus(fromWire(session_.statusText()));
    paintStatistics();
}

void TPingfrm::paintStatistics() {
    const auto clampInt = [](std::uint64_t v) {
        return int(std::min<std::uint64_t>(v, std::uint64_t(std::numeric_limits<int>::max())));
    };
    // With no reply yet the gauge shows an empty bar, not Qt's busy animation.
    gauge_->setRange(0, std::max(1, clampInt(session_.gaugeMaximum())));
    gauge_->setValue(clampInt(session_.gaugeProgress()));
    average_->setText(fromWire(session_.averageLabel()));
    lost_->setText(fromWire(session_.lostLabel()));
    total_->setText(fromWire(session_.totalLabel()));
}

} // namespace vn::icmp
