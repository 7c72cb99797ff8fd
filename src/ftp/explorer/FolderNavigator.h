#pragma once
// Which folder the explorer shows and how folders get placed: the open
// folder (its session, address and passive flag), opening a folder in the
// tree and the list, listings placed into nodes and the list, the deferred
// load after a tree selection, expanding and collapsing, Up, Refresh, full
// expansion, and the status line that names the open folder.
#include <QObject>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ftp/engine/FtpEngine.h"
#include "ftp/explorer/CopyPlanner.h"
#include "ftp/explorer/ExplorerParts.h"

class QTimer;
class QTreeWidgetItem;

namespace vn {

class FolderNavigator : public QObject {
    Q_OBJECT
public:
    using Entries = std::optional<std::vector<ListingEntry>>;
    // Where a listing goes: the node's children, the list, or both.
    enum class Target { Tree, List, Both };

    FolderNavigator(ExplorerParts& parts, QObject* parent);

    // The open folder ("/" at the end), its session (0: local) and connection.
    const std::string& dir() const { return dir_; }
    SessionId session() const { return session_; }
    bool remote() const { return session_ != 0; }
    const std::string& ip() const { return ip_; }
    bool pasv() const { return pasv_; }
    int pasvPort() const { return pasvPort_; }
    Place place() const { return placeOf(session_, ip_); }
    void setPasv(bool pasv) { pasv_ = pasv; }
    // The node's folder and connection become the current ones.
    void takeCurrentFrom(const TNodeInfo& n);

    // A session opened (its server chain is in the tree): its working folder
    // is shown with the first listing. A session closed: when it was the
    // current one, the tree's current node is shown instead.
    void sessionOpened(const SessionInfo& info, const Entries& entries);
    void sessionClosed(SessionId id);

    // Local folders: shows `path` in the list; false when it is no folder.
    bool showLocal(const std::string& path);
    void showLocalRoots();
    // Lists a remote folder on the worker and places it; `after` gets the outcome.
    void listRemote(NodeId node, SessionId sid, const std::string& folder, Target target,
                    std::function<void(bool ok)> after = {});
    void applyListing(NodeId node, SessionId sid, const std::string& folder, const Entries& entries, Target target);
    // Opens a full path of a session (0: local) in the tree and the list; `opened` runs once it is shown.
    void openPath(const std::string& path, SessionId session, std::function<void()> opened = {});
    // Opens the folder (or remote link) item at `row` of the list.
    void openFolderItem(int row);
    // Shows the folder again after a change there: the list when it still
    // shows `dir` of `sid`, and the children of `node` (when there is one).
    void reloadNode(QTreeWidgetItem* node);

    void refresh();
    void up();
    void fullExpand();
    // Loads the current node into the list after `ms` (a selection waits for the window to be idle).
    void scheduleLoad(int ms);
    void stop();
    QTimer* loadTimer() const { return timer_; }

    // Sorts the list by a column (Name, Size, Type; Modified only for a local folder).
    void sortList(int column);

    // "<folder> - [Total Files : n] - [Selected Files : k]"; nothing once a folder failed to open.
    QString folderStatus() const;
    void updateStatus();

    // The tree's signals.
    void treeExpanding(QTreeWidgetItem* item);
    void treeCollapsed(QTreeWidgetItem* item);
    void treeChanged();

private:
    void loadCurrentNode();
    void fillRemoteList(const std::vector<ListingEntry>& entries, const std::string& folder);
    void passaListATree(const std::string& name);
    void openPathStep(std::string path, SessionId session, std::size_t pos, std::function<void()> opened);
    void fullExpandStep(std::vector<NodeId> pending);

    ExplorerParts& p_;
    QTimer* timer_ = nullptr; // "mousetimer": the deferred load after a selection

    std::string dir_;
    std::string ip_;
    SessionId session_ = 0;
    // The list shows dir_; false once a folder failed to open (no status claims it).
    bool folderOpen_ = true;
    bool pasv_ = false;
    int pasvPort_ = -1;
};

} // namespace vn
