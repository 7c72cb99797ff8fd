#pragma once
// The keys of the explorer's tree and list: Delete, F2, Enter and Escape act
// on the pane they are pressed in; while an operation runs every key there is
// swallowed, so the selection never moves under it. Moving the mouse over
// the list refreshes the folder status.
#include <QObject>

#include "ftp/explorer/ExplorerParts.h"

namespace vn {

class FileOperations;
class FolderNavigator;

class PaneKeys : public QObject {
    Q_OBJECT
public:
    // Watches the tree and both list views.
    PaneKeys(ExplorerParts& parts, FolderNavigator& folder, FileOperations& files, QObject* parent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ExplorerParts& p_;
    FolderNavigator& folder_;
    FileOperations& files_;
};

} // namespace vn
