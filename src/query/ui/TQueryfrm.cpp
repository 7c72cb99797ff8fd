#include "query/ui/TQueryfrm.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QShowEvent>
#include <QSaveFile>
#include <QToolBar>
#include <QUrl>

#include "common/DataFolder.h"
#include "common/IniFile.h"
#include "common/ui/FormWidgets.h"
#include "common/ui/Gauges.h"
#include "common/ui/InfoBox.h"
#include "common/ui/ThinkingIndicator.h"
#include "common/ui/UiPrompter.h"
#include "common/ui/UiSink.h"
#include "common/ui/WireText.h"
#include "query/ui/QueryPrint.h"
#include "query/ui/TQuickFinger.h"
#include "common/History.h"
#include "shell/ProductInfo.h"
#include "sites/ui/TSitefrm.h"

namespace vn {

const QueryWindowLook& queryWindowLook(QueryKind kind) {
    static const QueryWindowLook finger{
        QueryKind::Finger, "Fingerfrm", "Varnelo FTP Suite - Finger", "finger.html", "&Finger",
        "Finger &Site Manager", "Connect to a new Finger Server (Site Manager)", "&Quick Finger", "Quick Finger", {}, {},
        "&Cancel Current Finger", "Disconnect - Cancel the current finger connection", "&Finger Port :",
        "&Set Finger Port", "Finger", kThinkingEntry, true, "Varnelo FTP Suite - FINGER", "FingerResponse.txt",
        "Save Finger Information", {}, 0};
    static const QueryWindowLook whois{
        QueryKind::Whois, "Whoisfrm", "Varnelo FTP Suite - Whois", "whois.html", "&Whois",
        "Whois &Site Manager", "Connect to a new Whois Server (Site Manager)", "&Quick Whois", "Quick Whois", {}, {},
        "&Cancel Current Whois", "Disconnect - Cancel the current Whois connection", "&Whois Port :",
        "&Set Whois Port", "Whois", kThinkingEntryQuoted, true, "Varnelo FTP Suite - WHOIS", "WhoisResponse.txt",
        "Save Whois Information", {}, 0};
    static const QueryWindowLook daytime{
        QueryKind::DayTime, "DayTimefrm", "Varnelo FTP Suite - DayTime", "daytime.html", "&DayTime", {}, {},
        "&Quick DayTime Connection", "Quick DayTime Connection", {}, {}, "&Cancel Current Connection", {},
        "DayTime &Port :", {}, {}, kThinkingEntryQuoted, true, "Varnelo FTP Suite - DayTime",
        "DayTimeResponse.txt", "Save DayTime Information", QSize(405, 175), 16};
    static const QueryWindowLook time{
        QueryKind::Time, "Timefrm", "Varnelo FTP Suite - Time", "time.html", "&DayTime", {}, {},
        "&Quick Time Connection", "Quick Time (SNTP) Connection", "&System Time Synchronization",
        "Quick Time (SNTP) Connection and Synchronization", "&Cancel Current Connection", {},
        "Time &Port :", {}, {}, kThinkingEntryQuoted, false, {}, {}, {}, QSize(400, 188), 0};
    switch (kind) {
    case QueryKind::Finger: return finger;
    case QueryKind::Whois: return whois;
    case QueryKind::DayTime: return daytime;
    case QueryKind::Time: break;
    }
    return time;
}

// Reports of the engine, on the UI thread: each reply piece as new lines of
// the output, the Time value to the window.
class TQueryfrm::Sink : public UiSink<QuerySink> {
public:
    explicit Sink(TQueryfrm* w) : UiSink<QuerySink>(w) {}
    void reply(const std::string& piece) override {
        forwarder().post([lines = replyLines(piece)](ToolWindow& w) {
            for (const std::string& l : lines) w.log(fromWire(l));
        });
    }
    void serverTime(const TimeReading& r) override {
        forwarder().post([r](ToolWindow& w) { static_cast<TQueryfrm&>(w).showServerTime(r); });
    }
};

TQueryfrm::TQueryfrm(QueryKind kind, QWidget* parent)
    : ToolWindow({queryWindowLook(kind).objectName, queryWindowLook(kind).caption, queryWindowLook(kind).helpPage},
                 parent),
      look_(queryWindowLook(kind)) {
    // The engine waits on the runner's wait, so each query gets a fresh
    // cancel token and Cancel or closing wakes it at once.
    sink_ = &own(std::make_unique<Sink>(this));
    engine_ = &own(std::make_unique<QueryEngine>(kind, runner().wait(), *sink_, runner().prompter()));
    IniFile& historyIni = own(std::make_unique<IniFile>(configFile()));
    history_ = &own(std::make_unique<History>(historyIni, std::string(profile().section)));
    engine_->setHistory(history_);
    port_ = loadQueryPort(profile(), queryPortFile(profile()));

    gauges()->hide();
    buildCommands();

    portBox_ = namedLineEdit("SpinEdit1", this);
    acceptDigitsOnly(portBox_);
    portBox_->setText(QString::number(port_));
    portBox_->setMaximumWidth(70);
    portLabel_ = buddyLabel(look_.portLabel, "PortLabel", portBox_, this);
    auto* portPane = new QWidget(this);
    auto* portLayout = new QHBoxLayout(portPane);
    portLayout->setContentsMargins(6, 0, 6, 0);
    portLayout->addWidget(portLabel_);
    portLayout->addWidget(portBox_);
    toolBar()->addSeparator();
    toolBar()->addWidget(portPane);
    connect(portBox_, &QLineEdit::editingFinished, this, [this] { applyPort(portBox_->text()); });

    if (look_.output) {
        info()->setObjectName(QStringLiteral("terminal"));
        info()->setAccessibleName(QStringLiteral("Output"));
        if (look_.outputPixels > 0) {
            QFont f = info()->font();
            f.setPixelSize(look_.outputPixels);
            info()->setFont(f);
        }
        connect(info(), &QPlainTextEdit::selectionChanged, this, &ToolWindow::updateCommands);
        connect(info(), &QPlainTextEdit::textChanged, this, &ToolWindow::updateCommands);
        setCentralWidget(info());
    } else {
        info()->hide();
    }

    thinking()->setIntervals(50, 200);
    readThinking();
    setStatus(QString::fromLatin1(kStatusNotConnected));
    finishSetup();
    applySize();
}

void TQueryfrm::applySize() {
    // Daytime and Time keep a fixed dialog-like size (never smaller than their contents need).
    if (!look_.fixedSize.isEmpty()) setFixedSize(look_.fixedSize.expandedTo(minimumSizeHint()));
    else resize(560, 360);
}

TQueryfrm::~TQueryfrm() = default;

void TQueryfrm::showEvent(QShowEvent* event) {
    ToolWindow::showEvent(event);
    // Inside the main window the frame takes the fixed size as well, rather
    // than showing the window in a larger, partly empty frame.
    auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget());
    if (look_.fixedSize.isEmpty() || !sub) return;
    QSize frame = size().grownBy(sub->contentsMargins());
    if (sub->layout()) frame = frame.grownBy(sub->layout()->contentsMargins());
    sub->setFixedSize(frame);
}

