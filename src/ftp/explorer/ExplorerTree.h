#pragma once
// The explorer's folder tree: its nodes and the id map, local drives and
// folders, server nodes with their folder chains, remote children placed from
// a listing, and in-place names. Nodes are referred to by id across an
// operation, so a node that went meanwhile is never written to. The tree
// reports only what the user does: changes the program makes itself (quietly)
// emit nothing.
#include <QTreeWidget>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "ftp/engine/FtpEngine.h"
#include "ftp/explorer/ExplorerRules.h"
#include "ftp/explorer/FileList.h"

namespace vn {

class NameDelegate;

using NodeId = std::uint64_t;

class ExplorerTree : public QTreeWidget {
    Q_OBJECT
public:
    explicit ExplorerTree(QWidget* parent = nullptr);
    ~ExplorerTree() override;

    // Look-ups.
    const TNodeInfo* nodeInfo(const QTreeWidgetItem* item) const;
    NodeId nodeIdOf(const QTreeWidgetItem* item) const;
    QTreeWidgetItem* nodeById(NodeId id) const;
    bool isPlaceholder(const QTreeWidgetItem* item) const;
    std::vector<QTreeWidgetItem*> serverNodes() const;
    QTreeWidgetItem* serverNode(SessionId session) const;
    // A server node's data: true when its session runs under TLS (the padlock).
    static constexpr int kEncryptedRole = Qt::UserRole + 41;
    QTreeWidgetItem* topLevelOf(QTreeWidgetItem* item) const;
    // The first node, in tree order, whose folder is `path` on `session`.
    QTreeWidgetItem* findNode(const std::string& path, SessionId session) const;
    // The current node is `node` or below it.
    bool currentIsWithin(const QTreeWidgetItem* node) const;

    // Building.
    QTreeWidgetItem* addNode(QTreeWidgetItem* parent, const TNodeInfo& info, const QString& caption);
    // The "+" of a node whose children are not loaded yet.
    void addPlaceholder(QTreeWidgetItem* node);
    // Removes the node's children (and the node itself with withNode); no node: everything.
    void EsborrarDesde(QTreeWidgetItem* node, bool withNode);
    // Loads the local sub-folders of a node; 1 when its folder cannot be read.
    int MostrarDirectoris(QTreeWidgetItem* node);
    static bool TeSubdirectoris(const std::string& path);
    // The folders and links of a listing of the node's folder, as its children.
    void addRemoteChildren(QTreeWidgetItem* node, const std::vector<ListingEntry>& entries);
    // The folder and link items of the list, as children of `node` (listed from
    // `base`'s place and `folder`); the one named `chosen` becomes current.
    void addListedFolders(QTreeWidgetItem* node, const std::vector<FileItem>& items, const TNodeInfo& base,
                          const std::string& folder, const std::string& chosen);
    // The local roots; the first fixed one is expanded and made current (returned).
    QTreeWidgetItem* showLocalRoots();
    // A server node and the folder chain of its working folder (with the
    // listing's children at its end, when there is one); the chain's last node
    // is expanded, current and returned.
    QTreeWidgetItem* addServerChain(const SessionInfo& info, const std::string& login,
                                    const std::vector<ListingEntry>* entries);
    // The session's server node and its label go.
    void removeServer(SessionId session);
    // Sets the passive flag and port on a node and every node below it.
    void FormatejaTreePASV(QTreeWidgetItem* node, bool pasv, int port);
    // A renamed folder node: new name, its old children gone (their paths changed).
    void renameNode(QTreeWidgetItem* item, const std::string& name);
    // Collapses every open node, deepest first, each through the collapse
    // signal (the window's collapse rules apply to each).
    void collapseEverything();
    // Reloads the local sub-folders of the node showing `dir` and opens it.
    void reloadLocalNode(const std::string& dir);

    // Changes made by the program: no signal.
    void setCurrentQuietly(QTreeWidgetItem* item);
    void setExpandedQuietly(QTreeWidgetItem* item, bool expanded);
    void deleteQuietly(QTreeWidgetItem* item);
    // Expands without loading: the node's children are already placed.
    void expandAsIs(QTreeWidgetItem* item);

    // In-place names: false when the node has no name to edit.
    bool startEdit(QTreeWidgetItem* item);
    bool editing() const { return editing_; }

signals:
    void currentNodeChanged();
    void nodeExpanding(QTreeWidgetItem* item);
    void nodeCollapsed(QTreeWidgetItem* item);
    // The user committed a name for the node (it may have gone meanwhile).
    void nameEdited(NodeId node, const QString& text);
    void editCancelled();

private:
    class NodeItem;
    struct ServerLabel {
        std::string host, site, login;
        int port = 21;
    };
    // Gives every server node its caption (serverCaption) from labels_.
    void relabelServers();
    void setNodeIcon(QTreeWidgetItem* item, NodeKind kind);

    NodeId nextNode_ = 1;
    std::map<NodeId, QTreeWidgetItem*> nodes_;
    std::map<SessionId, ServerLabel> labels_;
    bool applying_ = false; // the program itself is changing the tree
    bool skipExpand_ = false;
    bool editing_ = false;
    NodeId editNode_ = 0;
    NameDelegate* names_ = nullptr;
};

} // namespace vn
