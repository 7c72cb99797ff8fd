#include "ftp/explorer/FileListPane.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QListView>
#include <QStyle>
#include <QTableView>

#include <algorithm>

#include "ftp/explorer/NameDelegate.h"

namespace vn {

namespace {

// The list's selection: while the window is busy, a selection the user drives
// from the keyboard is refused; the program's own changes go through.
class GuardedSelection : public QItemSelectionModel {
public:
    GuardedSelection(QAbstractItemModel* model, std::function<bool()> refuse, QObject* parent)
        : QItemSelectionModel(model, parent), refuse_(std::move(refuse)) {}
    void select(const QModelIndex& index, SelectionFlags command) override {
        if (!refuse_()) QItemSelectionModel::select(index, command);
    }
    void select(const QItemSelection& selection, SelectionFlags command) override {
        if (!refuse_()) QItemSelectionModel::select(selection, command);
    }
    void setCurrentIndex(const QModelIndex& index, SelectionFlags command) override {
        if (!refuse_()) QItemSelectionModel::setCurrentIndex(index, command);
    }

private:
    std::function<bool()> refuse_;
};

} // namespace

FileListPane::FileListPane(std::function<bool()> busy, QWidget* parent)
    : QStackedWidget(parent), busy_(std::move(busy)) {
    model_ = new FileListModel(this);
    report_ = new QTableView(this);
    report_->setObjectName(QStringLiteral("List"));
    report_->setAccessibleName(QStringLiteral("Files"));
    report_->setModel(model_);
    QItemSelectionModel* defaultSelection = report_->selectionModel();
    report_->setSelectionModel(new GuardedSelection(
        model_, [this] { return busy_() && keyboardSelecting_ && !programSelecting_; }, report_));
    delete defaultSelection;
    report_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    names_ = new NameDelegate(report_);
    names_->committed = [this](const QPersistentModelIndex& i, const QString& text) {
        editing_ = false;
        emit nameEdited(i, text);
    };
    names_->cancelled = [this](const QPersistentModelIndex& i) {
        editing_ = false;
        emit editCancelled(i);
    };
    report_->setItemDelegateForColumn(0, names_);
    report_->setSelectionBehavior(QAbstractItemView::SelectRows);
    report_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    report_->setShowGrid(false);
    report_->setWordWrap(false);
    report_->setContextMenuPolicy(Qt::CustomContextMenu);
    report_->verticalHeader()->hide();
    report_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    report_->verticalHeader()->setDefaultSectionSize(report_->fontMetrics().height() + 4);
    report_->horizontalHeader()->setSectionsClickable(true);
    report_->horizontalHeader()->setHighlightSections(false);
    report_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    int widths[] = {150, 80, 45, 105, 70, 0};
    for (int i = 0; i < 6; ++i) report_->setColumnWidth(i, widths[i]);
    report_->setColumnHidden(5, true);
    report_->setMouseTracking(true);
    icons_ = new QListView(this);
    icons_->setObjectName(QStringLiteral("ListIcons"));
    icons_->setModel(model_);
    icons_->setSelectionModel(report_->selectionModel());
    icons_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    icons_->setUniformItemSizes(true);
    icons_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    icons_->setItemDelegate(names_);
    icons_->setResizeMode(QListView::Adjust);
    icons_->setContextMenuPolicy(Qt::CustomContextMenu);
    addWidget(report_);
    addWidget(icons_);

    connect(report_, &QAbstractItemView::doubleClicked, this, [this] { emit activated(); });
    connect(icons_, &QAbstractItemView::doubleClicked, this, [this] { emit activated(); });
    connect(report_->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int c) { emit columnClicked(c); });
    // Adding items ends a keyboard selection; a refill closes an open edit.
    connect(model_, &QAbstractItemModel::modelReset, this, [this] { keyboardSelecting_ = false; });
    connect(model_, &QAbstractItemModel::rowsInserted, this, [this] { keyboardSelecting_ = false; });
    connect(model_, &QAbstractItemModel::modelAboutToBeReset, this, [this] { editing_ = false; });