void TQueryfrm::buildCommands() {
    const bool out = look_.output;
    auto hasLines = [this] { return info()->lineCount() > 0; };
    std::vector<CommandSpec> specs;
    if (!look_.siteEntry.isEmpty())
        specs.push_back({"SiteManager1", look_.siteEntry, QKeySequence(Qt::CTRL | Qt::Key_S), [this] { siteManager(); },
                         look_.siteHint});
    specs.push_back({"Quick1", look_.quickEntry, QKeySequence(Qt::CTRL | Qt::Key_F), [this] { quick(); }, look_.quickHint});
    if (!look_.syncEntry.isEmpty())
        specs.push_back({"Synchronize1", look_.syncEntry, QKeySequence(Qt::CTRL | Qt::Key_S), [this] { synchronise(); },
                         look_.syncHint});
    specs.push_back({"Cancel1", look_.cancelEntry, QKeySequence(Qt::CTRL | Qt::Key_X), [this] { cancelQuery(); },
                     look_.cancelHint, {}, false, true});
    specs.push_back({"Close1", QStringLiteral("&Close"), {}, [this] { closeWindow(); }, {}, {}, false, true});
    specs.push_back({"Thinking1", look_.thinkingEntry, {}, [this] { toggleThinking(); }, {}, {}, true, true});
    if (out) {
        specs.push_back({"Copy1", QStringLiteral("&Copy"), QKeySequence(Qt::CTRL | Qt::Key_C), [this] { copy(); },
                         QStringLiteral("Copy"), [this] { return info()->textCursor().hasSelection(); }, false, true});
        specs.push_back({"SelectAll1", QStringLiteral("Select &All"), QKeySequence(Qt::CTRL | Qt::Key_A),
                         [this] { selectAll(); }, QStringLiteral("Select All"), {}, false, true});
        specs.push_back({"ClearOutput1", QStringLiteral("C&lear"), QKeySequence(Qt::CTRL | Qt::Key_L),
                         [this] { clearOutput(); }, {}, {}, false, true});
        specs.push_back({"Print1", QStringLiteral("&Print"), QKeySequence(Qt::CTRL | Qt::Key_P), [this] { print(); },
                         QStringLiteral("Print Screen"), hasLines, false, true});
        specs.push_back({"SaveToFile1", QStringLiteral("Save to &File"), {}, [this] { saveToFile(); }, {}, hasLines,
                         false, true});
        if (!look_.setPortEntry.isEmpty())
            specs.push_back({"SetPort1", look_.setPortEntry, {}, [this] { setPortCommand(); }, {}, {}, false, true});
    }
    specs.push_back({"About1", QStringLiteral("&About..."), {}, [this] { about(); }, {}, {}, false, true});
    specs.push_back({"Visit1", QStringLiteral("&Visit Varnelo FTP Suite Web Site"), QKeySequence(Qt::CTRL | Qt::Key_W),
                     [this] { visitWebSite(); }, {}, {}, false, true});
    commands().add(specs);

    queryMenu_ = menuBar()->addMenu(look_.menu);
    queryMenu_->setObjectName(QStringLiteral("QueryMenu"));
    if (!look_.siteEntry.isEmpty()) commands().fill(queryMenu_, {"SiteManager1"});
    commands().fill(queryMenu_, {"Quick1"});
    if (!look_.syncEntry.isEmpty()) commands().fill(queryMenu_, {"Synchronize1"});
    commands().fill(queryMenu_, {"Cancel1"});
    if (!out) commands().fill(queryMenu_, {"Thinking1"});
    lastHosts_ = queryMenu_->addMenu(QStringLiteral("&Last Hosts Visited"));
    lastHosts_->setObjectName(QStringLiteral("LastHostsVisited1"));
    commands().fill(queryMenu_, {"", "Close1"});
    const std::string section(profile().section);
    setHistoryMenu(
        lastHosts_, [section] {
            IniFile ini(configFile());
            return History(ini, section).entries();
        },
        [this](const QString& host) { fromHistory(host); });

    if (out) {
        editMenu_ = menuBar()->addMenu(QStringLiteral("&Edit"));
        editMenu_->setObjectName(QStringLiteral("EditMenu"));
        commands().fill(editMenu_, {"Copy1", "SelectAll1", "", "ClearOutput1"});
        miscMenu_ = menuBar()->addMenu(QStringLiteral("&Miscellaneous"));
        miscMenu_->setObjectName(QStringLiteral("MiscMenu"));
        commands().fill(miscMenu_, {"Print1", "SaveToFile1", ""});
        if (!look_.setPortEntry.isEmpty()) commands().fill(miscMenu_, {"SetPort1"});
        commands().fill(miscMenu_, {"Thinking1"});
        connect(editMenu_, &QMenu::aboutToShow, this, &ToolWindow::updateCommands);
        connect(miscMenu_, &QMenu::aboutToShow, this, [this] {
            readThinking();
            updateCommands();
        });
    }
    connect(queryMenu_, &QMenu::aboutToShow, this, [this] {
        readThinking();
        updateCommands();
    });
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("HelpMenu"));
    commands().fill(help, {"Contents1", "About1", "", "Visit1"});

    if (!look_.siteEntry.isEmpty())
        commands().button(toolBar(), "ConnectarAServidorSB", "SiteManager1", QStringLiteral("Sites"));
    commands().button(toolBar(), "QuickSB", "Quick1", QStringLiteral("Quick"));
    commands().button(toolBar(), "QuitSB", "Cancel1", QStringLiteral("Cancel"));
    if (!look_.syncEntry.isEmpty()) commands().button(toolBar(), "SyncSB", "Synchronize1", QStringLiteral("Sync"));
    if (out) {
        commands().button(toolBar(), "CopySB", "Copy1", QStringLiteral("Copy"));
        commands().button(toolBar(), "PrintSB", "Print1", QStringLiteral("Print"));
    }
}

