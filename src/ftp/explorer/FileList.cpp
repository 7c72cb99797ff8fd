#include "ftp/explorer/FileList.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDesktopServices>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string_view>

#include "common/ui/WireText.h"

namespace vn {

bool FileItem::isFolderLike(bool remote) const {
    if (kind == ItemKind::RemoteLink) return true;
    return remote ? kind == ItemKind::RemoteFolder : kind == ItemKind::LocalFolder;
}

const QStringList& fileListColumns() {
    static const QStringList c = {QStringLiteral("Name"),     QStringLiteral("Size (bytes)"), QStringLiteral("Type"),
                                  QStringLiteral("Modified"), QStringLiteral("Atribs"),       QStringLiteral("Path")};
    return c;
}

QString FormatejaAtributs(bool directory, bool special, bool hidden, bool readOnly) {
    QString s(6, QLatin1Char('_'));
    if (directory) s[1] = QLatin1Char('d');
    if (special) s[3] = QLatin1Char('s');
    if (hidden) s[4] = QLatin1Char('h');
    s[5] = readOnly ? QLatin1Char('r') : QLatin1Char('w');
    return s;
}

QString formatLocalTime(std::int64_t seconds) {
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    if (!localtime_r(&t, &tm)) return {};
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d %d:%02d", tm.tm_mday, tm.tm_mon + 1, tm.tm_year + 1900, tm.tm_hour,
                  tm.tm_min);
    return QString::fromLatin1(buf);
}

QString extensionOf(const QString& name) {
    int dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot);
}

namespace {

bool isAscii(const std::string& b) {
    for (unsigned char c : b)
        if (c >= 0x80) return false;
    return true;
}

void finishKeys(FileItem& it) {
    std::string folded = foldKey(it.name);
    if (folded != it.name) it.fold = std::move(folded);
}

} // namespace

QString FileItem::display() const { return displayText(name); }

std::string foldKey(const std::string& bytes) {
    if (isAscii(bytes)) {
        std::string k = bytes;
        for (char& c : k)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return k;
    }
    return toWire(fromWire(bytes).toCaseFolded());
}

QString displayText(const std::string& bytes) {
    return isAscii(bytes) ? QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size())) : fromWire(bytes);
}

