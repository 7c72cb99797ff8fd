#include "icmp/ui/TTraceroutefrm.h"

#include <QAction>
#include <QMenu>
#include <QSpinBox>
#include <QTableWidget>

#include <chrono>

#include "common/DataFolder.h"
#include "common/IniFile.h"
#include "common/ui/ThinkingIndicator.h"
#include "common/ui/UiPrompter.h"
#include "common/ui/WireText.h"
#include "icmp/NameLookup.h"

namespace vn::icmp {

namespace {

constexpr auto kNameLookupLimit = std::chrono::seconds(10);

EchoWindow::Texts traceTexts() {
    EchoWindow::Texts t;
    t.menu = QStringLiteral("&Traceroute");
    t.siteEntry = QStringLiteral("Traceroute && Ping &Site Manager");
    t.siteHint = QStringLiteral("Traceroute/Ping  Site Manager");
    t.quickEntry = QStringLiteral("&Quick Traceroute");
    t.quickHint = QStringLiteral("Quick Trace");
    t.stopEntry = QStringLiteral("S&top Tracing");
    t.stopHint = QStringLiteral("Stop Tracing");
    t.historyEntry = QStringLiteral("&Last Hosts Traced");
    t.quickCaption = "Quick Traceroute";
    t.quickPrompt = "&Please enter the Host address to Trace:";
    t.columns = {QStringLiteral("Number"), QStringLiteral("TTL"),    QStringLiteral("Time"),
                 QStringLiteral("Host IP"), QStringLiteral("Status"), QStringLiteral("Host Name")};
    t.widths = {60, 60, 60, 120, 100, 200};
    t.multiSelect = false;
    return t;
}

} // namespace

TTraceroutefrm::TTraceroutefrm(QWidget* parent)
    : EchoWindowOver({QStringLiteral("Traceroutefrm"), QStringLiteral("Varnelo FTP - Traceroute"),
                  QStringLiteral("ping.html#traceroute")},
                 traceTexts(), parent) {
    names_ = &addRunner();
    commands().add({
        {"DNS1", QStringLiteral("Get Host Name (&DNS resolution)"), QKeySequence(Qt::CTRL | Qt::Key_D),
         [this] { resolveSelected(); }, QStringLiteral("DNS Resolution : Get Host Name."), {}, false, true},
        {"DisableThinking1", QStringLiteral("Disable \"Thinking\" Indicator"), {}, [this] { switchThinking(); }, {}, {},
         true, true},
    });
    commands().fill(miscMenu(), {"Print1", "SetTTL1", "", "DNS1", "", "DisableThinking1", "ViewGrid1"});
    commands().button(toolBar(), "DNSSB", "DNS1", QStringLiteral("DNS"));
    addMenusEnd(miscMenu());
    connect(miscMenu(), &QMenu::aboutToShow, this, [this] {
        IniFile ini(configFile());
        action(QStringLiteral("DisableThinking1"))->setChecked(readTraceDisableThinking(ini));
    });
    // Choosing a row (by click or keys) allows the look-up again.
    connect(list(), &QTableWidget::itemSelectionChanged, this, [this] {
        dnsAllowed_ = true;
        updateCommands();
    });

    finishSetup();
    readSettings();
    IniFile ini(configFile());
    const bool noThinking = readTraceDisableThinking(ini);
    thinking()->setThinkingDisabled(noThinking);
    action(QStringLiteral("DisableThinking1"))->setChecked(noThinking);
}

QString TTraceroutefrm::noNameText(const QString& address) {
    return QStringLiteral("No host name was found for %1.").arg(address);
}

void TTraceroutefrm::switchThinking() {
    // The entry's check mark was inverted by the click.
    const bool disable = action(QStringLiteral("DisableThinking1"))->isChecked();
    IniFile ini(configFile());
    writeTraceDisableThinking(ini, disable);
    thinking()->setThinkingDisabled(disable);
}

bool TTraceroutefrm::beginSession(const std::string& host, Start from) {
    dnsAllowed_ = false;
    const auto started = from == Start::SiteManager ? TraceSession::StartedFrom::SiteManager
                         : from == Start::History   ? TraceSession::StartedFrom::History
                                                    : TraceSession::StartedFrom::QuickTrace;
    const bool running = session_.start(ttlBox()->value(), settings_, started);
    list()->setRowCount(0);
    addHistory(host);
    setStatus(fromWire(session_.statusText()));
    std::optional<int> first = session_.nextProbe();
    if (!running || !first) {
        // A limit of 1 leaves no probe to send: the trace ends at once.
        endSession();
        updateCommands();
        return false;
    }
    runLoop(host, LoopPlan{*first, TraceSession::kTickMs, TraceSession::kTickMs});
    updateCommands();
    return true;
}

std::optional<int> TTraceroutefrm::takeResult(const ExchangeResult& ex) {
    ReplyEffect fx = session_.onReply(ex.reply);
    if (fx.removedOldest && list()->rowCount() > 0) list()->removeRow(0);
    if (fx.added && !session_.rows().empty()) paintRow(list()->rowCount(), rowCells(session_.rows().back(), true));
    std::optional<int> next = session_.running() ? session_.nextProbe() : std::nullopt;
    if (!next) {
        endSession();
        return std::nullopt;
    }
    return next;
}

void TTraceroutefrm::endSession() {
    session_.stop();
    setStatus(fromWire(session_.statusText()));
}

void TTraceroutefrm::resolveSelected() {
    const std::vector<std::size_t> sel = selectedRows();
    if (sel.empty() || names_->busy() || sel.front() >= session_.rows().size()) return;
    const std::size_t row = sel.front();
    const std::string address = session_.rows()[row].host;
    const std::uint64_t generation = session_.generation();
    EventWait* wait = &names_->wait();
    names_->run([wait, address] { return lookupName(*wait, address, EventWait::Clock::now() + kNameLookupLimit); },
                [this, row, address, generation](NameResult r) {
                    switch (r.status) {
                    case NameResult::Found:
                        // The row must still be the one asked about (Clear, a new trace).
                        if (generation == session_.generation() && row < session_.rows().size() &&
                            session_.rows()[row].host == address) {
                            session_.appendName(row, r.name);
                            paintRow(int(row), rowCells(session_.rows()[row], true));
                        }
                        break;
                    case NameResult::NoName:
                    case NameResult::Failed:
                    case NameResult::TimedOut:
                        uiPrompter().message(toWire(noNameText(fromWire(address))));
                        break;
                    case NameResult::Cancelled:
                        break;
                    }
                    updateCommands();
                });
    updateCommands();
}

void TTraceroutefrm::commandsUpdated(bool busy) {
    EchoWindow::commandsUpdated(busy);
    action(QStringLiteral("DNS1"))->setEnabled(dnsAllowed_ && !selectedRows().empty() && !names_->busy());
}

} // namespace vn::icmp