void TQueryfrm::commandsUpdated(bool busy) {
    // Copy, Print and Save stay usable during a query, by their own rules.
    if (!busy || !look_.output) return;
    for (const char* name : {"Copy1", "Print1", "SaveToFile1"})
        if (QAction* a = action(QString::fromLatin1(name))) {
            const CommandSpec* s = commands().definition(QString::fromLatin1(name));
            a->setEnabled(!s->enabled || s->enabled());
        }
}

void TQueryfrm::busyLook(bool busy) {
    QWidget* over = look_.output ? info()->viewport() : static_cast<QWidget*>(this);
    if (busy) over->setCursor(Qt::WaitCursor);
    else if (look_.output) over->setCursor(Qt::IBeamCursor);
    else over->unsetCursor();
}

bool TQueryfrm::thinkingDisabledSetting() const {
    return IniFile(configFile()).readInt(profile().section, "DisableThinking", 0) != 0;
}

void TQueryfrm::readThinking() {
    const bool off = thinkingDisabledSetting();
    thinking()->setThinkingDisabled(off);
    action(QStringLiteral("Thinking1"))->setChecked(off);
}

void TQueryfrm::toggleThinking() {
    // The action has already inverted its check mark.
    const bool checked = action(QStringLiteral("Thinking1"))->isChecked();
    IniFile(configFile()).writeInt(profile().section, "DisableThinking", checked ? 1 : 0);
    readThinking();
}

