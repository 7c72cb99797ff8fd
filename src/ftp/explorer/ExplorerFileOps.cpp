// The FTP window's file operations: new folders and renames named in place,
// deletes, file properties and opening a remote file. Each runs on the
// worker when it is remote; the list and the tree then show what is there.
#include "ftp/explorer/TFTPfrm.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

#include <cerrno>

#include <QDate>
#include <QLocale>
#include <QPersistentModelIndex>
#include <QTableView>
#include <QTimer>

#include <filesystem>

#include "common/DataFolder.h"
#include "common/ui/Beeper.h"
#include "common/ui/InfoBox.h"
#include "common/ui/UiPrompter.h"
#include "common/ui/WireText.h"
#include "ftp/engine/copy/LocalFiles.h"
#include "ftp/explorer/TFilePropfrm.h"

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

} // namespace

void TFTPfrm::NovaCarpetaSBClick() {
    if (busy() || currentDir_.empty() || List->editing() || Tree->editing()) return;
    engine_->wait().lowerCancel();
    List->forgetKeys();
    // A nameless folder item at the end of the list, named in place; the
    // folder is made when the name is committed.
    const bool remote = currentSession_ != 0;
    FileItem it;
    it.kind = remote ? ItemKind::RemoteFolder : ItemKind::LocalFolder;
    it.type = QStringLiteral("Folder");
    it.modified = QLocale().toString(QDate::currentDate(), QLocale::ShortFormat);
    it.attribs = remote ? QStringLiteral("drwxr-xr-x") : FormatejaAtributs(true, false, false, false);
    it.path = currentDir_;
    List->startEdit(model_->appendItem(std::move(it)));
}

void TFTPfrm::removeNamelessItems() {
    List->removeNamelessItems();
    updateStatus();
}

void TFTPfrm::ListEditCancelled(const QPersistentModelIndex& index) {
    // An abandoned new folder leaves nothing behind.
    if (index.isValid() && model_->item(index.row()).name.empty()) removeNamelessItems();
    HabilitarBotons();
}

void TFTPfrm::ListEdited(const QPersistentModelIndex& index, const QString& text) {
    if (!index.isValid()) return; // the list was refilled meanwhile
    const std::string from = model_->item(index.row()).name;
    const std::string to = toWire(text);
    if (from.empty()) createFolderInPlace(to);
    else renameInList(from, to);
    HabilitarBotons();
}

void TFTPfrm::createFolderInPlace(const std::string& name) {
    if (name.empty()) {
        removeNamelessItems();
        return;
    }
    if (busy() || !validNewName(name)) {
        removeNamelessItems();
        uiPrompter().message("Error Creating Folder!");
        return;
    }
    const std::string dir = currentDir_;
    if (currentSession_ == 0) {
        std::error_code ec;
        // create_directory reports false for a name already there: nothing is replaced.
        if (!std::filesystem::create_directory(dir + name, ec) || ec) {
            removeNamelessItems();
            uiPrompter().message("Error Creating Folder!");
            return;
        }
        MostrarFitxers(dir);
        Tree->reloadLocalNode(dir);
        selectListItem(fromWire(name));
        return;
    }
    SessionId sid = currentSession_;
    NodeId node = nodeIdOf(findNode(dir, sid));
    auto result = std::make_shared<Entries>();
    auto ok = std::make_shared<bool>(false);
    auto cancelled = std::make_shared<bool>(false);
    startOperation(
        [e = engine_, sid, dir, name, result, ok, cancelled] {
            *ok = e->fesMKD(sid, dir + name);
            *cancelled = e->wait().cancelled();
            if (!*cancelled) *result = e->fesLIST(sid, dir, true);
        },
        true, [this, node, sid, dir, name, result, ok, cancelled] {
            removeNamelessItems();
            if (!*ok && !*cancelled) uiPrompter().message("Error Creating Folder!");
            applyListing(node, sid, dir, *result, ListTarget::Both);
            if (*ok) {
                if (QTreeWidgetItem* n = nodeById(node)) {
                    Tree->setExpandedQuietly(n, true);
                }
                selectListItem(fromWire(name));
            }
        });
}

