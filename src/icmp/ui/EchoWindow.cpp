#include "icmp/ui/EchoWindow.h"

#include "icmp/ui/ReportPrinter.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSpinBox>
#include <QTableWidget>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>

#include "common/DataFolder.h"
#include "common/IniFile.h"
#include "common/ui/InfoBox.h"
#include "common/ui/UiPrompter.h"
#include "common/ui/UiSink.h"
#include "common/ui/WireText.h"
#include "common/History.h"
#include "sites/ui/SiteManagerVariant.h"
#include "sites/ui/TSitefrm.h"

namespace vn::icmp {

QStringList rowCells(const ResultRow& row, bool traceroute) {
    QStringList cells{fromWire(row.number), fromWire(row.ttl), fromWire(row.time), fromWire(row.host),
                      fromWire(row.status)};
    // Names beyond the first are kept with the row but not shown.
    if (traceroute) cells << (row.names.empty() ? QString() : fromWire(row.names.front()));
    return cells;
}

EchoWindow::EchoWindow(Identity id, Texts texts, QWidget* parent)
    : ToolWindow(std::move(id), parent), texts_(std::move(texts)) {
    client_ = &own(std::make_unique<IcmpClient>());
    gate_ = &own(std::make_unique<ProbeGate>());
    forward_ = &own(std::make_unique<SinkForwarder>(this));

    // The panes: the TTL and time-out boxes above the result list.
    auto* central = new QWidget(this);
    panes_ = new QVBoxLayout(central);
    panes_->setContentsMargins(2, 2, 2, 2);
    auto* boxes = new QHBoxLayout;
    ttlBox_ = new QSpinBox(central);
    ttlBox_->setObjectName(QStringLiteral("TTLEdit"));
    ttlBox_->setRange(0, 255);
    ttlBox_->setToolTip(QStringLiteral("Time To Live"));
    ttlBox_->setAccessibleName(QStringLiteral("Time To Live"));
    timeoutBox_ = new QSpinBox(central);
    timeoutBox_->setObjectName(QStringLiteral("TimeoutEdit"));
    timeoutBox_->setRange(0, 3600000);
    timeoutBox_->setToolTip(QStringLiteral("Timeout"));
    timeoutBox_->setAccessibleName(QStringLiteral("Timeout"));
    auto* ttlLabel = new QLabel(QStringLiteral("&TTL:"), central);
    ttlLabel->setBuddy(ttlBox_);
    auto* timeoutLabel = new QLabel(QStringLiteral("Time&out (ms):"), central);
    timeoutLabel->setBuddy(timeoutBox_);
    boxes->addWidget(ttlLabel);
    boxes->addWidget(ttlBox_);
    boxes->addSpacing(12);
    boxes->addWidget(timeoutLabel);
    boxes->addWidget(timeoutBox_);
    boxes->addStretch(1);
    panes_->addLayout(boxes);
    connect(ttlBox_, &QSpinBox::editingFinished, this, [this] { ttlBox_->setValue(ttlBoxRule(ttlBox_->value())); });
    connect(timeoutBox_, &QSpinBox::editingFinished, this,
            [this] { timeoutBox_->setValue(timeoutBoxRule(timeoutBox_->value())); });

    list_ = new QTableWidget(0, int(texts_.columns.size()), central);
    list_->setObjectName(QStringLiteral("list"));
    list_->setAccessibleName(QStringLiteral("Results"));
    list_->setHorizontalHeaderLabels(texts_.columns);
    // The given widths, or wider where a caption needs it in the desktop's font.
    for (int i = 0; i < texts_.widths.size(); ++i)
        list_->setColumnWidth(i, std::max(texts_.widths[i], list_->horizontalHeader()->sectionSizeHint(i)));
    list_->horizontalHeader()->setStretchLastSection(true);
    list_->verticalHeader()->hide();
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(texts_.multiSelect ? QAbstractItemView::ExtendedSelection
                                               : QAbstractItemView::SingleSelection);
    list_->setShowGrid(true);
    list_->setWordWrap(false);
    panes_->addWidget(list_, 1);
    connect(list_, &QTableWidget::itemSelectionChanged, this, [this] { updateCommands(); });
    setCentralWidget(central);
    // These windows keep no log: their rows are the record.
    info()->hide();

    commands().add({
        {"SiteManager1", texts_.siteEntry, QKeySequence(Qt::CTRL | Qt::Key_S), [this] { startFromSiteManager(); },
         texts_.siteHint},
        {"Quick1", texts_.quickEntry, QKeySequence(Qt::CTRL | Qt::Key_P), [this] { quickStart(); }, texts_.quickHint},
        {"Stop1", texts_.stopEntry, QKeySequence(Qt::CTRL | Qt::Key_X), [this] { stopSession(); }, texts_.stopHint,
         [] { return false; }, false, true},
        {"Close1", QStringLiteral("&Close"), {}, [this] { closeWindow(); }, {}, {}, false, true},
        {"Copy1", QStringLiteral("&Copy"), QKeySequence(Qt::CTRL | Qt::Key_C), [this] { copySelection(); },
         QStringLiteral("Copy"), [this] { return !selectedRows().empty(); }, false, true},
        {"SelectAll1", QStringLiteral("Select &All"), QKeySequence(Qt::CTRL | Qt::Key_A), [this] { selectAllRows(); },
         QStringLiteral("Select All"), {}, false, true},
        {"ClearRows1", QStringLiteral("C&lear"), QKeySequence(Qt::CTRL | Qt::Key_L), [this] { clearRows(); }, {}, {},
         false, true},
        {"Print1", QStringLiteral("&Print"), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_P), [this] { printRows(); },
         QStringLiteral("Print Report"), [this] { return sessionRowCount() > 0; }},
        {"SetTTL1", QStringLiteral("Set &TTL"), QKeySequence(Qt::CTRL | Qt::Key_T), [this] { setTtlPrompt(); }},
        {"ViewGrid1", QStringLiteral("&View Grid"), QKeySequence(Qt::CTRL | Qt::Key_G), {}, QStringLiteral("Show Grid"),
         {}, true, true},
        {"About1", QStringLiteral("&About..."), {}, [] { uiPrompter().message(std::string(kAppTitle)); }, {}, {}, false,
         true},
    });
    QAction* grid = action(QStringLiteral("ViewGrid1"));
    grid->setChecked(true);
    connect(grid, &QAction::toggled, list_, &QTableWidget::setShowGrid);

