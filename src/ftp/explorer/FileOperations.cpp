#include "ftp/explorer/FileOperations.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

#include <cerrno>

#include <QDate>
#include <QLocale>
#include <QPersistentModelIndex>
#include <QTimer>

#include <filesystem>

#include "common/DataFolder.h"
#include "common/ui/Beeper.h"
#include "common/ui/UiPrompter.h"
#include "common/ui/WireText.h"
#include "ftp/explorer/FileList.h"
#include "ftp/explorer/FolderNavigator.h"
#include "ftp/explorer/LocalRoots.h"
#include "ftp/explorer/TFilePropfrm.h"
#include "ftp/explorer/TSysfrm.h"

namespace vn {

namespace {

std::string asFolder(std::string path) {
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

// A name typed for a new folder or a rename: one path component.
bool validNewName(const std::string& n) {
    return !n.empty() && n != "." && n != ".." && n.find('/') == std::string::npos &&
           n.find('\0') == std::string::npos && !hasLineBreak(n);
}

// Renames without ever replacing what is already there.
bool renameNoReplace(const std::string& from, const std::string& to) {
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::symlink_status(to, ec))) return false;
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without the flag: the check above has to do.
    std::filesystem::rename(from, to, ec);
    return !ec;
}

// What a remote change reports: whether it was done, whether the user aborted,
// and the folder's listing afterwards.
struct Changed {
    bool ok = false;
    bool cancelled = false;
    FolderNavigator::Entries listing;
};

DriveFacts driveFacts(const std::string& folder) {
    DriveFacts f;
    auto m = mountOf(folder, currentMounts());
    std::uint64_t total = 0, freeBytes = 0;
    if (!m || !diskSpace(folder, total, freeBytes)) return f;
    switch (driveKindOf(*m)) {
    case DriveKind::Removable: f.kind = DriveFacts::Kind::Removable; break;
    case DriveKind::Fixed: f.kind = DriveFacts::Kind::Fixed; break;
    case DriveKind::Remote: f.kind = DriveFacts::Kind::Remote; break;
    case DriveKind::CdRom: f.kind = DriveFacts::Kind::CdRom; break;
    case DriveKind::RamDisk: f.kind = DriveFacts::Kind::RamDisk; break;
    case DriveKind::Error: break;
    }
    f.totalBytes = total;
    f.freeBytes = freeBytes;
    f.memoryLoad = memoryLoadFromMeminfo(readMeminfo());
    return f;
}

} // namespace

FileOperations::FileOperations(ExplorerParts& parts, FolderNavigator& folder, QObject* parent)
    : QObject(parent), p_(parts), folder_(folder) {}

// ---------------------------------------------------------------- names in place

void FileOperations::newFolder() {
    if (p_.host.busy() || folder_.dir().empty() || p_.list.editing() || p_.tree.editing()) return;
    p_.engine.wait().lowerCancel();
    p_.list.forgetKeys();
    // A nameless folder item at the end of the list, named in place; the
    // folder is made when the name is committed.
    const bool remote = folder_.remote();
    FileItem it;
    it.kind = remote ? ItemKind::RemoteFolder : ItemKind::LocalFolder;
    it.type = QStringLiteral("Folder");
    it.modified = QLocale().toString(QDate::currentDate(), QLocale::ShortFormat);
    it.attribs = remote ? QStringLiteral("drwxr-xr-x") : FormatejaAtributs(true, false, false, false);
    it.path = folder_.dir();
    p_.list.startEdit(p_.model().appendItem(std::move(it)));
}

void FileOperations::removeNamelessItems() {
    p_.list.removeNamelessItems();
    folder_.updateStatus();
}

void FileOperations::listEditCancelled(const QPersistentModelIndex& index) {
    // An abandoned new folder leaves nothing behind.
    if (index.isValid() && p_.model().item(index.row()).name.empty()) removeNamelessItems();
    p_.host.refreshCommands();
}

