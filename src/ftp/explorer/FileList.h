#pragma once
// The file list of the explorer window: what an item holds, how a local folder
// and a remote listing become items, and the sort. One model, filled in one
// reset; the sort keys are computed when an item is made.
#include <QAbstractTableModel>
#include <QIcon>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ftp/engine/listing/Listing.h"

namespace vn {

// The kind is what every handler tests (and the icon shown).
enum class ItemKind { LocalFolder = 0, LocalFile = 1, LocalHiddenFile = 2, RemoteFolder = 4, RemoteFile = 5, RemoteLink = 7 };

struct FileItem {
    ItemKind kind = ItemKind::LocalFile;
    std::string name;     // bytes, as the disk or the server gave them
    QString size;         // "Size (bytes)" text; empty for folders and links
    QString type;         // "Folder", "Link" or the extension with its dot
    QString modified;     // local: "dd/mm/yyyy h:nn"; remote: the listing's date text
    QString attribs;      // local attribute text or the listing's permissions
    std::string path;     // the folder the item was listed from (hidden column)
    // The name as shown, decoded when asked: a listing of huge names is kept
    // once, as bytes, not again as UTF-16.
    QString display() const;
    // Sort keys.
    std::string fold;     // name case-folded, UTF-8 (byte order is code point order); empty when it is the name itself
    const std::string& foldedName() const { return fold.empty() ? name : fold; }
    std::string typeFold;
    std::int64_t sizeKey = -1;    // -1: no size
    std::int64_t timeKey = 0;     // local: seconds; remote: unused
    bool cutMark = false;         // Cut: drawn dimmed until the next Copy or Cut
    bool isFolderLike(bool remote) const;
};

enum class SortColumn { Name, Size, Type, Modified };

// Column captions in order; the last one ("Path") is never visible.
const QStringList& fileListColumns();

// Six characters: archive, directory, volume, system, hidden, read-only. On
// Linux there is no archive or volume bit; "system" stands for a device, FIFO
// or socket; hidden is a name starting with "."; read-only means this user
// may not write it.
QString FormatejaAtributs(bool directory, bool special, bool hidden, bool readOnly);

// "dd/mm/yyyy h:nn" of a time in local time.
QString formatLocalTime(std::int64_t seconds);

// Case-folded UTF-8 of a byte string (ASCII without a round trip).
std::string foldKey(const std::string& bytes);
// Display text of bytes: ASCII directly, anything else as fromWire decides.
QString displayText(const std::string& bytes);

// The extension with its dot, empty when the name has none.
QString extensionOf(const QString& name);

// Items of a local folder (path ends in "/"), every entry but "." and "..".
// False when the folder cannot be read (nothing is returned then).
bool readLocalFolder(const std::string& path, std::vector<FileItem>& out);

// Items of a remote listing of the folder `path`.
std::vector<FileItem> remoteItems(const std::vector<ListingEntry>& entries, const std::string& path);

// Strict weak order of the list's sort for one column; `remote` is the side
// of the folder shown. Ties end equal: the sort is stable.
bool itemLess(const FileItem& a, const FileItem& b, SortColumn column, bool remote);

// Opens a local file with the desktop's default application; tests install
// another opener (nullptr restores the desktop's).
bool openLocalFile(const QString& path);
void setLocalOpener(std::function<bool(const QString&)> opener);

class FileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit FileListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;
    // Names are edited in place (the window decides what a new name does).
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Replaces every item in one reset, sorted by the current column.
    void setItems(std::vector<FileItem> items, bool remote);
    void clear();
    void sortBy(SortColumn column);
    SortColumn sortColumn() const { return column_; }
    bool remote() const { return remote_; }
    const std::vector<FileItem>& items() const { return items_; }
    const FileItem& item(int row) const { return items_[static_cast<std::size_t>(row)]; }
    void removeRowsAt(std::vector<int> rows);
    // Appends one item at the end, unsorted (a new folder being named); its row.
    int appendItem(FileItem item);
    void setIcons(std::vector<QIcon> byKind) { icons_ = std::move(byKind); }
    // The cut marks: cleared on every item, then set on these rows.
    void setCutMarks(const std::vector<int>& rows);
    void setTextColor(const QColor& c) { color_ = c; }

private:
    void sortItems();
    std::vector<int> sortedOrder() const;
    std::vector<FileItem> items_;
    SortColumn column_ = SortColumn::Name;
    bool remote_ = false;
    std::vector<QIcon> icons_;
    QColor color_;
};

} // namespace vn
