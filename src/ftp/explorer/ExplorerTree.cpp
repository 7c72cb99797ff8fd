#include "ftp/explorer/ExplorerTree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <QDir>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>

#include "common/ui/WireText.h"
#include "ftp/explorer/LocalRoots.h"
#include "ftp/explorer/NameDelegate.h"

namespace vn {

// A folder node; it unregisters itself however it is deleted, so a lookup by
// id never finds a dead node.
class ExplorerTree::NodeItem : public QTreeWidgetItem {
public:
    static constexpr int Type = QTreeWidgetItem::UserType + 1;
    NodeItem(ExplorerTree* t, NodeId id, TNodeInfo info) : QTreeWidgetItem(Type), t_(t), id_(id), info_(std::move(info)) {}
    ~NodeItem() override { t_->nodes_.erase(id_); }
    bool operator<(const QTreeWidgetItem& other) const override {
        if (other.type() != Type) return false;
        return treeLess(info_, static_cast<const NodeItem&>(other).info_);
    }
    ExplorerTree* t_;
    NodeId id_;
    TNodeInfo info_;
};

ExplorerTree::ExplorerTree(QWidget* parent) : QTreeWidget(parent) {
    setObjectName(QStringLiteral("Tree"));
    setAccessibleName(QStringLiteral("Folders"));
    setHeaderHidden(true);
    setContextMenuPolicy(Qt::CustomContextMenu);
    // Names are edited only through the window's own checks (Rename, F2).
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    names_ = new NameDelegate(this);
    names_->committed = [this](const QPersistentModelIndex&, const QString& text) {
        editing_ = false;
        emit nameEdited(editNode_, text);
    };
    names_->cancelled = [this](const QPersistentModelIndex&) {
        editing_ = false;
        emit editCancelled();
    };
    setItemDelegate(names_);
    connect(this, &QTreeWidget::currentItemChanged, this, [this] {
        if (!applying_) emit currentNodeChanged();
    });
    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* i) {
        if (!applying_ && !skipExpand_) emit nodeExpanding(i);
    });
    connect(this, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* i) {
        if (!applying_) emit nodeCollapsed(i);
    });
}

ExplorerTree::~ExplorerTree() {
    // The nodes unregister from nodes_, which must still be there.
    applying_ = true;
    clear();
}

// ---------------------------------------------------------------- look-ups

const TNodeInfo* ExplorerTree::nodeInfo(const QTreeWidgetItem* item) const {
    if (!item || item->type() != NodeItem::Type) return nullptr;
    return &static_cast<const NodeItem*>(item)->info_;
}

NodeId ExplorerTree::nodeIdOf(const QTreeWidgetItem* item) const {
    if (!item || item->type() != NodeItem::Type) return 0;
    return static_cast<const NodeItem*>(item)->id_;
}

QTreeWidgetItem* ExplorerTree::nodeById(NodeId id) const {
    auto it = nodes_.find(id);
    return it == nodes_.end() ? nullptr : it->second;
}

bool ExplorerTree::isPlaceholder(const QTreeWidgetItem* item) const { return item && item->type() != NodeItem::Type; }

std::vector<QTreeWidgetItem*> ExplorerTree::serverNodes() const {
    std::vector<QTreeWidgetItem*> out;
    for (int i = 0; i < topLevelItemCount(); ++i) {
        const TNodeInfo* n = nodeInfo(topLevelItem(i));
        if (n && n->kind == NodeKind::Server) out.push_back(topLevelItem(i));
    }
    return out;
}

QTreeWidgetItem* ExplorerTree::serverNode(SessionId session) const {
    QTreeWidgetItem* found = nullptr;
    for (QTreeWidgetItem* s : serverNodes())
        if (nodeInfo(s)->session == session) found = s;
    return found;
}

QTreeWidgetItem* ExplorerTree::topLevelOf(QTreeWidgetItem* item) const {
    while (item && item->parent()) item = item->parent();
    return item;
}

QTreeWidgetItem* ExplorerTree::findNode(const std::string& path, SessionId session) const {
    std::vector<QTreeWidgetItem*> stack;
    for (int i = topLevelItemCount() - 1; i >= 0; --i) stack.push_back(topLevelItem(i));
    while (!stack.empty()) {
        QTreeWidgetItem* it = stack.back();
        stack.pop_back();
        const TNodeInfo* n = nodeInfo(it);
        if (n && !it->text(0).isEmpty() && n->session == session && RetornaDirectori(*n) == path) return it;
        for (int i = it->childCount() - 1; i >= 0; --i) stack.push_back(it->child(i));
    }
    return nullptr;
}