    sessionMenu_ = menuBar()->addMenu(texts_.menu);
    commands().fill(sessionMenu_, {"SiteManager1", "Quick1", "Stop1", ""});
    QMenu* history = sessionMenu_->addMenu(texts_.historyEntry);
    history->setObjectName(QStringLiteral("LastHosts1"));
    setHistoryMenu(
        history,
        [] {
            IniFile ini(configFile());
            return History(ini, kHistorySection).entries();
        },
        [this](const QString& host) { historyChosen(host); });
    sessionMenu_->addSeparator();
    commands().fill(sessionMenu_, {"Close1"});
    editMenu_ = menuBar()->addMenu(QStringLiteral("&Edit"));
    commands().fill(editMenu_, {"Copy1", "SelectAll1", "ClearRows1"});
    miscMenu_ = menuBar()->addMenu(QStringLiteral("&Miscellaneous"));
    for (QMenu* m : {sessionMenu_, editMenu_, miscMenu_}) connect(m, &QMenu::aboutToShow, this, [this] { updateCommands(); });

    commands().button(toolBar(), "SiteManagerSB", "SiteManager1", QStringLiteral("Sites"));
    commands().button(toolBar(), "QuickSB", "Quick1", QStringLiteral("Quick"));
    commands().button(toolBar(), "StopSB", "Stop1", QStringLiteral("Stop"));
    toolBar()->addSeparator();
    commands().button(toolBar(), "CopySB", "Copy1", QStringLiteral("Copy"));
    commands().button(toolBar(), "SelectAllSB", "SelectAll1", QStringLiteral("Select All"));
    commands().button(toolBar(), "PrintSB", "Print1", QStringLiteral("Print"));
    commands().button(toolBar(), "GridSB", "ViewGrid1", QStringLiteral("Grid"));
}

EchoWindow::~EchoWindow() = default;

void EchoWindow::addMenusEnd(QMenu*) {
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    commands().fill(help, {"Contents1", "About1"});
}

void EchoWindow::readSettings() {
    IniFile ini(configFile());
    settings_ = readPingSettings(ini);
    ttlBox_->setValue(settings_.ttl < 0 ? 0 : std::min(settings_.ttl, 255));
    timeoutBox_->setValue(settings_.timeout < 0 ? 0 : settings_.timeout);
}

void EchoWindow::addHistory(const std::string& host) {
    IniFile ini(configFile());
    History(ini, kHistorySection).AfegirComAVisitat(host);
}

// ---- starting

void EchoWindow::startFromSiteManager() {
    if (busy()) return;
    TSitefrm dialog(pingSiteVariant(), this);
    if (uiPrompter().exec(dialog) != QDialog::Accepted) return;
    std::optional<SiteChoice> c = dialog.choice();
    if (!c) return;
    ttlBox_->setValue(std::clamp(c->site.Port, 0, 255));
    beginSession(c->site.Address, Start::SiteManager);
}

void EchoWindow::quickStart() {
    if (busy()) return;
    std::optional<std::string> host = uiPrompter().input(texts_.quickCaption, texts_.quickPrompt, "");
    if (!host || host->empty()) return;
    beginSession(*host, Start::Quick);
}