void TFTPfrm::renameInList(const std::string& from, const std::string& to) {
    if (to.empty() || to == from) return; // refused: the old name stays
    if (busy() || !validNewName(to)) {
        uiPrompter().message("Error renaming file!");
        return;
    }
    const std::string dir = currentDir_;
    if (currentSession_ == 0) {
        if (!renameNoReplace(dir + from, dir + to)) {
            uiPrompter().message("Error renaming file!");
            return;
        }
        MostrarFitxers(dir);
        Tree->reloadLocalNode(dir);
        selectListItem(fromWire(to));
        return;
    }
    SessionId sid = currentSession_;
    NodeId node = nodeIdOf(findNode(dir, sid));
    auto ok = std::make_shared<bool>(false);
    auto cancelled = std::make_shared<bool>(false);
    auto result = std::make_shared<Entries>();
    startOperation(
        [e = engine_, sid, dir, from, to, ok, cancelled, result] {
            *ok = e->fesRENAME(sid, dir + from, dir + to);
            *cancelled = e->wait().cancelled();
            if (!*cancelled) *result = e->fesLIST(sid, dir, true);
        },
        true, [this, ok, cancelled, result, sid, dir, node] {
            if (!*ok && !*cancelled) uiPrompter().message("Error renaming file!");
            applyListing(node, sid, dir, *result, ListTarget::Both);
        });
}

void TFTPfrm::DeleteSBClick() {
    if (busy()) return;
    if (treeHasFocus()) {
        deleteTreeNode(Tree->currentItem());
        return;
    }
    std::vector<int> rows = selectedRows();
    if (rows.empty()) return;
    const RecycleMode recycle = readRecycleMode();
    if (!uiPrompter().askYesNo(recycle == RecycleMode::Trash
                                   ? "Do you confirm that you want to move this/these elements to the Recycle Bin?"
                                   : "Do you confirm that you want to delete this/these element/s?"))
        return;
    if (currentSession_ == 0) {
        deleteLocalItems(rows, recycle);
        return;
    }
    SessionId sid = currentSession_;
    std::string dir = currentDir_;
    struct Target {
        std::string name;
        bool folder;
    };
    std::vector<Target> targets;
    for (int r : rows) targets.push_back({model_->item(r).name, model_->item(r).kind == ItemKind::RemoteFolder});
    NodeId node = nodeIdOf(findNode(dir, sid));
    auto result = std::make_shared<Entries>();
    startOperation(
        [e = engine_, sid, dir, targets, result] {
            for (const auto& t : targets) {
                if (e->wait().cancelled()) break;
                if (t.folder) e->EsborrarDirectoriRemot(sid, dir + t.name);
                else e->fesDELETEFILE(sid, dir + t.name);
            }
            // The list shows what the server now holds: what failed stays in it.
            bool was = e->wait().cancelled();
            if (was) e->wait().lowerCancel();
            *result = e->fesLIST(sid, dir, true);
            if (was) e->wait().raiseCancel();
        },
        true, [this, node, sid, dir, result] { applyListing(node, sid, dir, *result, ListTarget::Both); });
}

void TFTPfrm::deleteLocalItems(const std::vector<int>& rows, RecycleMode recycle) {
    std::vector<std::string> paths;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        const std::string& name = model_->item(*it).name;
        const std::string path = currentDir_ + name;
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
    const std::string dir = currentDir_;
    ActivartotalGauge(paths.size());
    auto failed = std::make_shared<std::vector<std::string>>();
    startOperation(
        [e = engine_, paths, recycle, failed] {
            std::uint64_t done = 0;
            for (const auto& p : paths) {
                if (e->wait().cancelled()) break;
                LocalResult r = deleteLocal(p, recycle, [e] { return e->wait().cancelled(); });
                if (!r.ok && !r.kept) {
                    failed->push_back(r.error);
                    e->sink().log(">ERROR deleting " + r.error);
                }
                e->sink().totalProgress(++done, paths.size());
            }
        },
        true, [this, dir, failed] {
            DesactivarGauges();
            if (!failed->empty()) beeps();
            // The list shows what the disk now holds: what could not go stays in it.
            MostrarFitxers(dir);
            if (QTreeWidgetItem* node = Tree->currentItem()) {
                Tree->EsborrarDesde(node, false);
                Tree->addPlaceholder(node);
                node->setExpanded(true);
            }
            HabilitarBotons();
        });
}

void TFTPfrm::deleteTreeNode(QTreeWidgetItem* item) {
    const TNodeInfo* n = nodeInfo(item);
    if (!n) return;
    // A drive, a server or a folder-chain node has no name: deleting it would
    // address a whole disk or server.
    if (n->DirNom.empty()) {
        beeps();
        return;
    }
    if (!uiPrompter().askYesNo("Do you confirm that you want to delete '" + n->DirNom + "'?")) return;
    n = nodeInfo(nodeById(nodeIdOf(item)));
    if (!n) return;
    if (!n->remote()) {
        // Local folders are deleted by the local file operations.
        beeps();
        return;
    }
    NodeId id = nodeIdOf(item);
    QTreeWidgetItem* parent = item->parent();
    NodeId parentId = nodeIdOf(parent);
    SessionId sid = n->session;
    std::string dir = RetornaDirectori(*n);
    auto ok = std::make_shared<bool>(false);
    startOperation([e = engine_, sid, dir, ok] { *ok = e->EsborrarDirectoriRemot(sid, dir); }, true,
                   [this, id, parentId, ok] {
                       if (!*ok) return; // what failed stays
                       if (QTreeWidgetItem* gone = nodeById(id)) Tree->EsborrarDesde(gone, true);
                       if (QTreeWidgetItem* p = nodeById(parentId)) {
                           Tree->setCurrentQuietly(p);
                       }
                       model_->clear();
                       mousetimer->start(0);
                   });
}