void FileOperations::listEdited(const QPersistentModelIndex& index, const QString& text) {
    if (!index.isValid()) return; // the list was refilled meanwhile
    const std::string from = p_.model().item(index.row()).name;
    const std::string to = toWire(text);
    if (from.empty()) createFolderInPlace(to);
    else renameInList(from, to);
    p_.host.refreshCommands();
}

void FileOperations::showLocalChange(const std::string& dir, const std::string& select) {
    folder_.showLocal(dir);
    p_.tree.reloadLocalNode(dir);
    p_.list.selectItem(fromWire(select));
}

void FileOperations::createFolderInPlace(const std::string& name) {
    if (name.empty()) {
        removeNamelessItems();
        return;
    }
    if (p_.host.busy() || !validNewName(name)) {
        removeNamelessItems();
        uiPrompter().message("Error Creating Folder!");
        return;
    }
    const std::string dir = folder_.dir();
    if (!folder_.remote()) {
        std::error_code ec;
        // create_directory reports false for a name already there: nothing is replaced.
        if (!std::filesystem::create_directory(dir + name, ec) || ec) {
            removeNamelessItems();
            uiPrompter().message("Error Creating Folder!");
            return;
        }
        showLocalChange(dir, name);
        return;
    }
    const SessionId sid = folder_.session();
    const NodeId node = p_.tree.nodeIdOf(p_.tree.findNode(dir, sid));
    p_.run(
        [e = &p_.engine, sid, dir, name] {
            Changed c;
            c.ok = e->fesMKD(sid, dir + name);
            c.cancelled = e->wait().cancelled();
            if (!c.cancelled) c.listing = e->fesLIST(sid, dir, true);
            return c;
        },
        [this, node, sid, dir, name](const Changed& c) {
            removeNamelessItems();
            if (!c.ok && !c.cancelled) uiPrompter().message("Error Creating Folder!");
            folder_.applyListing(node, sid, dir, c.listing, FolderNavigator::Target::Both);
            if (c.ok) {
                if (QTreeWidgetItem* n = p_.tree.nodeById(node)) p_.tree.setExpandedQuietly(n, true);
                p_.list.selectItem(fromWire(name));
            }
        });
}

void FileOperations::renameInList(const std::string& from, const std::string& to) {
    if (to.empty() || to == from) return; // refused: the old name stays
    if (p_.host.busy() || !validNewName(to)) {
        uiPrompter().message("Error renaming file!");
        return;
    }
    const std::string dir = folder_.dir();
    if (!folder_.remote()) {
        if (!renameNoReplace(dir + from, dir + to)) {
            uiPrompter().message("Error renaming file!");
            return;
        }
        showLocalChange(dir, to);
        return;
    }
    const SessionId sid = folder_.session();
    const NodeId node = p_.tree.nodeIdOf(p_.tree.findNode(dir, sid));
    p_.run(
        [e = &p_.engine, sid, dir, from, to] {
            Changed c;
            c.ok = e->fesRENAME(sid, dir + from, dir + to);
            c.cancelled = e->wait().cancelled();
            if (!c.cancelled) c.listing = e->fesLIST(sid, dir, true);
            return c;
        },
        [this, sid, dir, node](const Changed& c) {
            if (!c.ok && !c.cancelled) uiPrompter().message("Error renaming file!");
            folder_.applyListing(node, sid, dir, c.listing, FolderNavigator::Target::Both);
        });
}

void FileOperations::rename() {
    if (p_.host.busy() || p_.list.editing() || p_.tree.editing()) return;
    p_.engine.wait().lowerCancel();
    std::vector<int> rows = p_.list.selectedRows();
    if (!p_.host.treeHasFocus() && rows.size() == 1) p_.list.startEdit(rows[0]);
    else if (p_.tree.currentItem()) startTreeEdit(p_.tree.currentItem());
    p_.host.refreshCommands();
}

void FileOperations::startTreeEdit(QTreeWidgetItem* item) {
    if (!p_.tree.startEdit(item)) p_.host.beep();
}