bool readLocalFolder(const std::string& path, std::vector<FileItem>& out) {
    DIR* d = opendir(path.c_str());
    if (!d) return false;
    int dfd = dirfd(d);
    const QString folderText = QStringLiteral("Folder");
    while (dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        struct stat st{};
        // A link shows what it points to; a dangling one shows as itself.
        if (fstatat(dfd, e->d_name, &st, 0) != 0 && fstatat(dfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        FileItem it;
        bool dir = S_ISDIR(st.st_mode);
        bool hidden = name[0] == '.';
        bool special = S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode);
        bool readOnly = faccessat(dfd, e->d_name, W_OK, AT_EACCESS) != 0;
        it.name = std::move(name);
        it.path = path;
        it.timeKey = st.st_mtime;
        it.modified = formatLocalTime(st.st_mtime);
        it.attribs = FormatejaAtributs(dir, special, hidden, readOnly);
        if (dir) {
            it.kind = ItemKind::LocalFolder;
            it.type = folderText;
        } else {
            it.kind = hidden ? ItemKind::LocalHiddenFile : ItemKind::LocalFile;
            it.sizeKey = st.st_size;
            it.size = QString::number(static_cast<qlonglong>(st.st_size));
        }
        finishKeys(it);
        if (!dir) it.type = extensionOf(it.display());
        it.typeFold = foldKey(toWire(it.type));
        out.push_back(std::move(it));
    }
    closedir(d);
    return true;
}

std::vector<FileItem> remoteItems(const std::vector<ListingEntry>& entries, const std::string& path) {
    std::vector<FileItem> out;
    out.reserve(entries.size());
    for (const auto& e : entries) {
        FileItem it;
        it.name = e.name;
        it.path = path;
        it.modified = displayText(e.date);
        it.attribs = displayText(e.attributes);
        finishKeys(it);
        switch (e.kind) {
        case ListingEntry::Kind::Folder:
            it.kind = ItemKind::RemoteFolder;
            it.type = QStringLiteral("Folder");
            break;
        case ListingEntry::Kind::Link:
            // A link with a dot in its name is taken for a file.
            it.kind = e.name.find('.') != std::string::npos ? ItemKind::RemoteFile : ItemKind::RemoteLink;
            it.type = QStringLiteral("Link");
            break;
        case ListingEntry::Kind::File:
            it.kind = ItemKind::RemoteFile;
            it.size = displayText(e.size);
            if (!e.size.empty()) it.sizeKey = static_cast<std::int64_t>(e.sizeValue);
            it.type = extensionOf(it.display());
            break;
        }
        it.typeFold = foldKey(toWire(it.type));
        out.push_back(std::move(it));
    }
    return out;
}

namespace {

// The sort key of an item for one column: compared field by field, so the
// sort runs over compact keys instead of whole items.
struct SortKey {
    int group = 0;
    std::int64_t num = 0;
    // The first 16 bytes of each text, big-endian, decide most comparisons
    // without touching the items.
    std::uint64_t ap[2] = {0, 0}, bp[2] = {0, 0};
    std::string_view a, b;
    bool operator<(const SortKey& o) const {
        if (group != o.group) return group < o.group;
        if (num != o.num) return num < o.num;
        if (ap[0] != o.ap[0]) return ap[0] < o.ap[0];
        if (ap[1] != o.ap[1]) return ap[1] < o.ap[1];
        if (a.size() > 16 || o.a.size() > 16)
            if (int c = a.compare(o.a)) return c < 0;
        if (a.size() != o.a.size()) return a.size() < o.a.size();
        if (bp[0] != o.bp[0]) return bp[0] < o.bp[0];
        if (bp[1] != o.bp[1]) return bp[1] < o.bp[1];
        if (b.size() > 16 || o.b.size() > 16) return b < o.b;
        return b.size() < o.b.size();
    }
};

void pack(std::string_view t, std::uint64_t (&p)[2]) {
    for (int w = 0; w < 2; ++w) {
        std::uint64_t v = 0;
        for (int i = 0; i < 8; ++i) {
            std::size_t at = static_cast<std::size_t>(w * 8 + i);
            v = (v << 8) | (at < t.size() ? static_cast<unsigned char>(t[at]) : 0u);
        }
        p[w] = v;
    }
}

SortKey keyOf(const FileItem& it, SortColumn column, bool remote) {
    SortKey k;
    if (column == SortColumn::Modified && remote) column = SortColumn::Name;
    switch (column) {
    case SortColumn::Name:
        k.group = it.isFolderLike(remote) ? 0 : 1;
        k.a = it.foldedName();
        break;
    case SortColumn::Type:
        k.group = it.isFolderLike(remote) ? 0 : 1;
        k.a = it.typeFold;
        k.b = it.foldedName();
        break;
    case SortColumn::Size:
        // No size first (by name); then the largest first, equal sizes equal.
        if (it.sizeKey < 0) {
            k.group = 0;
            k.a = it.foldedName();
        } else {
            k.group = 1;
            k.num = -it.sizeKey;
        }
        break;
    case SortColumn::Modified:
        // Folders first; newest first to the minute, then by name.
        k.group = it.kind == ItemKind::LocalFolder ? 0 : 1;
        k.num = -(it.timeKey / 60);
        k.a = it.foldedName();
        break;
    }
    pack(k.a, k.ap);
    pack(k.b, k.bp);
    return k;
}

} // namespace

bool itemLess(const FileItem& a, const FileItem& b, SortColumn column, bool remote) {
    return keyOf(a, column, remote) < keyOf(b, column, remote);
}

namespace {
std::function<bool(const QString&)>& opener() {
    static std::function<bool(const QString&)> o;
    return o;
}
} // namespace

bool openLocalFile(const QString& path) {
    if (opener()) return opener()(path);
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void setLocalOpener(std::function<bool(const QString&)> o) { opener() = std::move(o); }

FileListModel::FileListModel(QObject* parent) : QAbstractTableModel(parent) {}

int FileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(items_.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(fileListColumns().size());
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const FileItem& it = items_[static_cast<std::size_t>(index.row())];
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
        switch (index.column()) {
        case 0: return it.display();
        case 1: return it.size;
        case 2: return it.type;
        case 3: return it.modified;
        case 4: return it.attribs;
        case 5: return fromWire(it.path);
        }
    } else if (role == Qt::DecorationRole && index.column() == 0) {
        auto k = static_cast<std::size_t>(it.kind);
        if (k >= icons_.size()) return QVariant();
        if (!it.cutMark) return QVariant(icons_[k]);
        // A cut item is drawn dimmed, as a disabled icon.
        return QVariant(QIcon(icons_[k].pixmap(16, QIcon::Disabled)));
    } else if (role == Qt::TextAlignmentRole && index.column() == 1) {
        return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
    } else if (role == Qt::ForegroundRole && color_.isValid()) {
        return color_;
    } else if (role == Qt::UserRole) {
        return static_cast<int>(it.kind);
    }
    return {};
}

QVariant FileListModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < fileListColumns().size())
        return fileListColumns()[section];
    return {};
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren | Qt::ItemIsDragEnabled;
    if (index.column() == 0) f |= Qt::ItemIsEditable;
    return f;
}