bool ExplorerTree::currentIsWithin(const QTreeWidgetItem* node) const {
    for (QTreeWidgetItem* c = currentItem(); c; c = c->parent())
        if (c == node) return true;
    return false;
}

// ---------------------------------------------------------------- building

void ExplorerTree::setNodeIcon(QTreeWidgetItem* item, NodeKind kind) {
    QStyle* st = style();
    QStyle::StandardPixmap p = QStyle::SP_DirIcon;
    switch (kind) {
    case NodeKind::Drive: p = QStyle::SP_DriveHDIcon; break;
    case NodeKind::RemovableDrive: p = QStyle::SP_DriveFDIcon; break;
    case NodeKind::LocalFolder: p = QStyle::SP_DirClosedIcon; break;
    case NodeKind::Server: p = QStyle::SP_DriveNetIcon; break;
    case NodeKind::RemoteFolder: p = QStyle::SP_DirIcon; break;
    case NodeKind::RemoteLink: p = QStyle::SP_DirLinkIcon; break;
    }
    QIcon icon = st->standardIcon(p);
    if (kind == NodeKind::LocalFolder) icon.addPixmap(st->standardPixmap(QStyle::SP_DirOpenIcon), QIcon::Selected);
    item->setIcon(0, icon);
}

QTreeWidgetItem* ExplorerTree::addNode(QTreeWidgetItem* parent, const TNodeInfo& info, const QString& caption) {
    NodeId id = nextNode_++;
    auto* item = new NodeItem(this, id, info);
    item->setText(0, caption);
    // Drives, servers and folder-chain nodes have no name to edit.
    if (!info.DirNom.empty()) item->setFlags(item->flags() | Qt::ItemIsEditable);
    setNodeIcon(item, info.kind);
    nodes_[id] = item;
    if (parent) parent->addChild(item);
    else addTopLevelItem(item);
    return item;
}

void ExplorerTree::addPlaceholder(QTreeWidgetItem* node) {
    for (int i = 0; i < node->childCount(); ++i)
        if (isPlaceholder(node->child(i))) return;
    node->addChild(new QTreeWidgetItem());
}

void ExplorerTree::EsborrarDesde(QTreeWidgetItem* node, bool withNode) {
    bool was = applying_;
    applying_ = true;
    if (!node) {
        clear();
    } else if (withNode) {
        delete node;
    } else {
        qDeleteAll(node->takeChildren());
    }
    applying_ = was;
}

bool ExplorerTree::TeSubdirectoris(const std::string& path) {
    DIR* d = opendir(path.c_str());
    if (!d) return false;
    bool found = false;
    while (dirent* e = readdir(d)) {
        if (e->d_name[0] == '.') continue;
        if (e->d_type == DT_DIR) {
            found = true;
        } else if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
            struct stat st{};
            found = fstatat(dirfd(d), e->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        }
        if (found) break;
    }
    closedir(d);
    return found;
}

