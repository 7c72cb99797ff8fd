#pragma once
// The explorer's clipboard, drops and copies: what the user copies, cuts,
// pastes or drags becomes copy jobs (CopyPlanner.h) that run on the worker;
// the list and the tree then show what the target now holds, and a copy
// where items failed ends with a message saying how many.
#include <QObject>

#include <optional>
#include <string>
#include <vector>

#include "ftp/engine/copy/Clipboard.h"
#include "ftp/explorer/CopyPlanner.h"
#include "ftp/explorer/ExplorerParts.h"

class QTreeWidgetItem;

namespace vn {

class FolderNavigator;

class CopyExecutor : public QObject {
    Q_OBJECT
public:
    CopyExecutor(ExplorerParts& parts, FolderNavigator& folder, QObject* parent);

    // The explorer clipboard ("copy.dat"): Copy, Cut and Paste in every direction.
    void copy() { writeClip(false); }
    void cut() { writeClip(true); }
    void paste();

    // Drops: paths from the desktop onto the list (a folder item or the current
    // folder) or onto a tree node; drags within the window. Every drop copies.
    void dropOnList(const std::vector<std::string>& paths, int targetRow);
    void dropOnTree(const std::vector<std::string>& paths, QTreeWidgetItem* node);
    void listDragDrop(QObject* source, int targetRow);
    void treeDragDrop(QObject* source, QTreeWidgetItem* node);
    // Makes the tree and the list views drag sources and drop targets.
    void installDragAndDrop();

    // The selected local files for the multi-host upload (folders are named and skipped).
    std::vector<std::string> filesForMultiUpload() const;

private:
    std::vector<ClipEntry> clipEntries() const;
    void writeClip(bool cut);
    // After a cut whose sources all went: their folder nodes go too.
    void dropCutNodes(const Clipboard& clip);
    // Desktop paths that exist as a file, a folder or a link (the others are named in a message).
    std::vector<std::string> droppable(const std::vector<std::string>& paths) const;
    // The selected list items, as the planner takes them.
    std::vector<DropItem> selectedDropItems(int except = -1) const;
    // Runs the copies on the worker, then reloads the list (and expandAfter's children).
    void runCopyJobs(std::vector<CopyJob> jobs, QTreeWidgetItem* expandAfter);
    // The list shows `dir` of `sid` again after a copy.
    void showAfterCopy(NodeId node, SessionId sid, const std::string& dir, const std::optional<std::vector<ListingEntry>>& listing);
    void reportFailures(int failed, bool cancelled);

    ExplorerParts& p_;
    FolderNavigator& folder_;
};

} // namespace vn