void FileOperations::treeEdited(NodeId id, const QString& text) {
    QTreeWidgetItem* item = p_.tree.nodeById(id);
    const TNodeInfo* n = p_.tree.nodeInfo(item);
    if (!n || n->DirNom.empty()) return;
    const std::string to = toWire(text);
    if (to.empty() || to == n->DirNom) return; // refused: the old name stays
    if (p_.host.busy() || !validNewName(to)) {
        uiPrompter().message("Error renaming file!");
        return;
    }
    const std::string parent = asFolder(n->Path);
    const std::string from = parent + n->DirNom;
    const std::string target = parent + to;
    if (!n->remote()) {
        if (!renameNoReplace(from, target)) {
            uiPrompter().message("Error renaming file!");
            return;
        }
        p_.tree.renameNode(item, to);
        folder_.showLocal(target + "/");
        folder_.takeCurrentFrom(*p_.tree.nodeInfo(item));
        p_.host.refreshCommands();
        return;
    }
    const SessionId sid = n->session;
    p_.run(
        [e = &p_.engine, sid, from, target] {
            Changed c;
            c.ok = e->fesRENAME(sid, from, target);
            c.cancelled = e->wait().cancelled();
            if (c.ok && !c.cancelled) c.listing = e->fesLIST(sid, target + "/", true);
            return c;
        },
        [this, id, sid, to, target](const Changed& c) {
            if (!c.ok) {
                if (!c.cancelled) uiPrompter().message("Error renaming file!");
                return;
            }
            QTreeWidgetItem* item = p_.tree.nodeById(id);
            if (!item) return;
            p_.tree.renameNode(item, to);
            // The renamed folder's own listing: its children and the list.
            p_.model().clear();
            folder_.applyListing(id, sid, target + "/", c.listing, FolderNavigator::Target::Both);
            if (const TNodeInfo* again = p_.tree.nodeInfo(p_.tree.nodeById(id))) folder_.takeCurrentFrom(*again);
        });
}

// ---------------------------------------------------------------- deletes

void FileOperations::deleteSelected() {
    if (p_.host.busy()) return;
    if (p_.host.treeHasFocus()) {
        deleteTreeNode(p_.tree.currentItem());
        return;
    }
    std::vector<int> rows = p_.list.selectedRows();
    if (rows.empty()) return;
    const RecycleMode recycle = readRecycleMode();
    if (!uiPrompter().askYesNo(recycle == RecycleMode::Trash
                                   ? "Do you confirm that you want to move this/these elements to the Recycle Bin?"
                                   : "Do you confirm that you want to delete this/these element/s?"))
        return;
    if (!folder_.remote()) {
        deleteLocalItems(rows, recycle);
        return;
    }
    const SessionId sid = folder_.session();
    const std::string dir = folder_.dir();
    struct Target {
        std::string name;
        bool folder;
    };
    std::vector<Target> targets;
    for (int r : rows)
        targets.push_back({p_.model().item(r).name, p_.model().item(r).kind == ItemKind::RemoteFolder});
    const NodeId node = p_.tree.nodeIdOf(p_.tree.findNode(dir, sid));
    p_.run(
        [e = &p_.engine, sid, dir, targets] {
            for (const auto& t : targets) {
                if (e->wait().cancelled()) break;
                if (t.folder) e->EsborrarDirectoriRemot(sid, dir + t.name);
                else e->fesDELETEFILE(sid, dir + t.name);
            }
            // The list shows what the server now holds: what failed stays in it.
            bool was = e->wait().cancelled();
            if (was) e->wait().lowerCancel();
            FolderNavigator::Entries listing = e->fesLIST(sid, dir, true);
            if (was) e->wait().raiseCancel();
            return listing;
        },
        [this, node, sid, dir](const FolderNavigator::Entries& listing) {
            folder_.applyListing(node, sid, dir, listing, FolderNavigator::Target::Both);
        });
}