int ExplorerTree::MostrarDirectoris(QTreeWidgetItem* node) {
    const TNodeInfo* n = nodeInfo(node);
    if (!n) return 1;
    const std::string dir = RetornaDirectori(*n);
    DIR* d = opendir(dir.c_str());
    if (!d) return 1;
    std::vector<std::pair<std::string, bool>> folders;
    while (dirent* e = readdir(d)) {
        if (e->d_name[0] == '.') continue; // hidden (and "." and "..")
        struct stat st{};
        if (fstatat(dirfd(d), e->d_name, &st, 0) != 0 || !S_ISDIR(st.st_mode)) continue;
        struct stat lst{};
        bool link = fstatat(dirfd(d), e->d_name, &lst, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(lst.st_mode);
        folders.emplace_back(e->d_name, link);
    }
    closedir(d);
    for (const auto& [name, link] : folders) {
        TNodeInfo c;
        c.kind = NodeKind::LocalFolder;
        c.Path = dir;
        c.DirNom = name;
        c.symlink = link;
        QTreeWidgetItem* child = addNode(node, c, fromWire(name));
        if (TeSubdirectoris(dir + name + "/")) addPlaceholder(child);
    }
    node->sortChildren(0, Qt::AscendingOrder);
    return 0;
}

QTreeWidgetItem* ExplorerTree::showLocalRoots() {
    EsborrarDesde(nullptr, false);
    QTreeWidgetItem* first = nullptr;
    for (const RootNode& r : localRoots(currentMounts(), toWire(QDir::homePath()))) {
        TNodeInfo n;
        n.kind = r.removable ? NodeKind::RemovableDrive : NodeKind::Drive;
        n.Path = r.path;
        QTreeWidgetItem* item = addNode(nullptr, n, fromWire(r.caption));
        // A removable, network or FUSE mount is never touched at start: a dead
        // one would hang the window.
        if (r.removable || TeSubdirectoris(r.path)) addPlaceholder(item);
        if (!first && !r.removable) first = item;
    }
    if (!first) return nullptr;
    first->setExpanded(true); // loaded through nodeExpanding, like a user's expand
    setCurrentQuietly(first);
    return first;
}

void ExplorerTree::addRemoteChildren(QTreeWidgetItem* node, const std::vector<ListingEntry>& entries) {
    const TNodeInfo* parent = nodeInfo(node);
    if (!parent) return;
    TNodeInfo base = *parent;
    const std::string dir = RetornaDirectori(base);
    for (const auto& e : entries) {
        if (e.kind == ListingEntry::Kind::File) continue;
        TNodeInfo c;
        c.kind = e.kind == ListingEntry::Kind::Folder ? NodeKind::RemoteFolder : NodeKind::RemoteLink;
        c.Path = dir;
        c.DirNom = e.name;
        c.Ip = base.Ip;
        c.session = base.session;
        c.Pasv = base.Pasv;
        c.PASVPort = base.PASVPort;
        addPlaceholder(addNode(node, c, fromWire(e.name)));
    }
    node->sortChildren(0, Qt::AscendingOrder);
}

void ExplorerTree::addListedFolders(QTreeWidgetItem* node, const std::vector<FileItem>& items, const TNodeInfo& base,
                                    const std::string& folder, const std::string& chosenName) {
    EsborrarDesde(node, false);
    QTreeWidgetItem* chosen = nullptr;
    for (const FileItem& it : items) {
        if (it.kind != ItemKind::RemoteFolder && it.kind != ItemKind::RemoteLink) continue;
        TNodeInfo c;
        c.kind = it.kind == ItemKind::RemoteFolder ? NodeKind::RemoteFolder : NodeKind::RemoteLink;
        c.Path = folder;
        c.DirNom = it.name;
        c.Ip = base.Ip;
        c.session = base.session;
        c.Pasv = base.Pasv;
        c.PASVPort = base.PASVPort;
        QTreeWidgetItem* child = addNode(node, c, it.display());
        addPlaceholder(child); // a link with a dot is listed as a file and never gets here
        if (it.name == chosenName) chosen = child;
    }
    node->sortChildren(0, Qt::AscendingOrder);
    if (chosen) {
        expandAsIs(node);
        setCurrentQuietly(chosen);
    }
}

namespace {

// A server node says whether its session is encrypted: a padlock on its
// icon, and the same in words for the tool tip and screen readers.
void markSecurity(QTreeWidgetItem* node, bool encrypted) {
    const QString what = encrypted ? QStringLiteral("Encrypted connection (TLS)") : QStringLiteral("Not encrypted");
    node->setToolTip(0, what);
    node->setData(0, Qt::AccessibleDescriptionRole, what);
    node->setData(0, ExplorerTree::kEncryptedRole, encrypted);
    if (!encrypted) return;
    QPixmap pm = node->icon(0).pixmap(16, 16);
    if (pm.isNull()) {
        pm = QPixmap(16, 16);
        pm.fill(Qt::transparent);
    }
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(9.5, 5.5, 5, 6), 0, 180 * 16);
    p.setBrush(QColor(230, 180, 30));
    p.setPen(QPen(QColor(90, 70, 10), 1));
    p.drawRect(QRectF(8.5, 8.5, 7, 6.5));
    p.end();
    node->setIcon(0, QIcon(pm));
}

} // namespace

QTreeWidgetItem* ExplorerTree::addServerChain(const SessionInfo& info, const std::string& login,
                                              const std::vector<ListingEntry>* entries) {
    TNodeInfo n;
    n.kind = NodeKind::Server;
    n.Path = "/";
    n.Ip = info.dotted;
    n.session = info.id;
    n.Pasv = info.passive;
    n.PASVPort = 0;
    // The chain is opened by the program: its nodes keep what the listing gave.
    bool was = applying_;
    applying_ = true;
    labels_[info.id] = ServerLabel{info.host, info.siteName, login, info.port};
    QTreeWidgetItem* last = addNode(nullptr, n, fromWire(info.caption));
    markSecurity(last, info.encrypted);
    relabelServers();
    const std::string& wd = info.workingDir;
    std::size_t start = 1;
    while (start < wd.size()) {
        std::size_t slash = wd.find('/', start);
        std::size_t end = slash == std::string::npos ? wd.size() : slash;
        TNodeInfo c = n;
        c.kind = NodeKind::RemoteFolder;
        c.Path = wd.substr(0, end) + "/";
        last = addNode(last, c, fromWire(wd.substr(start, end - start)));
        start = end + 1;
    }
    if (entries) addRemoteChildren(last, *entries);
    sortItems(0, Qt::AscendingOrder);
    for (QTreeWidgetItem* p = last->parent(); p; p = p->parent()) p->setExpanded(true);
    last->setExpanded(true);
    setCurrentItem(last);
    applying_ = was;
    return last;
}