void EchoWindow::historyChosen(const QString& host) {
    if (busy()) return;
    // The prompt is Quick Ping's, in both windows.
    std::optional<std::string> answer =
        uiPrompter().input("Quick Ping", "&Please enter the Host address to Ping:", toWire(host));
    if (!answer || answer->empty()) return;
    beginSession(*answer, Start::History);
}

void EchoWindow::runLoop(const std::string& host, const LoopPlan& plan) {
    const std::uint64_t generation = sessionGeneration();
    const int timeout = timeoutBox_->value();
    IcmpClient* client = client_;
    ProbeGate* gate = gate_;
    SinkForwarder* forward = forward_;
    EventWait* wait = &runner().wait();
    run(
        [=] {
            client->setHost(host);
            client->setTimeout(timeout);
            gate->drain();
            return runEchoLoop(*client, *wait, *gate, plan, [forward, generation](const ExchangeResult& ex) {
                forward->post([generation, ex](ToolWindow& w) {
                    static_cast<EchoWindow&>(w).resultArrived(generation, ex);
                });
            });
        },
        [this](Outcome o) { loopEnded(o); });
}

void EchoWindow::resultArrived(std::uint64_t generation, const ExchangeResult& ex) {
    // A result of a session that has ended (Stop, a new start) is dropped.
    if (generation != sessionGeneration() || !sessionRunning()) return;
    if (ex.outcome != Outcome::Done) {
        // The session stops before the box shows, so boxes never pile up.
        std::string text = sessionFailed(
            ex.error.empty() ? "The echo exchange " + std::string(describe(ex.outcome)) + "." : ex.error);
        endSession();
        gate_->finish();
        updateCommands();
        uiPrompter().message(text);
        return;
    }
    std::optional<int> next = takeResult(ex);
    if (next) gate_->next(*next);
    else gate_->finish();
    updateCommands();
}

void EchoWindow::loopEnded(Outcome) {
    if (sessionRunning()) endSession();
    updateCommands();
}

void EchoWindow::stopSession() {
    abort();
    if (sessionRunning()) endSession();
    updateCommands();
}

void EchoWindow::aborting(bool) {
    // Closing (or any abort) ends the session; its results are dropped.
    if (sessionRunning()) endSession();
}

// ---- the list

std::vector<std::size_t> EchoWindow::selectedRows() const {
    std::vector<std::size_t> rows;
    for (const QModelIndex& i : list_->selectionModel()->selectedRows()) rows.push_back(std::size_t(i.row()));
    std::sort(rows.begin(), rows.end());
    return rows;
}

void EchoWindow::paintRow(int row, const QStringList& cells) {
    if (row >= list_->rowCount()) list_->setRowCount(row + 1);
    for (int c = 0; c < cells.size() && c < list_->columnCount(); ++c) {
        QTableWidgetItem* item = list_->item(row, c);
        if (!item) list_->setItem(row, c, item = new QTableWidgetItem);
        item->setText(cells[c]);
    }
}

void EchoWindow::repaintRows(const std::vector<QStringList>& rows) {
    list_->setRowCount(int(rows.size()));
    for (int i = 0; i < int(rows.size()); ++i) paintRow(i, rows[std::size_t(i)]);
}

void EchoWindow::copySelection() {
    std::optional<std::string> text = sessionCopy(selectedRows());
    if (!text) return;
    QClipboard* cb = QApplication::clipboard();
    cb->clear();
    cb->setText(fromWire(*text));
}

void EchoWindow::selectAllRows() {
    list_->selectAll();
    updateCommands();
}

void EchoWindow::clearRows() {
    sessionCleared();
    list_->setRowCount(0);
    updateCommands();
}

void EchoWindow::printRows() {
    if (busy() || sessionRowCount() == 0) return;
    printToDefaultPrinter(sessionReport());
}

void EchoWindow::setTtlPrompt() {
    if (busy()) return;
    std::optional<std::string> answer = uiPrompter().input("Ping", "&Please enter the new TTL value:", "");
    if (!answer || answer->empty()) return;
    bool ok = false;
    const int v = fromWire(*answer).trimmed().toInt(&ok);
    if (!ok) {
        uiPrompter().message("'" + *answer + "' is not a valid integer value");
        return;
    }
    ttlBox_->setValue(v);
}

// ---- enabling

void EchoWindow::commandsUpdated(bool busy) {
    ttlBox_->setEnabled(!busy);
    timeoutBox_->setEnabled(!busy);
    // Copy follows the selection, running or not; Stop is on while a session runs.
    action(QStringLiteral("Copy1"))->setEnabled(!selectedRows().empty());
    action(QStringLiteral("Stop1"))->setEnabled(busy && sessionRunning());
}

void EchoWindow::busyLook(bool busy) {
    if (busy) list_->viewport()->setCursor(Qt::WaitCursor);
    else list_->viewport()->unsetCursor();
}

} // namespace vn::icmp
