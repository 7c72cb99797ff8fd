#include "ftp/explorer/FolderNavigator.h"

#include <sys/stat.h>

#include <QTimer>

#include "common/ui/Beeper.h"
#include "common/ui/WireText.h"
#include "ftp/explorer/LocalRoots.h"

namespace vn {

namespace {

std::string withSlash(std::string p) {
    if (p.empty() || p.back() != '/') p += '/';
    return p;
}

} // namespace

FolderNavigator::FolderNavigator(ExplorerParts& parts, QObject* parent) : QObject(parent), p_(parts) {
    timer_ = new QTimer(this);
    timer_->setObjectName(QStringLiteral("mousetimer"));
    connect(timer_, &QTimer::timeout, this, &FolderNavigator::loadCurrentNode);
}

void FolderNavigator::takeCurrentFrom(const TNodeInfo& n) {
    dir_ = RetornaDirectori(n);
    ip_ = n.Ip;
    session_ = n.session;
    pasv_ = n.Pasv;
    pasvPort_ = n.PASVPort;
}

void FolderNavigator::sessionOpened(const SessionInfo& info, const Entries& entries) {
    dir_ = withSlash(info.workingDir);
    session_ = info.id;
    ip_ = info.dotted;
    pasv_ = info.passive;
    pasvPort_ = 0;
    if (entries) fillRemoteList(*entries, dir_);
    else p_.model().clear();
}

void FolderNavigator::sessionClosed(SessionId id) {
    if (session_ != id) return;
    p_.model().clear();
    if (const TNodeInfo* n = p_.tree.nodeInfo(p_.tree.currentItem())) {
        takeCurrentFrom(*n);
        if (!n->remote()) showLocal(RetornaDirectori(*n));
        else timer_->start(50);
    } else {
        dir_.clear();
        session_ = 0;
    }
}

// ---------------------------------------------------------------- local

void FolderNavigator::showLocalRoots() {
    if (const TNodeInfo* n = p_.tree.nodeInfo(p_.tree.showLocalRoots())) showLocal(RetornaDirectori(*n));
}

bool FolderNavigator::showLocal(const std::string& path) {
    std::vector<FileItem> items;
    std::string p = withSlash(path);
    struct stat st{};
    folderOpen_ = stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && readLocalFolder(p, items);
    if (!folderOpen_) {
        updateStatus();
        return false;
    }
    dir_ = p;
    ip_.clear();
    pasv_ = false;
    pasvPort_ = -1;
    session_ = 0;
    p_.model().setItems(std::move(items), false);
    updateStatus();
    return true;
}

// ---------------------------------------------------------------- status

QString FolderNavigator::folderStatus() const {
    return QStringLiteral("%1 - [Total Files : %2] - [Selected Files : %3]")
        .arg(fromWire(dir_))
        .arg(p_.model().rowCount())
        .arg(p_.list.selectedCount());
}

void FolderNavigator::sortList(int column) {
    if (p_.host.busy()) {
        vn::beeps(std::string());
        return;
    }
    FileListModel& model = p_.model();
    switch (column) {
    case 0: model.sortBy(SortColumn::Name); break;
    case 1: model.sortBy(SortColumn::Size); break;
    case 2: model.sortBy(SortColumn::Type); break;
    case 3:
        if (remote()) p_.host.beep();
        else model.sortBy(SortColumn::Modified);
        break;
    default: p_.host.beep(); break;
    }
    updateStatus();
}

void FolderNavigator::updateStatus() { p_.host.setStatus(folderOpen_ ? folderStatus() : QString()); }

// ---------------------------------------------------------------- tree

void FolderNavigator::treeExpanding(QTreeWidgetItem* item) {
    if (p_.engine.connecting() && p_.host.busy()) return;
    const TNodeInfo* n = p_.tree.nodeInfo(item);
    if (!n) return;
    if (!n->remote()) {
        p_.tree.EsborrarDesde(item, false);
        p_.tree.MostrarDirectoris(item);
        return;
    }
    if (p_.host.busy()) {
        // One operation at a time: the node stays as it was, ready to expand later.
        p_.tree.setExpandedQuietly(item, false);
        return;
    }
    p_.tree.EsborrarDesde(item, false);
    listRemote(p_.tree.nodeIdOf(item), n->session, RetornaDirectori(*n), Target::Tree);
}

void FolderNavigator::treeCollapsed(QTreeWidgetItem* item) {
    const TNodeInfo* n = p_.tree.nodeInfo(item);
    if (!n) return;
    if (n->remote()) p_.tree.addPlaceholder(item);
    const std::string dir = RetornaDirectori(*n);
    // Local roots overlap ("/" holds home): the current node must also be
    // inside the collapsed one, not only its path.
    bool below = false;
    for (QTreeWidgetItem* p = p_.tree.currentItem(); p && !below; p = p->parent()) below = p->parent() == item;
    if (below && n->session == session_ && isSubfolder(dir_, dir)) {
        p_.tree.setCurrentQuietly(item);
        takeCurrentFrom(*n);
        timer_->start(100);
    }
}

void FolderNavigator::treeChanged() {
    if (p_.host.busy() || p_.engine.connecting() || p_.engine.listingBusy()) return;
    const TNodeInfo* n = p_.tree.nodeInfo(p_.tree.currentItem());
    if (!n) return;
    ip_ = n->Ip;
    pasv_ = n->Pasv;
    pasvPort_ = n->PASVPort;
    session_ = n->session;
    if (!timer_->isActive()) timer_->start(50);
    p_.host.refreshCommands();
}

void FolderNavigator::scheduleLoad(int ms) { timer_->start(ms); }

void FolderNavigator::stop() { timer_->stop(); }

void FolderNavigator::loadCurrentNode() {
    // Waits (the timer keeps running) until the window is idle.
    if (p_.host.busy() || p_.engine.listingBusy()) return;
    timer_->stop();
    p_.engine.wait().lowerCancel();
    QTreeWidgetItem* item = p_.tree.currentItem();
    const TNodeInfo* n = p_.tree.nodeInfo(item);
    if (!n) return;
    p_.model().clear();
    if (n->remote()) {
        listRemote(p_.tree.nodeIdOf(item), n->session, RetornaDirectori(*n), Target::List);
    } else {
        showLocal(RetornaDirectori(*n));
        takeCurrentFrom(*n);
        p_.host.refreshCommands();
    }
}

// ---------------------------------------------------------------- listings

void FolderNavigator::listRemote(NodeId node, SessionId sid, const std::string& folder, Target target,
                                 std::function<void(bool)> after) {
    struct Listed {
        Entries entries;
        bool cancelled = false;
    };
    const bool cwd = target != Target::Tree;
    bool started = p_.run(
        [e = &p_.engine, sid, folder, cwd] {
            Listed l;
            l.entries = e->fesLIST(sid, folder, cwd);
            l.cancelled = e->wait().cancelled();
            return l;
        },
        [this, node, sid, folder, target, after](const Listed& l) {
            applyListing(node, sid, folder, l.entries, target);
            if (after) after(l.entries.has_value() && !l.cancelled);
        });
    if (!started && after) after(false);
}

void FolderNavigator::applyListing(NodeId node, SessionId sid, const std::string& folder, const Entries& entries,
                                   Target target) {
    QTreeWidgetItem* item = p_.tree.nodeById(node);
    if (!p_.tree.serverNode(sid)) return; // the server went meanwhile: nothing of it is shown
    if (target != Target::List && item && entries) {
        p_.tree.EsborrarDesde(item, false);
        p_.tree.addRemoteChildren(item, *entries);
    }
    if (target != Target::Tree && !entries) {
        folderOpen_ = false;
        updateStatus();
    }
    if (target != Target::Tree && entries) {
        fillRemoteList(*entries, folder);
        session_ = sid;
        if (const TNodeInfo* n = p_.tree.nodeInfo(item)) {
            ip_ = n->Ip;
            pasv_ = n->Pasv;
            pasvPort_ = n->PASVPort;
        }
    }
    p_.host.refreshCommands();
}

void FolderNavigator::fillRemoteList(const std::vector<ListingEntry>& entries, const std::string& folder) {
    dir_ = withSlash(folder);
    folderOpen_ = true;
    p_.model().setItems(remoteItems(entries, dir_), true);
    updateStatus();
}

void FolderNavigator::passaListATree(const std::string& name) {
    QTreeWidgetItem* node = p_.tree.currentItem();
    const TNodeInfo* parent = p_.tree.nodeInfo(node);
    if (!parent) return;
    TNodeInfo base = *parent;
    base.Ip = ip_;
    base.session = session_;
    base.Pasv = pasv_;
    base.PASVPort = pasvPort_;
    p_.tree.addListedFolders(node, p_.model().items(), base, dir_, name);
}

void FolderNavigator::reloadNode(QTreeWidgetItem* n) {
    if (!n) return;
    // Expanding reloads the node's children, the new folders among them.
    p_.tree.EsborrarDesde(n, false);
    p_.tree.addPlaceholder(n);
    n->setExpanded(false);
    n->setExpanded(true);
}

// ---------------------------------------------------------------- opening

void FolderNavigator::openPath(const std::string& path, SessionId session, std::function<void()> opened) {
    if (path.empty()) return;
    std::string p = withSlash(path[0] == '/' ? path : "/" + path);
    openPathStep(p, session, 1, std::move(opened));
}

void FolderNavigator::openPathStep(std::string path, SessionId session, std::size_t pos,
                                   std::function<void()> opened) {
    // The prefixes "/", "/a/", "/a/b/" ... each select their node and reload it.
    std::size_t next = path.find('/', pos);
    std::string prefix = path.substr(0, pos);
    QTreeWidgetItem* item = p_.tree.findNode(prefix, session);
    bool more = next != std::string::npos;
    if (item) p_.tree.setCurrentQuietly(item);
    if (item && more) {
        NodeId id = p_.tree.nodeIdOf(item);
        const TNodeInfo* n = p_.tree.nodeInfo(item);
        auto goOn = [this, id, path, session, next, opened] {
            if (QTreeWidgetItem* again = p_.tree.nodeById(id)) p_.tree.expandAsIs(again);
            openPathStep(path, session, next + 1, opened);
        };
        p_.tree.EsborrarDesde(item, false);
        if (n->remote()) {
            listRemote(id, session, prefix, Target::Tree, [this, goOn](bool ok) {
                if (ok && !p_.engine.wait().cancelled()) goOn();
            });
        } else {
            p_.tree.MostrarDirectoris(item);
            goOn();
        }
        return;
    }
    // The whole path into the list.
    if (session != 0) {
        listRemote(p_.tree.nodeIdOf(p_.tree.currentItem()), session, path, Target::List, [opened](bool ok) {
            if (ok && opened) opened();
        });
    } else if (showLocal(path)) {
        p_.host.refreshCommands();
        if (opened) opened();
    }
}

void FolderNavigator::openFolderItem(int row) {
    QTreeWidgetItem* node = p_.tree.currentItem();
    const FileItem it = p_.model().item(row);
    const std::string target = dir_ + it.name + "/";
    if (session_ != 0) {
        if (node->isExpanded()) {
            for (int i = 0; i < node->childCount(); ++i) {
                const TNodeInfo* c = p_.tree.nodeInfo(node->child(i));
                if (c && RetornaDirectori(*c) == target) {
                    p_.tree.setCurrentQuietly(node->child(i));
                    break;
                }
            }
        } else {
            passaListATree(it.name);
        }
        listRemote(p_.tree.nodeIdOf(p_.tree.currentItem()), session_, target, Target::List);
        return;
    }
    if (!showLocal(target)) return;
    if (node->childCount() == 1 && p_.tree.isPlaceholder(node->child(0))) node->setExpanded(true);
    for (int i = 0; i < node->childCount(); ++i) {
        const TNodeInfo* c = p_.tree.nodeInfo(node->child(i));
        if (c && c->DirNom == it.name) {
            p_.tree.setCurrentQuietly(node->child(i));
            break;
        }
    }
    p_.host.refreshCommands();
}

void FolderNavigator::refresh() {
    if (p_.host.busy()) return;
    p_.engine.wait().lowerCancel();
    if (dir_.empty()) return;
    if (session_ != 0) {
        listRemote(p_.tree.nodeIdOf(p_.tree.currentItem()), session_, dir_, Target::List);
    } else {
        showLocal(dir_);
        p_.host.refreshCommands();
    }
}

void FolderNavigator::up() {
    if (p_.host.busy()) return;
    p_.engine.wait().lowerCancel();
    QTreeWidgetItem* item = p_.tree.currentItem();
    QTreeWidgetItem* parent = item ? item->parent() : nullptr;
    const TNodeInfo* pn = p_.tree.nodeInfo(parent);
    if (!pn) {
        p_.host.beep();
        return;
    }
    p_.tree.setCurrentQuietly(parent);
    p_.model().clear();
    if (!pn->remote()) {
        showLocal(RetornaDirectori(*pn));
        takeCurrentFrom(*pn);
        p_.host.refreshCommands();
        return;
    }
    struct Listed {
        std::string where;
        Entries entries;
    };
    NodeId pid = p_.tree.nodeIdOf(parent);
    SessionId sid = pn->session;
    p_.run(
        [e = &p_.engine, sid, dir = RetornaDirectori(*pn)] {
            Listed l{dir, std::nullopt};
            // CWD to the folder shown first: the server's own working folder may be elsewhere.
            e->fesCDUP(sid);
            if (auto info = e->sessionInfo(sid)) l.where = info->workingDir;
            if (!e->wait().cancelled()) l.entries = e->fesLIST(sid, l.where, true);
            return l;
        },
        [this, pid, sid](const Listed& l) { applyListing(pid, sid, l.where, l.entries, Target::List); });
}

void FolderNavigator::fullExpand() {
    if (p_.host.busy()) return;
    p_.engine.wait().lowerCancel();
    std::vector<NodeId> pending;
    for (int i = 0; i < p_.tree.topLevelItemCount(); ++i) pending.push_back(p_.tree.nodeIdOf(p_.tree.topLevelItem(i)));
    fullExpandStep(std::move(pending));
}

void FolderNavigator::fullExpandStep(std::vector<NodeId> pending) {
    ExplorerTree& tree = p_.tree;
    // One node per step, so the window stays live and Abort can stop it.
    while (!pending.empty()) {
        if (p_.engine.wait().cancelled()) return;
        NodeId id = pending.front();
        pending.erase(pending.begin());
        QTreeWidgetItem* item = tree.nodeById(id);
        const TNodeInfo* n = tree.nodeInfo(item);
        if (!n || n->symlink || n->kind == NodeKind::RemoteLink) continue;
        auto children = [&tree](QTreeWidgetItem* it, std::vector<NodeId>& into) {
            std::vector<NodeId> kids;
            for (int i = 0; i < it->childCount(); ++i)
                if (NodeId k = tree.nodeIdOf(it->child(i))) kids.push_back(k);
            into.insert(into.begin(), kids.begin(), kids.end());
        };
        if (n->remote()) {
            tree.EsborrarDesde(item, false);
            listRemote(id, n->session, RetornaDirectori(*n), Target::Tree, [this, id, pending, children](bool ok) {
                auto rest = pending;
                if (!ok || p_.engine.wait().cancelled()) return;
                if (QTreeWidgetItem* again = p_.tree.nodeById(id)) {
                    if (again->childCount() > 0) p_.tree.expandAsIs(again);
                    else again->setExpanded(true);
                    children(again, rest);
                }
                fullExpandStep(std::move(rest));
            });
            return;
        }
        item->setExpanded(true); // loads the level
        if (item->childCount() > 0 && tree.isPlaceholder(item->child(0)) && item->childCount() == 1) {
            tree.EsborrarDesde(item, false);
            tree.MostrarDirectoris(item);
        }
        children(item, pending);
        QTimer::singleShot(0, this, [this, pending] { fullExpandStep(pending); });
        return;
    }
}

} // namespace vn
