#pragma once
// The local side of the TFTP client: the folder tree of the local disks and
// the file list of the current folder, as in the FTP window but without
// servers, clipboard or context menu. It owns the current folder.
#include <QWidget>

#include <string>

#include "ftp/explorer/FileList.h"

class QLabel;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;
class QToolButton;

namespace vn::tftp {

class LocalBrowser : public QWidget {
    Q_OBJECT
public:
    explicit LocalBrowser(QWidget* parent = nullptr);

    // The folder the list shows, with a trailing '/'.
    const std::string& folder() const { return folder_; }
    // Lists a folder (false, nothing changed, when it can't be read).
    bool openFolder(const std::string& folder);
    // Lists the current folder again.
    void refresh();
    // The first selected item, nullptr when none.
    const FileItem* selectedItem() const;
    // Selects the item of that name; false when there is none.
    bool selectName(const QString& name);
    // "folder - [Total Files : n] - [Selected Files : m]".
    QString summary() const;

    QTreeWidget* tree() const { return tree_; }
    QTreeView* list() const { return list_; }
    FileListModel* model() const { return model_; }
    QToolButton* refreshButton() const { return refresh_; }

signals:
    // The selection, the folder or the list changed.
    void changed();

private:
    void addRoots();
    void fillChildren(QTreeWidgetItem* item);
    void treeChosen();
    void listDoubleClicked(const QModelIndex& index);
    void headerClicked(int section);
    void showSummary();
    void selectTreeNode(const std::string& folder);

    QTreeWidget* tree_;
    QTreeView* list_;
    FileListModel* model_;
    QToolButton* refresh_;
    QLabel* summary_;
    std::string folder_;
    bool programmatic_ = false;
};

} // namespace vn::tftp