void ExplorerTree::relabelServers() {
    for (QTreeWidgetItem* node : serverNodes()) {
        auto it = labels_.find(nodeInfo(node)->session);
        if (it == labels_.end()) continue;
        const ServerLabel& l = it->second;
        bool shared = false;
        for (const auto& [id, other] : labels_)
            if (id != it->first && other.host == l.host && other.port == l.port) shared = true;
        node->setText(0, fromWire(serverCaption(l.host, l.port, l.site, l.login, shared)));
    }
}

void ExplorerTree::removeServer(SessionId session) {
    labels_.erase(session);
    for (QTreeWidgetItem* s : serverNodes())
        if (nodeInfo(s)->session == session) EsborrarDesde(s, true);
    relabelServers();
}

void ExplorerTree::FormatejaTreePASV(QTreeWidgetItem* node, bool pasv, int port) {
    if (!node || node->type() != NodeItem::Type) return;
    auto* n = static_cast<NodeItem*>(node);
    n->info_.Pasv = pasv;
    n->info_.PASVPort = port;
    for (int i = 0; i < node->childCount(); ++i) FormatejaTreePASV(node->child(i), pasv, port);
}

void ExplorerTree::renameNode(QTreeWidgetItem* item, const std::string& name) {
    if (!item || item->type() != NodeItem::Type) return;
    auto* node = static_cast<NodeItem*>(item);
    node->info_.DirNom = name;
    item->setText(0, fromWire(name));
    bool was = applying_;
    applying_ = true;
    item->setExpanded(false);
    EsborrarDesde(item, false);
    if (node->info_.remote() || TeSubdirectoris(RetornaDirectori(node->info_))) addPlaceholder(item);
    if (item->parent()) item->parent()->sortChildren(0, Qt::AscendingOrder);
    setCurrentItem(item);
    applying_ = was;
}

void ExplorerTree::collapseEverything() {
    std::vector<NodeId> expanded;
    std::vector<QTreeWidgetItem*> stack;
    for (int i = 0; i < topLevelItemCount(); ++i) stack.push_back(topLevelItem(i));
    while (!stack.empty()) {
        QTreeWidgetItem* it = stack.back();
        stack.pop_back();
        if (it->isExpanded()) expanded.push_back(nodeIdOf(it));
        for (int i = 0; i < it->childCount(); ++i) stack.push_back(it->child(i));
    }
    for (auto id = expanded.rbegin(); id != expanded.rend(); ++id)
        if (QTreeWidgetItem* it = nodeById(*id)) it->setExpanded(false);
}

void ExplorerTree::reloadLocalNode(const std::string& dir) {
    QTreeWidgetItem* node = findNode(dir, 0);
    if (!node) return;
    EsborrarDesde(node, false);
    MostrarDirectoris(node);
    setExpandedQuietly(node, true);
}

// ---------------------------------------------------------------- quiet changes

void ExplorerTree::setCurrentQuietly(QTreeWidgetItem* item) {
    bool was = applying_;
    applying_ = true;
    setCurrentItem(item);
    applying_ = was;
}

void ExplorerTree::setExpandedQuietly(QTreeWidgetItem* item, bool expanded) {
    bool was = applying_;
    applying_ = true;
    item->setExpanded(expanded);
    applying_ = was;
}

void ExplorerTree::deleteQuietly(QTreeWidgetItem* item) { EsborrarDesde(item, true); }

void ExplorerTree::expandAsIs(QTreeWidgetItem* item) {
    skipExpand_ = true;
    item->setExpanded(true);
    skipExpand_ = false;
}

// ---------------------------------------------------------------- names

bool ExplorerTree::startEdit(QTreeWidgetItem* item) {
    if (!item || !(item->flags() & Qt::ItemIsEditable)) return false;
    editNode_ = nodeIdOf(item);
    editing_ = true;
    setFocus();
    scrollToItem(item);
    editItem(item, 0);
    if (!names_->editing()) editing_ = false;
    return true;
}

} // namespace vn