void FileOperations::deleteLocalItems(const std::vector<int>& rows, RecycleMode recycle) {
    const std::string dir = folder_.dir();
    std::vector<std::string> paths;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        const std::string& name = p_.model().item(*it).name;
        const std::string path = dir + name;
        struct stat st {};
        // A file nobody may write is deleted only when the user says so (and then made writable).
        if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0) {
            if (!uiPrompter().askYesNo("The file '" + name + "' is ReadOnly. Do you really want to delete it?"))
                continue;
            ::chmod(path.c_str(), st.st_mode | S_IWUSR);
        }
        paths.push_back(path);
    }
    if (paths.empty()) return;
    p_.host.startTotalGauge(paths.size());
    p_.run(
        [e = &p_.engine, paths, recycle] {
            std::vector<std::string> failed;
            std::uint64_t done = 0;
            for (const auto& p : paths) {
                if (e->wait().cancelled()) break;
                LocalResult r = deleteLocal(p, recycle, [e] { return e->wait().cancelled(); });
                if (!r.ok && !r.kept) {
                    failed.push_back(r.error);
                    e->sink().log(">ERROR deleting " + r.error);
                }
                e->sink().totalProgress(++done, paths.size());
            }
            return failed;
        },
        [this, dir](const std::vector<std::string>& failed) {
            p_.host.hideGauges();
            if (!failed.empty()) p_.host.beep();
            // The list shows what the disk now holds: what could not go stays in it.
            folder_.showLocal(dir);
            if (QTreeWidgetItem* node = p_.tree.currentItem()) {
                p_.tree.EsborrarDesde(node, false);
                p_.tree.addPlaceholder(node);
                node->setExpanded(true);
            }
            p_.host.refreshCommands();
        });
}

void FileOperations::deleteTreeNode(QTreeWidgetItem* item) {
    const TNodeInfo* n = p_.tree.nodeInfo(item);
    if (!n) return;
    // A drive, a server or a folder-chain node has no name: deleting it would
    // address a whole disk or server.
    if (n->DirNom.empty()) {
        p_.host.beep();
        return;
    }
    const NodeId id = p_.tree.nodeIdOf(item);
    if (!uiPrompter().askYesNo("Do you confirm that you want to delete '" + n->DirNom + "'?")) return;
    // The node may have gone while the question was open.
    item = p_.tree.nodeById(id);
    n = p_.tree.nodeInfo(item);
    if (!n) return;
    if (!n->remote()) {
        // Local folders are deleted by the local file operations.
        p_.host.beep();
        return;
    }
    const NodeId parentId = p_.tree.nodeIdOf(item->parent());
    p_.run([e = &p_.engine, sid = n->session, dir = RetornaDirectori(*n)] { return e->EsborrarDirectoriRemot(sid, dir); },
           [this, id, parentId](bool ok) {
               if (!ok) return; // what failed stays
               if (QTreeWidgetItem* gone = p_.tree.nodeById(id)) p_.tree.EsborrarDesde(gone, true);
               if (QTreeWidgetItem* p = p_.tree.nodeById(parentId)) p_.tree.setCurrentQuietly(p);
               p_.model().clear();
               folder_.scheduleLoad(0);
           });
}

// ---------------------------------------------------------------- properties

void FileOperations::properties() {
    std::vector<int> rows = p_.list.selectedRows();
    if (p_.host.busy() || rows.size() != 1) return;
    p_.engine.wait().lowerCancel();
    const FileItem& it = p_.model().item(rows[0]);
    TFilePropfrm::Values v;
    v.name = it.name;
    v.type = toWire(it.type);
    v.folder = folder_.dir();
    v.size = toWire(it.size);
    v.modified = toWire(it.modified);
    v.attributes = toWire(it.attribs);
    v.isFolder = it.kind == ItemKind::LocalFolder || it.kind == ItemKind::RemoteFolder;
    v.isRemote = folder_.remote();
    if (!v.isRemote || it.kind != ItemKind::RemoteFile) {
        showProperties(v);
        return;
    }
    // A listing's size and date are the server's text (a date without a year
    // or a time, a size some layouts round): SIZE and MDTM, when the server
    // has them, give the exact ones.
    struct Exact {
        std::optional<std::uint64_t> size;
        std::optional<std::int64_t> modified;
    };
    p_.run(
        [e = &p_.engine, sid = folder_.session(), path = folder_.dir() + it.name] {
            Exact x;
            x.size = e->fesSIZE(sid, path);
            if (!e->wait().cancelled()) x.modified = e->fesMDTM(sid, path);
            return x;
        },
        [this, v](const Exact& x) mutable {
            if (x.size) v.size = std::to_string(*x.size);
            if (x.modified) v.modified = toWire(formatLocalTime(*x.modified));
            showProperties(v);
        });
}

