#include "telnet/ui/TTelnet2frm.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMdiSubWindow>
#include <QMenu>
#include <QLayout>
#include <QMenuBar>
#include <QSaveFile>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

#include "common/DataFolder.h"
#include "common/IniFile.h"
#include "common/ui/Gauges.h"
#include "common/ui/InfoBox.h"
#include "common/ui/ThinkingIndicator.h"
#include "common/ui/UiPrompter.h"
#include "common/ui/UiSink.h"
#include "common/ui/WireText.h"
#include "common/History.h"
#include "shell/ProductInfo.h"
#include "sites/ui/SiteManagerVariant.h"
#include "sites/ui/TSitefrm.h"
#include "telnet/ui/TelnetDialogs.h"
#include "telnet/ui/TelnetPrint.h"
#include "telnet/ui/TerminalView.h"

namespace vn::telnet {

// The session's reports, on the UI thread; screen changes are folded into
// one repaint per turn of the event loop, whatever the rate of the server.
class TTelnet2frm::Sink : public UiSink<TelnetSink> {
public:
    explicit Sink(TTelnet2frm* w) : UiSink<TelnetSink>(w), window_(w) {}
    void connecting(const std::string& host) override {
        forwarder().post([h = fromWire(host)](ToolWindow& w) {
            w.setWindowTitle(QString::fromLatin1(kTelnetCaption) + QStringLiteral(" : ") + h);
        });
    }
    void connected(const std::string& host) override {
        forwarder().post([h = fromWire(host)](ToolWindow& w) { static_cast<TTelnet2frm&>(w).connectionStands(h); });
    }
    void screenChanged() override {
        if (repaintPending_.exchange(true)) return;
        forwarder().post([this](ToolWindow& w) {
            repaintPending_ = false;
            static_cast<TTelnet2frm&>(w).view_->refresh();
        });
    }
    // Worker, screen locked: only the log file is touched.
    void screenText(std::string_view utf8) override { window_->writeLog(utf8); }

private:
    TTelnet2frm* window_;
    std::atomic<bool> repaintPending_{false};
};

TTelnet2frm::TTelnet2frm(QWidget* parent)
    : ToolWindow({QStringLiteral("Telnet2frm"), QString::fromLatin1(kTelnetCaption), QStringLiteral("telnet.html")},
                 parent) {
    sink_ = &own(std::make_unique<Sink>(this));
    session_ = &own(std::make_unique<TelnetSession>(*sink_));
    session_->clearEmulationSeen();

    view_ = new TerminalView(*session_, this);
    gauges()->hide();
    info()->hide();
    buildCommands();
    setCentralWidget(view_);
    readSettings();
    session_->eraseFromCursor(); // a fresh window: from 1,1, the whole buffer
    setStatus(QString::fromLatin1(kStatusNotConnected));
    finishSetup();
    // A connection keeps the window busy for as long as it stands: no Thinking indicator here.
    for (QAction* a : toolBar()->actions())
        if (toolBar()->widgetForAction(a) == thinking()) a->setVisible(false);
    fitToTerminal();
    setFocusProxy(view_);
}

TTelnet2frm::~TTelnet2frm() {
    // The worker reports into this object: end the connection and join it
    // before anything of the window goes.
    session_->shutdown();
    for (OperationRunner* r : runners()) r->stop();
    if (log_) std::fclose(log_);
}

void TTelnet2frm::buildCommands() {
    auto idle = [this] { return !busy(); };
    auto logClosed = [this] { return !logging(); };
    auto logOpen = [this] { return logging(); };
    commands().add({
        {"SiteManager1", QStringLiteral("Telnet &Site Manager"), QKeySequence(Qt::CTRL | Qt::Key_S),
         [this] { siteManager(); }, QStringLiteral("Connect to a Telnet Server (Site Manager)"), idle},
        {"Quick1", QStringLiteral("&Quick Connection"), QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { quickConnection(); },
         QStringLiteral("Quick Connection"), idle},
        {"Logout1", QStringLiteral("Log&out"), QKeySequence(Qt::CTRL | Qt::Key_L), [this] { logout(); },
         QStringLiteral("Logout (QUIT)"), {}, false, true},
        {"Close1", QStringLiteral("&Close"), {}, [this] { closeWindow(); }, {}, {}, false, true},
        {"Copy1", QStringLiteral("&Copy"), QKeySequence(Qt::CTRL | Qt::Key_K), [this] { copyScreen(); },
         QStringLiteral("Copy"), {}, false, true},
        {"CopyLine1", QStringLiteral("Copy Current &Line"), {}, [this] { copyLine(); }, {}, {}, false, true},
        {"Paste1", QStringLiteral("&Paste"), QKeySequence(Qt::CTRL | Qt::Key_P), [this] { paste(); },
         QStringLiteral("Paste"), {}, false, true},
        {"EraseLine1", QStringLiteral("Erase Line [E&L]"), QKeySequence(Qt::CTRL | Qt::Key_Y), [this] { eraseLine(); },
         {}, {}, false, true},
        {"SaveScreen1", QStringLiteral("Save Screen To &File"), QKeySequence(Qt::CTRL | Qt::Key_F),
         [this] { saveScreen(); }, {}, {}, false, true},
        {"Print1", QStringLiteral("P&rint Screen"), QKeySequence(Qt::CTRL | Qt::Key_R), [this] { printScreenCommand(); },
         QStringLiteral("Print Screen"), {}, false, true},
        {"OpenLog1", QStringLiteral("Open &Log File"), {}, [this] { openLog(); }, {}, logClosed, false, true},
        {"CloseLog1", QStringLiteral("&Close Log File"), {}, [this] { closeLog(); }, {}, logOpen, false, true},
        {"Options1", QStringLiteral("&Options"), QKeySequence(Qt::CTRL | Qt::Key_O), [this] { options(); },
         QStringLiteral("Telnet Options"), {}, false, true},
        {"About1", QStringLiteral("&About..."), {}, [this] { about(); }, {}, {}, false, true},
        {"Visit1", QStringLiteral("&Visit Varnelo FTP Suite Web Site"), QKeySequence(Qt::CTRL | Qt::Key_W),
         [this] { visitWebSite(); }, {}, {}, false, true},
    });

    sessionMenu_ = menuBar()->addMenu(QStringLiteral("Telnet Session"));
    sessionMenu_->setObjectName(QStringLiteral("SessionMenu"));
    commands().fill(sessionMenu_, {"SiteManager1", "Quick1", "Logout1"});
    lastHosts_ = sessionMenu_->addMenu(QStringLiteral("Last Hosts &Visited"));
    lastHosts_->setObjectName(QStringLiteral("LastHostsVisited1"));
    commands().fill(sessionMenu_, {"", "Close1"});
    setHistoryMenu(
        lastHosts_, [] {
            IniFile ini(configFile());
            return History(ini, kTelnetHistory).entries();
        },
        [this](const QString& host) { fromHistory(host); });
    QMenu* edit = menuBar()->addMenu(QStringLiteral("Edit"));
    edit->setObjectName(QStringLiteral("EditMenu"));
    commands().fill(edit, {"Copy1", "CopyLine1", "Paste1", "", "EraseLine1"});
    QMenu* misc = menuBar()->addMenu(QStringLiteral("Miscellaneous"));
    misc->setObjectName(QStringLiteral("MiscMenu"));
    commands().fill(misc, {"SaveScreen1", "Print1", "", "OpenLog1", "CloseLog1", "", "Options1"});
    QMenu* help = menuBar()->addMenu(QStringLiteral("Help"));
    help->setObjectName(QStringLiteral("HelpMenu"));
    commands().fill(help, {"Contents1", "About1", "", "Visit1"});
    for (QMenu* m : {sessionMenu_, edit, misc}) connect(m, &QMenu::aboutToShow, this, &ToolWindow::updateCommands);

    commands().button(toolBar(), "ConnectarAServidorSB", "SiteManager1", QStringLiteral("Sites"));
    commands().button(toolBar(), "QuickSB", "Quick1", QStringLiteral("Quick"));
    commands().button(toolBar(), "QuitSB", "Logout1", QStringLiteral("Logout"));
    commands().button(toolBar(), "CopySB", "Copy1", QStringLiteral("Copy"));
    commands().button(toolBar(), "PasteSB", "Paste1", QStringLiteral("Paste"));
    commands().button(toolBar(), "PrintSB", "Print1", QStringLiteral("Print"));
    commands().button(toolBar(), "OptionsSB", "Options1", QStringLiteral("Options"));

    // The screen's pop-up menu.
    view_->setContextMenuPolicy(Qt::ActionsContextMenu);
    for (const char* name : {"Copy1", "CopyLine1", "Paste1", "EraseLine1", "SaveScreen1", "Print1"})
        view_->addAction(action(QString::fromLatin1(name)));
}

void TTelnet2frm::commandsUpdated(bool busy) {
    // The log entries follow the log file during a connection as well.
    if (!busy) return;
    for (const char* name : {"OpenLog1", "CloseLog1"}) {
        const CommandSpec* s = commands().definition(QString::fromLatin1(name));
        action(QString::fromLatin1(name))->setEnabled(s->enabled());
    }
}

void TTelnet2frm::readSettings() {
    settings_ = readTelnetSettings(IniFile(configFile()));
    view_->setLook(terminalFont(settings_), colorFromSetting(settings_.TerminalFontColor),
                   colorFromSetting(settings_.TerminalColor));
    session_->setLocalEcho(settings_.LocalEcho);
    session_->setClearScreen(settings_.ClearScreen);
}

// The window is as large as the terminal and its bars, and keeps that size
// (inside the main window, its frame too).
void TTelnet2frm::fitToTerminal() {
    view_->setFixedSize(view_->sizeHint());
    if (layout()) layout()->activate();
    setFixedSize(sizeHint().expandedTo(minimumSizeHint()));
    auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget());
    if (!sub) return;
    QSize frame = size().grownBy(sub->contentsMargins());
    if (sub->layout()) frame = frame.grownBy(sub->layout()->contentsMargins());
    sub->setFixedSize(frame);
}