std::unique_ptr<TQuickFinger> TQueryfrm::quickDialog(Origin origin) const {
    std::unique_ptr<TQuickFinger> d;
    if (look_.kind == QueryKind::Whois) d = std::make_unique<Tquickwhois>(const_cast<TQueryfrm*>(this));
    else d = std::make_unique<TQuickFinger>(const_cast<TQueryfrm*>(this));
    if (look_.kind == QueryKind::DayTime) {
        d->setHeading(QStringLiteral("Quick DayTime"));
        d->hideQuery();
        if (origin != Origin::History) d->setHostLabel(QStringLiteral("DayTime Server:"));
    }
    return d;
}

void TQueryfrm::ask(Origin origin, const QString& host, const QString& query) {
    if (busy()) return;
    std::unique_ptr<TQuickFinger> d = quickDialog(origin);
    d->setHost(host);
    d->setQuery(query);
    if (uiPrompter().exec(*d) != QDialog::Accepted) return;
    startQuery(d->host(), d->query(), origin == Origin::Synchronise);
}

void TQueryfrm::startQuery(const QString& host, const QString& query, bool synchronise) {
    // An empty host never reaches the network and leaves the window idle.
    if (!QueryEngine::hostAcceptable(toWire(host))) {
        beep();
        return;
    }
    QueryRequest request{toWire(host), toWire(query), port_, synchronise};
    run([e = engine_, request] { return e->run(request); },
        [this](const QueryResult& r) {
            queryEnded(r);
            updateCommands();
        });
}