void FileListModel::setCutMarks(const std::vector<int>& rows) {
    for (auto& it : items_) it.cutMark = false;
    for (int r : rows)
        if (r >= 0 && static_cast<std::size_t>(r) < items_.size()) items_[static_cast<std::size_t>(r)].cutMark = true;
    if (!items_.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::DecorationRole});
}

std::vector<int> FileListModel::sortedOrder() const {
    std::vector<std::pair<SortKey, int>> keys;
    keys.reserve(items_.size());
    for (std::size_t i = 0; i < items_.size(); ++i) keys.emplace_back(keyOf(items_[i], column_, remote_), static_cast<int>(i));
    std::stable_sort(keys.begin(), keys.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
    std::vector<int> order;
    order.reserve(keys.size());
    for (const auto& k : keys) order.push_back(k.second);
    return order;
}

void FileListModel::sortItems() {
    std::vector<int> order = sortedOrder();
    std::vector<FileItem> sorted;
    sorted.reserve(items_.size());
    for (int i : order) sorted.push_back(std::move(items_[static_cast<std::size_t>(i)]));
    items_ = std::move(sorted);
}

void FileListModel::setItems(std::vector<FileItem> items, bool remote) {
    beginResetModel();
    items_ = std::move(items);
    remote_ = remote;
    sortItems();
    endResetModel();
}

void FileListModel::clear() {
    beginResetModel();
    items_.clear();
    endResetModel();
}

void FileListModel::sortBy(SortColumn column) {
    emit layoutAboutToBeChanged();
    column_ = column;
    std::vector<int> order = sortedOrder();
    std::vector<FileItem> sorted;
    sorted.reserve(items_.size());
    std::vector<int> newRow(items_.size());
    for (std::size_t k = 0; k < order.size(); ++k) {
        newRow[static_cast<std::size_t>(order[k])] = static_cast<int>(k);
        sorted.push_back(std::move(items_[static_cast<std::size_t>(order[k])]));
    }
    items_ = std::move(sorted);
    // The selection follows its items.
    QModelIndexList from = persistentIndexList(), to;
    to.reserve(from.size());
    for (const QModelIndex& i : from) to.push_back(index(newRow[static_cast<std::size_t>(i.row())], i.column()));
    changePersistentIndexList(from, to);
    emit layoutChanged();
}

int FileListModel::appendItem(FileItem item) {
    const int row = rowCount();
    beginInsertRows({}, row, row);
    items_.push_back(std::move(item));
    endInsertRows();
    return row;
}

void FileListModel::removeRowsAt(std::vector<int> rows) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    beginResetModel();
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        if (*it >= 0 && *it < rowCount()) items_.erase(items_.begin() + *it);
    endResetModel();
}

} // namespace vn
