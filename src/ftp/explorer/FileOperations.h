#pragma once
// The explorer's file operations: new folders and renames named in place (in
// the list and the tree), deletes, file and system properties, and opening a
// file. Each runs on the worker when it is remote; the list and the tree then
// show what is there.
#include <QObject>

#include <string>
#include <vector>

#include "ftp/engine/copy/LocalFiles.h"
#include "ftp/explorer/ExplorerParts.h"
#include "ftp/explorer/TFilePropfrm.h"

class QPersistentModelIndex;
class QTreeWidgetItem;

namespace vn {

class FolderNavigator;

class FileOperations : public QObject {
    Q_OBJECT
public:
    FileOperations(ExplorerParts& parts, FolderNavigator& folder, QObject* parent);

    // A nameless folder item at the end of the list, named in place.
    void newFolder();
    // Starts the in-place name of the selected item, else of the tree's current node.
    void rename();
    void startTreeEdit(QTreeWidgetItem* item);
    // Deletes the selected items (the tree's node when the tree has the focus).
    void deleteSelected();
    void deleteTreeNode(QTreeWidgetItem* item);
    void properties();
    // The file system of the open local folder, or the server's SYST.
    void systemProperties();
    // Opens the chosen list item: a folder in the tree and the list, a file in its application.
    void openSelected();
    // Opens a file of the open folder: a remote one is downloaded into "TEMP" first.
    void openFile(const std::string& name);
    // The nameless items (a new folder not named yet) go.
    void removeNamelessItems();

    // The panes' in-place name signals.
    void listEdited(const QPersistentModelIndex& index, const QString& text);
    void listEditCancelled(const QPersistentModelIndex& index);
    void treeEdited(NodeId id, const QString& text);

private:
    void createFolderInPlace(const std::string& name);
    void renameInList(const std::string& from, const std::string& to);
    void deleteLocalItems(const std::vector<int>& rows, RecycleMode recycle);
    void openRemoteFile(const std::string& name);
    void showProperties(const TFilePropfrm::Values& v);
    // The list and the tree after a local change in `dir`, with `select` chosen.
    void showLocalChange(const std::string& dir, const std::string& select);

    ExplorerParts& p_;
    FolderNavigator& folder_;
};

} // namespace vn