void TTelnet2frm::showEvent(QShowEvent* event) {
    ToolWindow::showEvent(event);
    fitToTerminal();
}

bool TTelnet2frm::connectTo(const TelnetConnectRequest& request, bool addToHistory) {
    if (busy()) return false;
    if (request.host.empty()) {
        beep();
        return false;
    }
    addToHistory_ = addToHistory;
    view_->setFocus(Qt::OtherFocusReason);
    return run([s = session_, request] { return s->run(request); }, [this](const TelnetEnd& e) { ended(e); });
}

void TTelnet2frm::connectionStands(const QString& host) {
    if (addToHistory_) {
        IniFile ini(configFile());
        History(ini, kTelnetHistory).AfegirComAVisitat(toWire(host));
    }
    updateCommands();
}

void TTelnet2frm::ended(const TelnetEnd& end) {
    setWindowTitle(QString::fromLatin1(kTelnetCaption));
    view_->refresh();
    updateCommands();
    if (!end.message.empty() && closeState() == CloseState::Open) uiPrompter().message(end.message);
}

void TTelnet2frm::siteManager() {
    if (busy()) return;
    readSettings();
    session_->clearEmulationSeen();
    TSitefrm sites(telnetSiteVariant(), this);
    if (uiPrompter().exec(sites) != QDialog::Accepted) return;
    const std::optional<SiteChoice> c = sites.choice();
    if (!c) return;
    TelnetConnectRequest r;
    r.host = c->site.Address;
    r.port = static_cast<std::uint16_t>(c->site.Port >= 1 && c->site.Port <= 65535 ? c->site.Port
                                                                                  : settings_.TelnetPort);
    r.autoLogin = c->site.LoginType == 0;
    r.login = c->site.Login;
    r.password = c->site.Password;
    connectTo(r, true);
}