void TQueryfrm::siteManager() {
    if (busy() || look_.siteEntry.isEmpty()) return;
    TSitefrm sites(look_.kind == QueryKind::Whois ? whoisSiteVariant() : fingerSiteVariant(), this);
    if (uiPrompter().exec(sites) != QDialog::Accepted) return;
    const std::optional<SiteChoice> c = sites.choice();
    if (!c) return;
    ask(Origin::SiteManager, fromWire(c->site.Address), fromWire(c->site.Login));
}

void TQueryfrm::quick() { ask(Origin::Quick, {}, {}); }

void TQueryfrm::fromHistory(const QString& host) { ask(Origin::History, host, {}); }

void TQueryfrm::cancelQuery() {
    if (busy()) abort();
    else setStatus(QString::fromLatin1(kStatusNotConnected));
    updateCommands();
}

void TQueryfrm::copy() { info()->copy(); }
void TQueryfrm::selectAll() { info()->selectAll(); }

void TQueryfrm::clearOutput() {
    info()->clearLines();
    updateCommands();
}

void TQueryfrm::print() {
    if (info()->lineCount() == 0) return;
    QString error;
    if (!printLines(look_.printTitle, info()->lines(), &error)) uiPrompter().message(toWire(error));
}

void TQueryfrm::saveToFile() {
    QFileDialog dialog(this, look_.saveTitle);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(QStringLiteral("Text Files (*.txt)"));
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    dialog.setDirectory(QDir::homePath());
    dialog.selectFile(look_.saveFile);
    if (uiPrompter().exec(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    // Written whole or not at all: a failed save leaves an older file as it was.
    QSaveFile f(dialog.selectedFiles().first());
    bool ok = f.open(QIODevice::WriteOnly);
    for (const QString& l : info()->lines()) {
        if (!ok) break;
        const std::string bytes = toWire(l) + "\r\n";
        ok = f.write(bytes.data(), static_cast<qint64>(bytes.size())) == static_cast<qint64>(bytes.size());
    }
    if (ok) ok = f.commit();
    else f.cancelWriting();
    if (!ok) uiPrompter().message(toWire(QStringLiteral("I/O error: %1").arg(f.errorString())));
}

void TQueryfrm::applyPort(const QString& typed) {
    bool ok = false;
    long long v = typed.trimmed().toLongLong(&ok);
    if (!ok) v = 0;
    port_ = storeQueryPort(profile(), queryPortFile(profile()), v);
    portBox_->setText(QString::number(port_));
}

void TQueryfrm::setPortCommand() {
    const std::optional<std::string> answer = uiPrompter().input(toWire(look_.setPortCaption), kPortPrompt, {});
    if (!answer || answer->empty()) return;
    const QString text = fromWire(*answer);
    bool ok = false;
    text.trimmed().toLongLong(&ok);
    if (!ok) {
        uiPrompter().message(toWire(QStringLiteral("'%1' is not a valid integer value").arg(text)));
        return;
    }
    portBox_->setText(text.trimmed());
    applyPort(text);
}

void TQueryfrm::about() { uiPrompter().message(std::string(kAppTitle) + " " + product::kVersion); }

void TQueryfrm::visitWebSite() { QDesktopServices::openUrl(QUrl(QString::fromLatin1(product::kWebSite))); }

} // namespace vn
