#include "ftp/explorer/CopyExecutor.h"

#include <QAbstractItemView>
#include <QListView>
#include <QTableView>

#include <filesystem>

#include "UsefulTools/DragAndDrop/OleDnD.h"
#include "common/ui/UiPrompter.h"
#include "common/ui/WireText.h"
#include "ftp/engine/copy/Copier.h"
#include "ftp/engine/copy/CopyPaths.h"
#include "ftp/explorer/FolderNavigator.h"

namespace vn {

namespace {

std::string asFolder(std::string path) {
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

} // namespace

CopyExecutor::CopyExecutor(ExplorerParts& parts, FolderNavigator& folder, QObject* parent)
    : QObject(parent), p_(parts), folder_(folder) {}

// ---------------------------------------------------------------- clipboard

std::vector<ClipEntry> CopyExecutor::clipEntries() const {
    std::vector<ClipEntry> out;
    for (int r : p_.list.selectedRows()) {
        const FileItem& it = p_.model().item(r);
        bool isFolder = it.kind == ItemKind::LocalFolder || it.kind == ItemKind::RemoteFolder;
        ClipEntry e;
        e.session = folder_.session();
        e.address = folder_.remote() ? folder_.ip() : std::string();
        e.path = folder_.dir() + it.name + (isFolder ? "/" : "");
        e.passive = folder_.pasv();
        e.pasvPort = folder_.pasvPort();
        out.push_back(e);
    }
    if (out.empty()) {
        // Nothing selected in the list: the selected folder node, unless it has no name.
        const TNodeInfo* n = p_.tree.nodeInfo(p_.tree.currentItem());
        if (n && !n->DirNom.empty()) {
            ClipEntry e;
            e.session = n->session;
            e.address = n->session ? n->Ip : std::string();
            e.path = asFolder(RetornaDirectori(*n));
            e.passive = n->Pasv;
            e.pasvPort = n->PASVPort;
            out.push_back(e);
        }
    }
    return out;
}

void CopyExecutor::writeClip(bool cut) {
    if (p_.host.busy()) return;
    p_.engine.wait().lowerCancel();
    std::vector<ClipEntry> entries = clipEntries();
    if (entries.empty()) {
        p_.host.beep();
        return;
    }
    if (!writeClipboard(cut, entries)) {
        p_.host.beep();
        uiPrompter().message(kClipboardError);
        return;
    }
    p_.model().setCutMarks(cut ? p_.list.selectedRows() : std::vector<int>{});
    p_.host.refreshCommands();
}

void CopyExecutor::paste() {
    if (p_.host.busy() || folder_.dir().empty()) return;
    std::string error;
    std::optional<Clipboard> clip = readClipboard(&error);
    if (!clip) {
        if (!error.empty()) {
            p_.host.beep();
            uiPrompter().message(kClipboardError);
            p_.host.log(QStringLiteral(">ERROR: ") + fromWire(error));
        }
        return;
    }
    const SessionId sid = folder_.session();
    const std::string dir = folder_.dir();
    const Destination dest{folder_.place(), dir};
    const TransferMode mode = p_.host.transferMode();
    const NodeId node = p_.tree.nodeIdOf(p_.tree.currentItem());
    struct Pasted {
        PasteResult result;
        FolderNavigator::Entries listing;
    };
    p_.run(
        [e = &p_.engine, t = &p_.transfer, temp = &p_.temp, clip = *clip, dest, mode, sid, dir] {
            FtpCopier copier(*e, *t, *temp);
            copier.setTransferMode(mode);
            Pasted p{copier.paste(clip, dest), std::nullopt};
            if (sid != 0 && !e->wait().cancelled()) p.listing = e->fesLIST(sid, dir, true);
            return p;
        },
        [this, sid, dir, node, clip = *clip](const Pasted& p) {
            p_.host.hideGauges();
            if (clip.cut && p.result.notDeleted == 0 && !p.result.cancelled) dropCutNodes(clip);
            showAfterCopy(node, sid, dir, p.listing);
            p_.host.refreshCommands();
            reportFailures(p.result.failed, p.result.cancelled);
        });
}

void CopyExecutor::dropCutNodes(const Clipboard& clip) {
    // Every source of the cut is gone: its folder nodes would be stale.
    for (const ClipEntry& e : clip.entries) {
        if (!e.folder()) continue;
        QTreeWidgetItem* n = p_.tree.findNode(e.path, e.session);
        if (!n) continue;
        // The user is in it: the next listing shows what is left.
        if (!p_.tree.currentIsWithin(n)) p_.tree.deleteQuietly(n);
    }
}

// ---------------------------------------------------------------- running copies

void CopyExecutor::showAfterCopy(NodeId node, SessionId sid, const std::string& dir,
                                 const FolderNavigator::Entries& listing) {
    if (sid != 0) {
        if (listing) folder_.applyListing(node, sid, dir, listing, FolderNavigator::Target::List);
    } else if (!folder_.remote() && folder_.dir() == dir) {
        folder_.showLocal(dir);
    }
}

void CopyExecutor::reportFailures(int failed, bool cancelled) {
    // The log has the details; the user must not miss that something failed.
    const std::string message = copyFailureMessage(failed, cancelled);
    if (message.empty()) return;
    p_.host.beep();
    uiPrompter().message(message);
}

void CopyExecutor::runCopyJobs(std::vector<CopyJob> jobs, QTreeWidgetItem* expandAfter) {
    if (jobs.empty()) return;
    const NodeId expand = p_.tree.nodeIdOf(expandAfter);
    const SessionId sid = folder_.session();
    const std::string dir = folder_.dir();
    const NodeId listNode = p_.tree.nodeIdOf(p_.tree.currentItem());
    const TransferMode mode = p_.host.transferMode();
    struct Copied {
        CopyTally tally;
        FolderNavigator::Entries listing;
    };
    p_.run(
        [e = &p_.engine, t = &p_.transfer, temp = &p_.temp, jobs, mode, sid, dir] {
            Copied c;
            FtpCopier copier(*e, *t, *temp);
            copier.setTransferMode(mode);
            copier.startTotal(jobs.size());
            for (const CopyJob& j : jobs) {
                if (e->wait().cancelled()) break;
                c.tally.add(j.tree ? copier.CopiarDirectori(j.source, j.destination, j.dest, j.path)
                                   : copier.CopiarElement(j.source, j.destination, j.dest, j.path));
            }
            if (e->wait().cancelled()) c.tally.cancelled = true;
            if (sid != 0 && !c.tally.cancelled) c.listing = e->fesLIST(sid, dir, true);
            return c;
        },
        [this, expand, sid, dir, listNode](const Copied& c) {
            p_.host.hideGauges();
            showAfterCopy(listNode, sid, dir, c.listing);
            folder_.reloadNode(p_.tree.nodeById(expand));
            p_.host.refreshCommands();
            reportFailures(c.tally.failed, c.tally.cancelled);
        });
}

// ---------------------------------------------------------------- drops

void CopyExecutor::installDragAndDrop() {
    ExplorerTree* tree = &p_.tree;
    auto* onTree = new OleDnD(tree);
    onTree->setObjectName(QStringLiteral("DragAndDrop2"));
    onTree->setAcceptRule([this](const OleDnD::Probe&) { return !p_.host.busy(); });
    connect(onTree, &OleDnD::filesDropped, this, [this, tree](std::vector<std::string> paths, QModelIndex t) {
        dropOnTree(paths, tree->itemFromIndex(t));
    });
    connect(onTree, &OleDnD::internalDropped, this,
            [this, tree](QObject* source, QModelIndex t) { treeDragDrop(source, tree->itemFromIndex(t)); });
    QAbstractItemView* views[] = {p_.list.report(), p_.list.icons()};
    for (QAbstractItemView* view : views) {
        auto* onList = new OleDnD(view);
        onList->setObjectName(QStringLiteral("DragAndDrop1"));
        onList->setAcceptRule([this](const OleDnD::Probe& p) {
            if (p_.host.busy()) return false;
            // An internal drag may end on a folder item or on no item at all.
            return !p.internal || !p.target.isValid() || p_.model().item(p.target.row()).isFolderLike(folder_.remote());
        });
        connect(onList, &OleDnD::filesDropped, this, [this](std::vector<std::string> paths, QModelIndex t) {
            dropOnList(paths, t.isValid() ? t.row() : -1);
        });
        connect(onList, &OleDnD::internalDropped, this,
                [this](QObject* source, QModelIndex t) { listDragDrop(source, t.isValid() ? t.row() : -1); });
    }
    OleDnD::makeDragSource(tree);
    for (QAbstractItemView* v : views) OleDnD::makeDragSource(v);
}

void CopyExecutor::dropOnList(const std::vector<std::string>& paths, int targetRow) {
    if (p_.host.busy() || folder_.dir().empty()) return;
    std::string into = folder_.dir();
    if (targetRow >= 0 && targetRow < p_.model().rowCount()) {
        const FileItem& t = p_.model().item(targetRow);
        if (t.kind == ItemKind::LocalFolder || t.kind == ItemKind::RemoteFolder) into = folder_.dir() + t.name + "/";
    }
    runCopyJobs(planDesktop(droppable(paths), folder_.place(), into), nullptr);
}

void CopyExecutor::dropOnTree(const std::vector<std::string>& paths, QTreeWidgetItem* node) {
    const TNodeInfo* n = p_.tree.nodeInfo(node);
    if (p_.host.busy() || !n) return;
    runCopyJobs(planDesktop(droppable(paths), placeOf(n->session, n->Ip), asFolder(RetornaDirectori(*n))), node);
}

std::vector<std::string> CopyExecutor::droppable(const std::vector<std::string>& paths) const {
    std::vector<std::string> out;
    for (const std::string& p : paths) {
        std::error_code ec;
        auto st = std::filesystem::symlink_status(p, ec);
        if (ec || (!std::filesystem::is_directory(st) && !std::filesystem::is_regular_file(st) &&
                   !std::filesystem::is_symlink(st))) {
            uiPrompter().message("Item " + p + " is not a file or a folder");
            continue;
        }
        out.push_back(p);
    }
    return out;
}

std::vector<DropItem> CopyExecutor::selectedDropItems(int except) const {
    std::vector<DropItem> items;
    for (int r : p_.list.selectedRows())
        if (r != except) items.push_back({p_.model().item(r).kind, p_.model().item(r).name});
    return items;
}

void CopyExecutor::listDragDrop(QObject* source, int targetRow) {
    if (p_.host.busy() || folder_.dir().empty()) return;
    const Place here = folder_.place();
    const std::string dir = folder_.dir();
    std::vector<CopyJob> jobs;
    const FileItem* target =
        targetRow >= 0 && targetRow < p_.model().rowCount() ? &p_.model().item(targetRow) : nullptr;
    if (source == &p_.tree) {
        const TNodeInfo* s = p_.tree.nodeInfo(p_.tree.currentItem());
        if (!s || s->DirNom.empty()) {
            p_.host.beep();
            return;
        }
        // The folder's own place decides how it is copied, as for every drop.
        const std::string base = target ? dir + target->name + "/" : dir;
        jobs.push_back(planFolder(placeOf(s->session, s->Ip), asFolder(RetornaDirectori(*s)), s->DirNom, here, base));
    } else {
        if (!target) {
            p_.host.beep();
            return;
        }
        jobs = planItems(selectedDropItems(targetRow), here, dir, here, dir + target->name + "/");
    }
    runCopyJobs(std::move(jobs), nullptr);
}

void CopyExecutor::treeDragDrop(QObject* source, QTreeWidgetItem* node) {
    const TNodeInfo* n = p_.tree.nodeInfo(node);
    if (p_.host.busy()) return;
    if (!n) {
        p_.host.beep();
        return;
    }
    const Place to = placeOf(n->session, n->Ip);
    const std::string dest = asFolder(RetornaDirectori(*n));
    std::vector<CopyJob> jobs;
    if (source == &p_.tree) {
        const TNodeInfo* s = p_.tree.nodeInfo(p_.tree.currentItem());
        if (!s || s->DirNom.empty() || p_.tree.currentItem() == node) {
            p_.host.beep();
            return;
        }
        jobs.push_back(planFolder(placeOf(s->session, s->Ip), asFolder(RetornaDirectori(*s)), s->DirNom, to, dest));
    } else {
        jobs = planItems(selectedDropItems(), folder_.place(), folder_.dir(), to, dest);
    }
    runCopyJobs(std::move(jobs), node);
}

// ---------------------------------------------------------------- multi-host upload

std::vector<std::string> CopyExecutor::filesForMultiUpload() const {
    std::vector<std::string> files;
    for (int r : p_.list.selectedRows()) {
        const FileItem& it = p_.model().item(r);
        const std::string full = withSlash(it.path) + it.name;
        // Files go, whatever their names look like; folders are named and skipped.
        if (it.kind == ItemKind::LocalFile || it.kind == ItemKind::LocalHiddenFile) {
            files.push_back(full);
            continue;
        }
        uiPrompter().message("You can only use files with the multiple upload option.\rThe Folder: \"" + full +
                             "\" will not be used.");
    }
    return files;
}

} // namespace vn