void FileOperations::showProperties(const TFilePropfrm::Values& v) {
    TFilePropfrm dialog(v, p_.host.hostWidget());
    uiPrompter().exec(dialog);
}

void FileOperations::systemProperties() {
    if (p_.host.busy()) return;
    SessionId sid = folder_.session();
    if (p_.host.treeHasFocus())
        if (const TNodeInfo* n = p_.tree.nodeInfo(p_.tree.currentItem())) sid = n->session;
    if (sid == 0) {
        const std::string folder = folder_.dir().empty() ? "/" : folder_.dir();
        TSysfrm dialog(fromWire(folder), driveFacts(folder), p_.host.hostWidget());
        uiPrompter().exec(dialog);
        p_.host.refreshCommands();
        return;
    }
    p_.run([e = &p_.engine, sid] { e->fesSYST(sid); });
}

// ---------------------------------------------------------------- opening files

void FileOperations::openSelected() {
    if (p_.list.editing() || p_.tree.editing()) return;
    if (p_.host.busy()) {
        vn::beeps(std::string());
        return;
    }
    p_.engine.wait().lowerCancel();
    std::vector<int> rows = p_.list.selectedRows();
    int row = p_.list.currentRow();
    if (row < 0 && rows.size() == 1) row = rows[0];
    if (row < 0 || row >= p_.model().rowCount() || !p_.tree.nodeInfo(p_.tree.currentItem())) return;
    const FileItem it = p_.model().item(row);
    if (opensAsFolder(it.kind)) folder_.openFolderItem(row);
    else openFile(it.name);
}

void FileOperations::openFile(const std::string& name) {
    if (folder_.remote()) {
        openRemoteFile(name);
        return;
    }
    const std::string path = folder_.dir() + name;
    if (!openLocalFile(QString::fromStdString(path))) p_.host.log(QStringLiteral(">Can not open ") + fromWire(path));
}

void FileOperations::openRemoteFile(const std::string& name) {
    if (!uiPrompter().askYesNo("The file '" + name +
                               "' is remote.\rDo you really want to download it to a temporal folder and execute it?"))
        return;
    std::error_code ec;
    std::filesystem::path temp = dataFile("TEMP");
    std::filesystem::create_directories(temp, ec);
    if (!std::filesystem::is_directory(temp)) {
        uiPrompter().message("Can not create temporal folder");
        return;
    }
    const std::string local = p_.temp.path(name).string();
    const std::string remote = folder_.dir() + name;
    const SessionId sid = folder_.session();
    const TransferMode mode = p_.host.transferMode();
    const int retries = p_.engine.settings().TxRT;
    p_.run(
        [e = &p_.engine, t = &p_.transfer, sid, mode, name, remote, local, retries] {
            // The local copy is only a temporary file: the source always stays.
            FtpTransfer::KeepSource keep(*t);
            t->SeleccionaTYPE(sid, mode, name);
            TransferResult result = TransferResult::Failed;
            for (int attempt = 0;; ++attempt) {
                if (attempt > 0) e->sink().log(">Trying again...");
                result = t->fesGET(sid, remote, local);
                if (result != TransferResult::Failed || attempt >= retries || e->wait().cancelled()) break;
            }
            return result;
        },
        [this, local](TransferResult result) {
            p_.host.hideGauges();
            if (result == TransferResult::Copied && !openLocalFile(QString::fromStdString(local)))
                p_.host.log(QStringLiteral(">Can not open ") + fromWire(local));
        });
}

} // namespace vn
