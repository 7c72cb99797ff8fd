#include "tftp/ui/LocalBrowser.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QSplitter>
#include <QStyle>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <dirent.h>

#include <algorithm>

#include "common/ui/Beeper.h"
#include "common/ui/WireText.h"
#include "ftp/explorer/LocalRoots.h"

namespace vn::tftp {

namespace {

constexpr int kPathRole = Qt::UserRole + 1;

std::string withSlash(std::string s) {
    if (s.empty() || s.back() != '/') s += '/';
    return s;
}

// Sub-folders of a folder, by name, dot folders left out as in the FTP tree.
std::vector<std::string> subFolders(const std::string& folder) {
    std::vector<std::string> out;
    DIR* d = ::opendir(folder.c_str());
    if (!d) return out;
    while (dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name.empty() || name[0] == '.') continue;
        bool dir = e->d_type == DT_DIR;
        if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) dir = QFileInfo(QString::fromStdString(folder + name)).isDir();
        if (dir) out.push_back(name);
    }
    ::closedir(d);
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

LocalBrowser::LocalBrowser(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    refresh_ = new QToolButton(this);
    refresh_->setObjectName(QStringLiteral("RefreshSB"));
    refresh_->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    refresh_->setToolTip(QStringLiteral("Refresh the info of the current folder"));
    refresh_->setAccessibleName(QStringLiteral("Refresh the info of the current folder"));
    connect(refresh_, &QToolButton::clicked, this, &LocalBrowser::refresh);

    auto* split = new QSplitter(Qt::Vertical, this);
    tree_ = new QTreeWidget(split);
    tree_->setObjectName(QStringLiteral("LocalTree"));
    tree_->setHeaderHidden(true);
    tree_->setAccessibleName(QStringLiteral("Local folders"));
    list_ = new QTreeView(split);
    list_->setObjectName(QStringLiteral("LocalList"));
    list_->setAccessibleName(QStringLiteral("Local files"));
    list_->setRootIsDecorated(false);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    model_ = new FileListModel(this);
    QStyle* st = style();
    model_->setIcons({st->standardIcon(QStyle::SP_DirIcon), st->standardIcon(QStyle::SP_FileIcon),
                      QIcon(st->standardIcon(QStyle::SP_FileIcon).pixmap(16, QIcon::Disabled))});
    list_->setModel(model_);
    list_->setColumnHidden(fileListColumns().size() - 1, true); // "Path"
    list_->header()->setSectionsClickable(true);
    split->addWidget(tree_);
    split->addWidget(list_);
    split->setStretchFactor(1, 2);

    summary_ = new QLabel(this);
    summary_->setObjectName(QStringLiteral("FolderLB"));
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* top = new QHBoxLayout;
    top->addWidget(summary_, 1);
    top->addWidget(refresh_);
    layout->addLayout(top);
    layout->addWidget(split, 1);

    connect(tree_, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) { fillChildren(item); });
    connect(tree_, &QTreeWidget::currentItemChanged, this, [this] { treeChosen(); });
    connect(list_, &QTreeView::doubleClicked, this, &LocalBrowser::listDoubleClicked);
    connect(list_->header(), &QHeaderView::sectionClicked, this, &LocalBrowser::headerClicked);
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        showSummary();
        emit changed();
    });

    addRoots();
    // The home folder is the first root: open it.
    if (tree_->topLevelItemCount() > 0) tree_->setCurrentItem(tree_->topLevelItem(0));
}

void LocalBrowser::addRoots() {
    for (const RootNode& r : localRoots(currentMounts(), toWire(QDir::homePath()))) {
        auto* item = new QTreeWidgetItem(tree_, QStringList(fromWire(r.caption)));
        item->setData(0, kPathRole, fromWire(withSlash(r.path)));
        item->setIcon(0, style()->standardIcon(QStyle::SP_DriveHDIcon));
        // Children are read when the node opens, so a slow disk holds nothing up.
        item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    }
}

