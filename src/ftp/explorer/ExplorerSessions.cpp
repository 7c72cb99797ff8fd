// The FTP window's sessions: connecting through the quick connection and the
// Site Manager, each server node with its keep-alive, and quitting them.
#include "ftp/explorer/TFTPfrm.h"

#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <QToolButton>

#include "common/ui/UiPrompter.h"
#include "common/ui/WireText.h"
#include "ftp/engine/QuickHost.h"
#include "ftp/explorer/TQuickfrm.h"
#include "sites/SiteConnect.h"
#include "sites/ui/TSitefrm.h"

namespace vn {

namespace {

std::string asFolder(std::string path) {
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

} // namespace

void TFTPfrm::buildServerChain(const SessionInfo& info, const Entries& entries) {
    Tree->addServerChain(info, connectingLogin_, entries ? &*entries : nullptr);
    currentDir_ = asFolder(info.workingDir);
    currentSession_ = info.id;
    currentIp_ = info.dotted;
    currentPasv_ = info.passive;
    currentPasvPort_ = 0;
    if (entries) fillRemoteList(*entries, currentDir_);
    else model_->clear();
    if (noopInterval_ > 0) {
        auto* t = new QTimer(this);
        t->setInterval(noopInterval_ * 1000);
        SessionId id = info.id;
        connect(t, &QTimer::timeout, this, [this, id] { fesNOOPTick(id); });
        t->start();
        keepAlive_[id] = t;
    }
    HabilitarBotons();
}

void TFTPfrm::removeServerNode(SessionId id) {
    if (auto it = keepAlive_.find(id); it != keepAlive_.end()) {
        it->second->stop();
        it->second->deleteLater();
        keepAlive_.erase(it);
    }
    Tree->removeServer(id);
    if (currentSession_ == id) {
        model_->clear();
        if (const TNodeInfo* n = nodeInfo(Tree->currentItem())) {
            takeCurrentFrom(*n);
            if (!n->remote()) MostrarFitxers(RetornaDirectori(*n));
            else mousetimer->start(50);
        } else {
            currentDir_.clear();
            currentSession_ = 0;
        }
    }
    HabilitarBotons();
}

void TFTPfrm::fesNOOPTick(SessionId id) {
    // The keep-alive never interrupts: it does nothing while the window is busy.
    if (busy()) return;
    startOperation([e = engine_, id] { e->fesNOOP(id); }, false);
}

void TFTPfrm::runQuickDialog(TQuickfrm& dialog, bool passwordAsTyped) {
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

void TFTPfrm::connectAndOpen(const ConnectParams& p, const std::vector<std::string>& alternates, RetryStyle style,
                             int transferType, const std::string& remoteDir) {
    connectingLogin_ = p.login;
    auto id = std::make_shared<std::optional<SessionId>>();
    startOperation([e = engine_, p, alternates, style, id] { *id = e->connectWithRetries(p, alternates, style); },
                   true, [this, id, remoteDir, transferType] {
                       if (!*id) return;
                       const char* names[] = {"ASCIISB", "BinarySB", "AutoTYPESB"};
                       if (transferType >= 0 && transferType < 3)
                           button(QString::fromLatin1(names[transferType]))->click();
                       if (!remoteDir.empty()) ObrirSubdirectoris(remoteDir, **id);
                   });
}

void TFTPfrm::ConnectarAServidorSBClick() {
    if (busy()) return;
    TSitefrm dialog(this);
    if (uiPrompter().exec(dialog) != QDialog::Accepted) return;
    std::optional<SiteChoice> c = dialog.choice();
    if (!c) return;
    connectAndOpen(siteConnectParams(c->site, c->email, c->security), siteAlternates(c->site), RetryStyle::SiteManager,
                   c->site.TransferType, c->site.RemoteDir);
}

void TFTPfrm::QuickSBClick() {
    if (busy()) return;
    TQuickfrm dialog(this);
    runQuickDialog(dialog, false);
}

void TFTPfrm::FesConnectar(const QString& host) {
    if (busy()) return;
    TQuickfrm dialog(this);
    dialog.setHost(host);
    runQuickDialog(dialog, true);
}

void TFTPfrm::mostrarQuick(const QString& parameter) {
    if (busy()) return;
    TQuickfrm dialog(this);
    dialog.setHost(fromWire(mostrarQuickHost(toWire(parameter))));
    runQuickDialog(dialog, true);
}

void TFTPfrm::mostrarQuick(const QuickPreset& preset) {
    if (busy()) return;
    TQuickfrm dialog(this);
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

void TFTPfrm::FTPMenuPopup() { emit FTPMenu->aboutToShow(); }

void TFTPfrm::QuitSBClick() {
    if (busy()) return;
    if (currentSession_ == 0) {
        beeps();
        return;
    }
    SessionId id = currentSession_;
    QTreeWidgetItem* server = Tree->serverNode(id);
    const QString caption = server ? server->text(0) : QString();
    if (!uiPrompter().askYesNo(toWire(QStringLiteral("Do you confirm that you want to Quit '%1'?").arg(caption))))
        return;
    startOperation([e = engine_, id] { e->DesConnecta(id); });
}

void TFTPfrm::Logout1Click() {
    if (busy()) return;
    QTreeWidgetItem* at = nodeById(popupNode_);
    QTreeWidgetItem* top = Tree->topLevelOf(at ? at : Tree->currentItem());
    popupNode_ = 0;
    const TNodeInfo* n = nodeInfo(top);
    if (!n || !n->remote()) return;
    SessionId id = n->session;
    QString caption = top->text(0);
    if (!uiPrompter().askYesNo(toWire(QStringLiteral("Do you confirm that you want to Quit '%1'?").arg(caption))))
        return;
    startOperation([e = engine_, id] { e->DesConnecta(id); });
}

void TFTPfrm::pasvmode1Click() {
    if (busy() || currentSession_ == 0) return;
    QTreeWidgetItem* top = Tree->serverNode(currentSession_);
    bool pasv = !currentPasv_;
    int port = currentPasvPort_;
    FormatejaTreePASV(top, pasv, port);
    currentPasv_ = pasv;
    SessionId id = currentSession_;
    startOperation([e = engine_, id, pasv, port] { e->setPassive(id, pasv, port); });
}

} // namespace vn