void TTelnet2frm::quickConnection() {
    if (busy()) return;
    TQuickTelnetfrm d(settings_.TelnetPort, settings_.LocalEcho, this);
    if (uiPrompter().exec(d) != QDialog::Accepted) return;
    session_->setLocalEcho(d.localEcho());
    TelnetConnectRequest r;
    r.host = toWire(d.host());
    r.port = static_cast<std::uint16_t>(d.port());
    connectTo(r, true);
}

void TTelnet2frm::fromHistory(const QString& host) {
    if (busy()) return;
    readSettings();
    TelnetConnectRequest r;
    r.host = toWire(host);
    r.port = static_cast<std::uint16_t>(settings_.TelnetPort >= 1 && settings_.TelnetPort <= 65535
                                            ? settings_.TelnetPort
                                            : 23);
    connectTo(r, false);
}

void TTelnet2frm::logout() { session_->logout(); }

void TTelnet2frm::aborting(bool closing) {
    // A close after the question lets the Logout finish (its grace timer ends it otherwise).
    if (closing) {
        if (!loggingOutOnClose_) session_->shutdown();
    } else {
        session_->abort();
    }
}

void TTelnet2frm::closeEvent(QCloseEvent* event) {
    if (closeState() == CloseState::Open && session_->connected() && !loggingOutOnClose_) {
        if (!uiPrompter().askYesNo(kCloseConnectionQuestion)) {
            event->ignore();
            return;
        }
        loggingOutOnClose_ = true;
        session_->logout();
        QTimer::singleShot(2000, this, [this] { session_->shutdown(); });
    }
    ToolWindow::closeEvent(event);
}

