#include "ftp/explorer/SessionList.h"

#include <QLineEdit>
#include <QTimer>

#include "common/ui/UiPrompter.h"
#include "common/ui/WireText.h"
#include "ftp/engine/QuickHost.h"
#include "ftp/explorer/FolderNavigator.h"
#include "ftp/explorer/TQuickfrm.h"
#include "sites/SiteConnect.h"
#include "sites/ui/TSitefrm.h"

namespace vn {

SessionList::SessionList(ExplorerParts& parts, FolderNavigator& folder, QObject* parent)
    : QObject(parent), parts_(parts), folder_(folder) {}

void SessionList::stopKeepAlives() {
    for (auto& [id, t] : keepAlive_) t->stop();
}

void SessionList::setKeepAliveInterval(int seconds) {
    noopInterval_ = seconds;
    // Sessions already open follow at once; 0 stops their keep-alives.
    for (auto& [id, t] : keepAlive_) {
        if (seconds <= 0) t->stop();
        else if (!t->isActive() || t->interval() != seconds * 1000) t->start(seconds * 1000);
    }
}

void SessionList::opened(const SessionInfo& info, const std::optional<std::vector<ListingEntry>>& entries) {
    parts_.tree.addServerChain(info, connectingLogin_, entries ? &*entries : nullptr);
    folder_.sessionOpened(info, entries);
    if (noopInterval_ > 0) {
        auto* t = new QTimer(this);
        t->setInterval(noopInterval_ * 1000);
        SessionId id = info.id;
        connect(t, &QTimer::timeout, this, [this, id] { keepAliveTick(id); });
        t->start();
        keepAlive_[id] = t;
    }
    parts_.host.refreshCommands();
}

void SessionList::closed(SessionId id) {
    if (auto it = keepAlive_.find(id); it != keepAlive_.end()) {
        it->second->stop();
        it->second->deleteLater();
        keepAlive_.erase(it);
    }
    parts_.tree.removeServer(id);
    folder_.sessionClosed(id);
    parts_.host.refreshCommands();
}

void SessionList::keepAliveTick(SessionId id) {
    // The keep-alive never interrupts: it does nothing while the window is busy.
    if (parts_.host.busy()) return;
    parts_.run([e = &parts_.engine, id] { e->fesNOOP(id); }, [] {}, true);
}

void SessionList::runQuickDialog(TQuickfrm& dialog, bool passwordAsTyped) {
    if (uiPrompter().exec(dialog) != QDialog::Accepted) return;
    ConnectParams p;
    p.host = toWire(dialog.host());
    p.login = toWire(dialog.login());
    p.password = passwordAsTyped ? toWire(dialog.password()) : dialog.connectPassword();
    p.passive = dialog.passive();
    p.port = dialog.port();
    p.siteName = "FTP";
    p.security = dialog.security();
    connectAndOpen(p, {}, RetryStyle::Quick, dialog.transferType(), toWire(dialog.remoteDir().trimmed()));
}

void SessionList::connectAndOpen(const ConnectParams& p, const std::vector<std::string>& alternates,
                                 RetryStyle style, int transferType, const std::string& remoteDir) {
    connectingLogin_ = p.login;
    parts_.run([e = &parts_.engine, p, alternates, style] { return e->connectWithRetries(p, alternates, style); },
               [this, remoteDir, transferType](const std::optional<SessionId>& id) {
                   if (!id) return;
                   if (transferType >= 0 && transferType < 3) parts_.host.pressTransferType(transferType);
                   if (!remoteDir.empty()) folder_.openPath(remoteDir, *id);
               });
}

void SessionList::siteManager() {
    if (parts_.host.busy()) return;
    TSitefrm dialog(parts_.host.hostWidget());
    if (uiPrompter().exec(dialog) != QDialog::Accepted) return;
    std::optional<SiteChoice> c = dialog.choice();
    if (!c) return;
    connectAndOpen(siteConnectParams(c->site, c->email, c->security), siteAlternates(c->site), RetryStyle::SiteManager,
                   c->site.TransferType, c->site.RemoteDir);
}

void SessionList::quick() {
    if (parts_.host.busy()) return;
    TQuickfrm dialog(parts_.host.hostWidget());
    runQuickDialog(dialog, false);
}

void SessionList::quickTo(const QString& host) {
    if (parts_.host.busy()) return;
    TQuickfrm dialog(parts_.host.hostWidget());
    dialog.setHost(host);
    runQuickDialog(dialog, true);
}

void SessionList::quickFromParameter(const QString& parameter) {
    if (parts_.host.busy()) return;
    TQuickfrm dialog(parts_.host.hostWidget());
    dialog.setHost(fromWire(mostrarQuickHost(toWire(parameter))));
    runQuickDialog(dialog, true);
}

void SessionList::quickPreset(const QuickPreset& preset) {
    if (parts_.host.busy()) return;
    TQuickfrm dialog(parts_.host.hostWidget());
    dialog.setHost(preset.host);
    auto set = [&](const char* name, const QString& text) {
        if (text.isEmpty()) return;
        if (auto* e = dialog.findChild<QLineEdit*>(QString::fromLatin1(name))) e->setText(text);
    };
    set("LoginEdit", preset.login);
    set("PasswordEdit", preset.password);
    set("remotediredit", preset.remoteDir);
    if (preset.security) dialog.setSecurity(*preset.security);
    if (preset.port > 0) set("PortEdit", QString::number(preset.port));
    runQuickDialog(dialog, true);
}

void SessionList::quit(SessionId id, const QString& caption) {
    if (!uiPrompter().askYesNo(toWire(QStringLiteral("Do you confirm that you want to Quit '%1'?").arg(caption))))
        return;
    parts_.run([e = &parts_.engine, id] { e->DesConnecta(id); });
}

void SessionList::quitCurrent() {
    if (parts_.host.busy()) return;
    if (!folder_.remote()) {
        parts_.host.beep();
        return;
    }
    QTreeWidgetItem* server = parts_.tree.serverNode(folder_.session());
    quit(folder_.session(), server ? server->text(0) : QString());
}

void SessionList::logout(QTreeWidgetItem* node) {
    if (parts_.host.busy()) return;
    QTreeWidgetItem* top = parts_.tree.topLevelOf(node);
    const TNodeInfo* n = parts_.tree.nodeInfo(top);
    if (!n || !n->remote()) return;
    quit(n->session, top->text(0));
}

void SessionList::togglePassive() {
    if (parts_.host.busy() || !folder_.remote()) return;
    const bool pasv = !folder_.pasv();
    const int port = folder_.pasvPort();
    const SessionId id = folder_.session();
    parts_.tree.FormatejaTreePASV(parts_.tree.serverNode(id), pasv, port);
    folder_.setPasv(pasv);
    parts_.run([e = &parts_.engine, id, pasv, port] { e->setPassive(id, pasv, port); });
}

} // namespace vn