void LocalBrowser::fillChildren(QTreeWidgetItem* item) {
    if (item->childCount() > 0 || item->data(0, Qt::UserRole).toBool()) return;
    item->setData(0, Qt::UserRole, true);
    const std::string path = toWire(item->data(0, kPathRole).toString());
    for (const std::string& name : subFolders(path)) {
        auto* child = new QTreeWidgetItem(item, QStringList(fromWire(name)));
        child->setData(0, kPathRole, fromWire(path + name + "/"));
        child->setIcon(0, style()->standardIcon(QStyle::SP_DirIcon));
        child->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    }
    if (item->childCount() == 0) item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

void LocalBrowser::treeChosen() {
    if (programmatic_) return;
    QTreeWidgetItem* item = tree_->currentItem();
    if (!item) return;
    if (!openFolder(toWire(item->data(0, kPathRole).toString()))) beeps({});
}

bool LocalBrowser::openFolder(const std::string& folder) {
    std::vector<FileItem> items;
    const std::string path = withSlash(folder);
    if (!readLocalFolder(path, items)) return false;
    folder_ = path;
    model_->setItems(std::move(items), false);
    for (int c = 0; c < model_->columnCount() - 1; ++c) list_->resizeColumnToContents(c);
    showSummary();
    emit changed();
    return true;
}

void LocalBrowser::refresh() {
    const QString keep = selectedItem() ? selectedItem()->display() : QString();
    if (!openFolder(folder_)) beeps({});
    else if (!keep.isEmpty()) selectName(keep);
}

const FileItem* LocalBrowser::selectedItem() const {
    const QModelIndexList rows = list_->selectionModel()->selectedRows();
    if (rows.isEmpty()) return nullptr;
    // The first the list reports.
    return &model_->item(rows.front().row());
}

bool LocalBrowser::selectName(const QString& name) {
    for (int r = 0; r < model_->rowCount(); ++r) {
        if (model_->item(r).display() != name) continue;
        list_->selectionModel()->setCurrentIndex(model_->index(r, 0),
                                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        return true;
    }
    return false;
}

void LocalBrowser::listDoubleClicked(const QModelIndex& index) {
    if (!index.isValid()) return;
    const FileItem item = model_->item(index.row());
    const std::string path = withSlash(item.path) + item.name;
    if (item.kind == ItemKind::LocalFolder) {
        if (openFolder(path + "/")) selectTreeNode(folder_);
        else beeps({});
    } else {
        openLocalFile(fromWire(path));
    }
    emit changed();
}

void LocalBrowser::selectTreeNode(const std::string& folder) {
    // Walk down from the deepest root that holds the folder, opening nodes.
    QTreeWidgetItem* best = nullptr;
    std::size_t bestLen = 0;
    for (int i = 0; i < tree_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* root = tree_->topLevelItem(i);
        const std::string p = toWire(root->data(0, kPathRole).toString());
        if (folder.compare(0, p.size(), p) == 0 && p.size() > bestLen) best = root, bestLen = p.size();
    }
    if (!best) return;
    QTreeWidgetItem* node = best;
    std::string at = toWire(best->data(0, kPathRole).toString());
    while (at != folder) {
        fillChildren(node);
        const std::size_t slash = folder.find('/', at.size());
        if (slash == std::string::npos) break;
        const std::string next = folder.substr(0, slash + 1);
        QTreeWidgetItem* found = nullptr;
        for (int i = 0; i < node->childCount() && !found; ++i)
            if (toWire(node->child(i)->data(0, kPathRole).toString()) == next) found = node->child(i);
        if (!found) break;
        node->setExpanded(true);
        node = found;
        at = next;
    }
    programmatic_ = true;
    tree_->setCurrentItem(node);
    programmatic_ = false;
}

void LocalBrowser::headerClicked(int section) {
    static const SortColumn kColumns[] = {SortColumn::Name, SortColumn::Size, SortColumn::Type, SortColumn::Modified};
    if (section < 0 || section >= 4) {
        beeps({});
        return;
    }
    const QString keep = selectedItem() ? selectedItem()->display() : QString();
    model_->sortBy(kColumns[section]);
    if (!keep.isEmpty()) selectName(keep);
}

QString LocalBrowser::summary() const {
    const int selected = static_cast<int>(list_->selectionModel()->selectedRows().size());
    return QStringLiteral("%1 - [Total Files : %2] - [Selected Files : %3]")
        .arg(fromWire(folder_))
        .arg(model_->rowCount())
        .arg(selected);
}

void LocalBrowser::showSummary() { summary_->setText(summary()); }

} // namespace vn::tftp
