#pragma once
// The explorer's file list pane: one model shown as a report table or an icon
// list, the selection both share, the guard that keeps the keyboard from
// moving that selection under a running operation, and in-place names. The
// window decides what an activation, a committed name or a column click does.
#include <QStackedWidget>

#include <functional>
#include <vector>

#include "ftp/explorer/FileList.h"

class QAbstractItemView;
class QListView;
class QPersistentModelIndex;
class QTableView;

namespace vn {

class NameDelegate;

class FileListPane : public QStackedWidget {
    Q_OBJECT
public:
    enum class ViewStyle { LargeIcons, SmallIcons, List, Report };

    // `busy` tells whether an operation is running: the user's selection
    // changes are refused then, once a key has been pressed in the list.
    FileListPane(std::function<bool()> busy, QWidget* parent = nullptr);

    FileListModel* model() const { return model_; }
    QTableView* report() const { return report_; }
    QListView* icons() const { return icons_; }
    // The view shown by the current view style.
    QAbstractItemView* currentView() const;
    bool isListView(const QObject* o) const;

    void setViewStyle(ViewStyle v);
    ViewStyle viewStyle() const { return view_; }
    void setGridShown(bool on);
    bool gridShown() const { return grid_; }

    // Selection (rows in ascending order).
    std::vector<int> selectedRows() const;
    int selectedCount() const;
    // The program's own selection of the item shown as `name`; false when there is none.
    bool selectItem(const QString& name);
    void selectAll();
    void invertSelection();
    int currentRow() const; // -1: none

    // A key was pressed in the list since items were last added.
    bool keyboardSelecting() const { return keyboardSelecting_; }
    void noteKey() { keyboardSelecting_ = true; }
    void forgetKeys() { keyboardSelecting_ = false; }

    // In-place names.
    void startEdit(int row);
    bool editing() const { return editing_; }
    // The nameless items (a new folder not named yet) go.
    void removeNamelessItems();

signals:
    void activated();
    void columnClicked(int column);
    void nameEdited(const QPersistentModelIndex& index, const QString& text);
    void editCancelled(const QPersistentModelIndex& index);

private:
    void selectRowQuietly(int row);

    std::function<bool()> busy_;
    FileListModel* model_ = nullptr;
    QTableView* report_ = nullptr;
    QListView* icons_ = nullptr;
    NameDelegate* names_ = nullptr;
    ViewStyle view_ = ViewStyle::Report;
    bool grid_ = false;
    bool editing_ = false;
    bool keyboardSelecting_ = false;
    bool programSelecting_ = false; // the program itself is changing the selection
};

} // namespace vn
