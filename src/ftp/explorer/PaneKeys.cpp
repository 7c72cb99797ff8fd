#include "ftp/explorer/PaneKeys.h"

#include <QKeyEvent>
#include <QListView>
#include <QTableView>

#include "ftp/explorer/FileOperations.h"
#include "ftp/explorer/FolderNavigator.h"

namespace vn {

PaneKeys::PaneKeys(ExplorerParts& parts, FolderNavigator& folder, FileOperations& files, QObject* parent)
    : QObject(parent), p_(parts), folder_(folder), files_(files) {
    p_.tree.installEventFilter(this);
    p_.list.report()->viewport()->installEventFilter(this);
    p_.list.report()->installEventFilter(this);
    p_.list.icons()->installEventFilter(this);
}

bool PaneKeys::eventFilter(QObject* watched, QEvent* event) {
    FileListPane& list = p_.list;
    ExplorerTree& tree = p_.tree;
    const bool inList = list.isListView(watched);
    const bool inTree = watched == &tree;
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseMove && watched == list.report()->viewport()) {
        folder_.updateStatus();
    } else if (type == QEvent::KeyPress && (inList || inTree)) {
        if (list.editing() || tree.editing()) return false;
        auto* k = static_cast<QKeyEvent*>(event);
        if (inList) list.noteKey();
        // While busy the key is swallowed: the selection must not move under
        // the running operation.
        if (p_.host.busy()) return true;
        const bool plain = k->modifiers() == Qt::NoModifier;
        const int selected = list.selectedCount();
        if (k->key() == Qt::Key_Delete && plain) {
            if (inTree) files_.deleteTreeNode(tree.currentItem());
            else if (selected > 0) files_.deleteSelected();
            return true;
        }
        if (k->key() == Qt::Key_F2 && plain) {
            if (inTree) files_.startTreeEdit(tree.currentItem());
            else if (selected == 1) list.startEdit(list.selectedRows()[0]);
            return true;
        }
        if (inList && (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter)) {
            if (selected == 1) files_.openSelected();
            return true;
        }
    } else if (type == QEvent::KeyRelease && inList) {
        if (list.editing()) return false;
        auto* k = static_cast<QKeyEvent*>(event);
        list.noteKey();
        // A key never lowers the cancel flag of a running operation: that would
        // undo an Abort.
        if (p_.host.busy()) return true;
        p_.engine.wait().lowerCancel();
        if (k->key() == Qt::Key_Escape && list.selectedCount() == 1 &&
            p_.model().item(list.selectedRows()[0]).name.empty())
            files_.removeNamelessItems();
        p_.host.refreshCommands();
    }
    return false;
}

} // namespace vn