void TTelnet2frm::windowClosing() { closeLog(); }

void TTelnet2frm::copyScreen() {
    std::string text;
    {
        auto s = session_->screen();
        text = s->copyText();
    }
    QGuiApplication::clipboard()->setText(QString::fromUtf8(text.data(), qsizetype(text.size())));
}

void TTelnet2frm::copyLine() {
    std::string text;
    {
        auto s = session_->screen();
        text = s->rowText(std::clamp(s->cursor().row, 1, kBufferRows));
    }
    QGuiApplication::clipboard()->setText(QString::fromUtf8(text.data(), qsizetype(text.size())));
}

void TTelnet2frm::paste() {
    const QString text = QGuiApplication::clipboard()->text();
    if (text.isEmpty()) return;
    const QByteArray utf8 = text.toUtf8();
    session_->paste(std::string_view(utf8.constData(), std::size_t(utf8.size())));
}

void TTelnet2frm::eraseLine() { session_->eraseLine(); }

void TTelnet2frm::saveScreen() {
    QFileDialog dialog(this, QStringLiteral("Save Screen to File"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::DontConfirmOverwrite); // asked below, in the window's words
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDirectory(QString::fromStdString(dataFile("").string()));
    dialog.selectFile(QStringLiteral("telnet.log"));
    if (uiPrompter().exec(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const QString path = dialog.selectedFiles().first();
    if (QFileInfo::exists(path) && !uiPrompter().askYesNo(kOverwriteQuestion)) return;
    std::string text;
    {
        auto s = session_->screen();
        text = s->saveText();
    }
    // Written whole or not at all: a failed save leaves an older file as it was.
    QSaveFile f(path);
    bool ok = f.open(QIODevice::WriteOnly) &&
              f.write(text.data(), qint64(text.size())) == qint64(text.size());
    if (ok) ok = f.commit();
    else f.cancelWriting();
    if (!ok) uiPrompter().message(toWire(QStringLiteral("I/O error: %1").arg(f.errorString())));
}

void TTelnet2frm::printScreenCommand() {
    QStringList rows;
    {
        auto s = session_->screen();
        for (int r = 1; r <= kScreenRows; ++r) {
            const std::string row = s->rowText(r);
            rows << QString::fromUtf8(row.data(), qsizetype(row.size()));
        }
    }
    QString error;
    if (!printScreen(rows, &error)) uiPrompter().message(toWire(error));
}

bool TTelnet2frm::logging() const {
    std::lock_guard lock(logMutex_);
    return log_ != nullptr;
}

void TTelnet2frm::openLog() {
    if (logging()) return;
    QFileDialog dialog(this, QStringLiteral("Open Log File"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters({QStringLiteral("Log Files (*.log)"), QStringLiteral("Text Files (*.txt)"),
                           QStringLiteral("All Files (*)")});
    dialog.setDirectory(QString::fromStdString(dataFile("").string()));
    if (uiPrompter().exec(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const std::string path = dialog.selectedFiles().first().toStdString();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        uiPrompter().message("Cannot create the file \"" + path + "\".");
        return;
    }
    {
        std::lock_guard lock(logMutex_);
        log_ = f;
    }
    updateCommands();
}

void TTelnet2frm::closeLog() {
    std::FILE* f = nullptr;
    {
        std::lock_guard lock(logMutex_);
        std::swap(f, log_);
    }
    if (!f) return;
    std::fclose(f);
    updateCommands();
}

void TTelnet2frm::writeLog(std::string_view text) {
    std::lock_guard lock(logMutex_);
    if (!log_) return;
    std::fwrite(text.data(), 1, text.size(), log_);
    std::fputc('\n', log_);
    std::fflush(log_);
}

void TTelnet2frm::options() {
    TOptionsTelnetfrm d(this);
    const bool ok = uiPrompter().exec(d) == QDialog::Accepted;
    if (ok) readSettings();
    fitToTerminal();
}

void TTelnet2frm::about() { uiPrompter().message(std::string(kAppTitle) + " " + product::kVersion); }

void TTelnet2frm::visitWebSite() { QDesktopServices::openUrl(QUrl(QString::fromLatin1(product::kWebSite))); }

} // namespace vn::telnet