    QStyle* st = style();
    model_->setIcons({st->standardIcon(QStyle::SP_DirIcon), st->standardIcon(QStyle::SP_FileIcon),
                      QIcon(st->standardIcon(QStyle::SP_FileIcon).pixmap(16, QIcon::Disabled)), QIcon(),
                      st->standardIcon(QStyle::SP_DirIcon), st->standardIcon(QStyle::SP_FileIcon), QIcon(),
                      st->standardIcon(QStyle::SP_DirLinkIcon)});
}

QAbstractItemView* FileListPane::currentView() const {
    return view_ == ViewStyle::Report ? static_cast<QAbstractItemView*>(report_) : icons_;
}

bool FileListPane::isListView(const QObject* o) const { return o && (o == report_ || o == icons_); }

void FileListPane::setViewStyle(ViewStyle v) {
    view_ = v;
    if (v == ViewStyle::Report) {
        setCurrentWidget(report_);
    } else {
        icons_->setViewMode(v == ViewStyle::LargeIcons ? QListView::IconMode : QListView::ListMode);
        icons_->setIconSize(v == ViewStyle::LargeIcons ? QSize(32, 32) : QSize(16, 16));
        icons_->setFlow(v == ViewStyle::List ? QListView::TopToBottom : QListView::LeftToRight);
        icons_->setWrapping(true);
        setCurrentWidget(icons_);
    }
}

void FileListPane::setGridShown(bool on) {
    grid_ = on;
    report_->setShowGrid(on);
}

std::vector<int> FileListPane::selectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& i : report_->selectionModel()->selectedRows()) rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

int FileListPane::selectedCount() const {
    return report_->selectionModel() ? static_cast<int>(report_->selectionModel()->selectedRows().size()) : 0;
}

int FileListPane::currentRow() const {
    QModelIndex cur = report_->selectionModel()->currentIndex();
    return cur.isValid() ? cur.row() : -1;
}

void FileListPane::selectRowQuietly(int row) {
    const QModelIndex index = model_->index(row, 0);
    programSelecting_ = true;
    report_->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    report_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    programSelecting_ = false;
}

bool FileListPane::selectItem(const QString& name) {
    for (int r = 0; r < model_->rowCount(); ++r) {
        if (model_->item(r).display() == name) {
            selectRowQuietly(r);
            return true;
        }
    }
    return false;
}

void FileListPane::selectAll() {
    currentView()->setFocus();
    if (model_->rowCount() == 0) return;
    QItemSelection all(model_->index(0, 0), model_->index(model_->rowCount() - 1, model_->columnCount() - 1));
    report_->selectionModel()->select(all, QItemSelectionModel::ClearAndSelect);
}

void FileListPane::invertSelection() {
    if (model_->rowCount() == 0) return;
    QItemSelection all(model_->index(0, 0), model_->index(model_->rowCount() - 1, model_->columnCount() - 1));
    report_->selectionModel()->select(all, QItemSelectionModel::Toggle);
}

void FileListPane::startEdit(int row) {
    if (row < 0 || row >= model_->rowCount()) return;
    QAbstractItemView* v = currentView();
    const QModelIndex index = model_->index(row, 0);
    selectRowQuietly(row);
    v->setFocus();
    v->scrollTo(index);
    editing_ = true;
    v->edit(index);
    if (!names_->editing()) {
        editing_ = false;
        emit editCancelled(QPersistentModelIndex(index));
    }
}

void FileListPane::removeNamelessItems() {
    std::vector<int> rows;
    for (int r = 0; r < model_->rowCount(); ++r)
        if (model_->item(r).name.empty()) rows.push_back(r);
    if (!rows.empty()) model_->removeRowsAt(rows);
}

} // namespace vn