void TFTPfrm::FileProperties1Click() {
    std::vector<int> rows = selectedRows();
    if (busy() || rows.size() != 1) return;
    engine_->wait().lowerCancel();
    const FileItem& it = model_->item(rows[0]);
    TFilePropfrm::Values v;
    v.name = it.name;
    v.type = toWire(it.type);
    v.folder = currentDir_;
    v.size = toWire(it.size);
    v.modified = toWire(it.modified);
    v.attributes = toWire(it.attribs);
    v.isFolder = it.kind == ItemKind::LocalFolder || it.kind == ItemKind::RemoteFolder;
    v.isRemote = currentSession_ != 0;
    TFilePropfrm dialog(v, this);
    uiPrompter().exec(dialog);
}

void TFTPfrm::RenameSBClick() {
    if (busy() || List->editing() || Tree->editing()) return;
    engine_->wait().lowerCancel();
    std::vector<int> rows = selectedRows();
    if (!treeHasFocus() && rows.size() == 1) List->startEdit(rows[0]);
    else if (Tree->currentItem()) startTreeEdit(Tree->currentItem());
    HabilitarBotons();
}

void TFTPfrm::startTreeEdit(QTreeWidgetItem* item) {
    if (!Tree->startEdit(item)) beeps();
}

void TFTPfrm::TreeEdited(NodeId id, const QString& text) {
    QTreeWidgetItem* item = nodeById(id);
    const TNodeInfo* n = nodeInfo(item);
    if (!n || n->DirNom.empty()) return;
    const std::string to = toWire(text);
    if (to.empty() || to == n->DirNom) return; // refused: the old name stays
    if (busy() || !validNewName(to)) {
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
        Tree->renameNode(item, to);
        MostrarFitxers(target + "/");
        takeCurrentFrom(*nodeInfo(item));
        HabilitarBotons();
        return;
    }
    SessionId sid = n->session;
    auto ok = std::make_shared<bool>(false);
    auto cancelled = std::make_shared<bool>(false);
    auto result = std::make_shared<Entries>();
    startOperation(
        [e = engine_, sid, from, target, ok, cancelled, result] {
            *ok = e->fesRENAME(sid, from, target);
            *cancelled = e->wait().cancelled();
            if (*ok && !*cancelled) *result = e->fesLIST(sid, target + "/", true);
        },
        true, [this, id, sid, to, target, ok, cancelled, result] {
            if (!*ok) {
                if (!*cancelled) uiPrompter().message("Error renaming file!");
                return;
            }
            QTreeWidgetItem* item = nodeById(id);
            if (!item) return;
            Tree->renameNode(item, to);
            // The renamed folder's own listing: its children and the list.
            model_->clear();
            applyListing(id, sid, target + "/", *result, ListTarget::Both);
            if (const TNodeInfo* again = nodeInfo(nodeById(id))) takeCurrentFrom(*again);
        });
}

TransferMode TFTPfrm::pressedTransferMode() const {
    if (commands().at("ASCIImode1")->isChecked()) return TransferMode::Ascii;
    if (commands().at("Binarymode1")->isChecked()) return TransferMode::Binary;
    return TransferMode::Auto;
}

void TFTPfrm::openRemoteFile(const std::string& name) {
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
    const std::string local = temp_->path(name).string();
    const std::string remote = currentDir_ + name;
    SessionId sid = currentSession_;
    TransferMode mode = pressedTransferMode();
    int retries = engine_->settings().TxRT;
    auto result = std::make_shared<TransferResult>(TransferResult::Failed);
    startOperation(
        [e = engine_, t = transfer_, sid, mode, name, remote, local, retries, result] {
            // The local copy is only a temporary file: the source always stays.
            FtpTransfer::KeepSource keep(*t);
            t->SeleccionaTYPE(sid, mode, name);
            for (int attempt = 0;; ++attempt) {
                if (attempt > 0) e->sink().log(">Trying again...");
                *result = t->fesGET(sid, remote, local);
                if (*result != TransferResult::Failed || attempt >= retries || e->wait().cancelled()) break;
            }
        },
        true, [this, result, local] {
            DesactivarGauges();
            if (*result == TransferResult::Copied && !openLocalFile(QString::fromStdString(local)))
                Info->addLine(QStringLiteral(">Can not open ") + fromWire(local));
        });
}

} // namespace vn
