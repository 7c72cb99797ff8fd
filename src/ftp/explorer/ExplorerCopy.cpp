// The FTP window's clipboard, drops and copies: what the user copies, cuts,
// pastes or drags becomes copy jobs (CopyPlanner.h) that run on the worker;
// the list and the tree then show what the target now holds.
#include "ftp/explorer/TFTPfrm.h"

#include <QAbstractItemView>
#include <QListView>
#include <QTableView>
#include <QTimer>

#include <filesystem>

#include "UsefulTools/DragAndDrop/OleDnD.h"
#include "common/ui/InfoBox.h"
#include "common/ui/UiPrompter.h"
#include "common/ui/WireText.h"
#include "ftp/engine/copy/Clipboard.h"
#include "ftp/engine/copy/Copier.h"
#include "ftp/engine/copy/CopyPaths.h"

namespace vn {

namespace {

std::string asFolder(std::string path) {
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

} // namespace

std::vector<ClipEntry> TFTPfrm::clipEntries() const {
    std::vector<ClipEntry> out;
    for (int r : selectedRows()) {
        const FileItem& it = model_->item(r);
        bool folder = it.kind == ItemKind::LocalFolder || it.kind == ItemKind::RemoteFolder;
        ClipEntry e;
        e.session = currentSession_;
        e.address = currentSession_ ? currentIp_ : std::string();
        e.path = currentDir_ + it.name + (folder ? "/" : "");
        e.passive = currentPasv_;
        e.pasvPort = currentPasvPort_;
        out.push_back(e);
    }
    if (out.empty()) {
        // Nothing selected in the list: the selected folder node, unless it has no name.
        const TNodeInfo* n = nodeInfo(Tree->currentItem());
        if (n && !n->DirNom.empty()) {
            ClipEntry e;
            e.session = n->session;
            e.address = n->session ? n->Ip : std::string();
            e.path = RetornaDirectori(*n);
            if (e.path.empty() || e.path.back() != '/') e.path += "/";
            e.passive = n->Pasv;
            e.pasvPort = n->PASVPort;
            out.push_back(e);
        }
    }
    return out;
}

void TFTPfrm::writeClip(bool cut) {
    if (busy()) return;
    engine_->wait().lowerCancel();
    std::vector<ClipEntry> entries = clipEntries();
    if (entries.empty()) {
        beeps();
        return;
    }
    if (!writeClipboard(cut, entries)) {
        beeps();
        uiPrompter().message(kClipboardError);
        return;
    }
    model_->setCutMarks(cut ? selectedRows() : std::vector<int>{});
    HabilitarBotons();
}

void TFTPfrm::CopySBClick() { writeClip(false); }

void TFTPfrm::CutSBClick() { writeClip(true); }

void TFTPfrm::PAsteSBClick() {
    if (busy() || currentDir_.empty()) return;
    std::string error;
    std::optional<Clipboard> clip = readClipboard(&error);
    if (!clip) {
        if (!error.empty()) {
            beeps();
            uiPrompter().message(kClipboardError);
            Info->addLine(QStringLiteral(">ERROR: ") + fromWire(error));
        }
        return;
    }
    const SessionId sid = currentSession_;
    const std::string dir = currentDir_;
    const Destination dest{Place{sid, sid ? currentIp_ : std::string()}, dir};
    const TransferMode mode = pressedTransferMode();
    const NodeId node = nodeIdOf(Tree->currentItem());
    struct Pasted {
        PasteResult result;
        Entries listing;
    };
    operate(
        [e = engine_, t = transfer_, temp = temp_, clip = *clip, dest, mode, sid, dir] {
            FtpCopier copier(*e, *t, *temp);
            copier.setTransferMode(mode);
            Pasted p{copier.paste(clip, dest), std::nullopt};
            if (sid != 0 && !e->wait().cancelled()) p.listing = e->fesLIST(sid, dir, true);
            return p;
        },
        [this, sid, dir, node, clip = *clip](const Pasted& p) {
            DesactivarGauges();
            if (clip.cut && p.result.notDeleted == 0 && !p.result.cancelled) dropCutNodes(clip);
            if (sid != 0) {
                if (p.listing) applyListing(node, sid, dir, p.listing, ListTarget::List);
            } else if (currentSession_ == 0 && currentDir_ == dir) {
                MostrarFitxers(dir);
            }
            HabilitarBotons();
            // The log has the details; the user must not miss that something failed.
            if (!p.result.cancelled && p.result.failed > 0) {
                beeps();
                uiPrompter().message(p.result.failed == 1
                                         ? std::string("1 item could not be copied.")
                                         : std::to_string(p.result.failed) + " items could not be copied.");
            }
        });
}

void TFTPfrm::dropCutNodes(const Clipboard& clip) {
    // Every source of the cut is gone: its folder nodes would be stale.
    for (const ClipEntry& e : clip.entries) {
        if (!e.folder()) continue;
        QTreeWidgetItem* n = findNode(e.path, e.session);
        if (!n) continue;
        // The user is in it: the next listing shows what is left.
        if (!Tree->currentIsWithin(n)) Tree->deleteQuietly(n);
    }
}

void TFTPfrm::installDragAndDrop() {
    auto* onTree = new OleDnD(Tree);
    onTree->setObjectName(QStringLiteral("DragAndDrop2"));
    onTree->setAcceptRule([this](const OleDnD::Probe&) { return !busy(); });
    connect(onTree, &OleDnD::filesDropped, this,
            [this](std::vector<std::string> paths, QModelIndex t) { FerDropEnTree(paths, Tree->itemFromIndex(t)); });
    connect(onTree, &OleDnD::internalDropped, this,
            [this](QObject* source, QModelIndex t) { TreeDragDrop(source, Tree->itemFromIndex(t)); });
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(ListReport),
                                    static_cast<QAbstractItemView*>(ListIcons)}) {
        auto* onList = new OleDnD(view);
        onList->setObjectName(QStringLiteral("DragAndDrop1"));
        onList->setAcceptRule([this](const OleDnD::Probe& p) {
            if (busy()) return false;
            // An internal drag may end on a folder item or on no item at all.
            return !p.internal || !p.target.isValid() || model_->item(p.target.row()).isFolderLike(currentSession_ != 0);
        });
        connect(onList, &OleDnD::filesDropped, this,
                [this](std::vector<std::string> paths, QModelIndex t) { FerDropEnList(paths, t.isValid() ? t.row() : -1); });
        connect(onList, &OleDnD::internalDropped, this,
                [this](QObject* source, QModelIndex t) { ListDragDrop(source, t.isValid() ? t.row() : -1); });
    }
    for (QAbstractItemView* v : {static_cast<QAbstractItemView*>(Tree), static_cast<QAbstractItemView*>(ListReport),
                                 static_cast<QAbstractItemView*>(ListIcons)})
        OleDnD::makeDragSource(v);
}

void TFTPfrm::runCopyJobs(std::vector<CopyJob> jobs, QTreeWidgetItem* expandAfter) {
    if (jobs.empty()) return;
    const NodeId expand = nodeIdOf(expandAfter);
    const SessionId sid = currentSession_;
    const std::string dir = currentDir_;
    const NodeId listNode = nodeIdOf(Tree->currentItem());
    const TransferMode mode = pressedTransferMode();
    auto listing = std::make_shared<Entries>();
    startOperation(
        [this, jobs, mode, sid, dir, listing] {
            FtpCopier copier(*engine_, *transfer_, *temp_);
            copier.setTransferMode(mode);
            copier.startTotal(jobs.size());
            for (const CopyJob& j : jobs) {
                if (engine_->wait().cancelled()) break;
                if (j.tree) copier.CopiarDirectori(j.source, j.destination, j.dest, j.path);
                else copier.CopiarElement(j.source, j.destination, j.dest, j.path);
            }
            if (sid != 0 && !engine_->wait().cancelled()) *listing = engine_->fesLIST(sid, dir, true);
        },
        true, [this, expand, sid, dir, listNode, listing] {
            DesactivarGauges();
            if (sid != 0) {
                if (*listing) applyListing(listNode, sid, dir, *listing, ListTarget::List);
            } else if (currentSession_ == 0 && currentDir_ == dir) {
                MostrarFitxers(dir);
            }
            if (QTreeWidgetItem* n = nodeById(expand)) {
                // Expanding reloads the node's children, the new folders among them.
                Tree->EsborrarDesde(n, false);
                Tree->addPlaceholder(n);
                n->setExpanded(false);
                n->setExpanded(true);
            }
            HabilitarBotons();
        });
}

void TFTPfrm::FerDropEnList(const std::vector<std::string>& paths, int targetRow) {
    if (busy() || currentDir_.empty()) return;
    std::string folder = currentDir_;
    if (targetRow >= 0 && targetRow < model_->rowCount()) {
        const FileItem& t = model_->item(targetRow);
        if (t.kind == ItemKind::LocalFolder || t.kind == ItemKind::RemoteFolder) folder = currentDir_ + t.name + "/";
    }
    runCopyJobs(planDesktop(droppable(paths), placeOf(currentSession_, currentIp_), folder), nullptr);
}

void TFTPfrm::FerDropEnTree(const std::vector<std::string>& paths, QTreeWidgetItem* node) {
    const TNodeInfo* n = nodeInfo(node);
    if (busy() || !n) return;
    runCopyJobs(planDesktop(droppable(paths), placeOf(n->session, n->Ip), asFolder(RetornaDirectori(*n))), node);
}

std::vector<std::string> TFTPfrm::droppable(const std::vector<std::string>& paths) {
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

std::vector<DropItem> TFTPfrm::selectedDropItems(int except) const {
    std::vector<DropItem> items;
    for (int r : selectedRows())
        if (r != except) items.push_back({model_->item(r).kind, model_->item(r).name});
    return items;
}

void TFTPfrm::ListDragDrop(QObject* source, int targetRow) {
    if (busy() || currentDir_.empty()) return;
    const Place here = placeOf(currentSession_, currentIp_);
    std::vector<CopyJob> jobs;
    const FileItem* target = targetRow >= 0 && targetRow < model_->rowCount() ? &model_->item(targetRow) : nullptr;
    if (source == Tree) {
        const TNodeInfo* s = nodeInfo(Tree->currentItem());
        if (!s || s->DirNom.empty()) {
            beeps();
            return;
        }
        // The folder's own place decides how it is copied, as for every drop.
        const std::string base = target ? currentDir_ + target->name + "/" : currentDir_;
        jobs.push_back(planFolder(placeOf(s->session, s->Ip), asFolder(RetornaDirectori(*s)), s->DirNom, here, base));
    } else {
        if (!target) {
            beeps();
            return;
        }
        jobs = planItems(selectedDropItems(targetRow), here, currentDir_, here, currentDir_ + target->name + "/");
    }
    runCopyJobs(std::move(jobs), nullptr);
}

void TFTPfrm::TreeDragDrop(QObject* source, QTreeWidgetItem* node) {
    const TNodeInfo* n = nodeInfo(node);
    if (busy()) return;
    if (!n) {
        beeps();
        return;
    }
    const Place to = placeOf(n->session, n->Ip);
    const std::string dest = asFolder(RetornaDirectori(*n));
    std::vector<CopyJob> jobs;
    if (source == Tree) {
        const TNodeInfo* s = nodeInfo(Tree->currentItem());
        if (!s || s->DirNom.empty() || Tree->currentItem() == node) {
            beeps();
            return;
        }
        jobs.push_back(planFolder(placeOf(s->session, s->Ip), asFolder(RetornaDirectori(*s)), s->DirNom, to, dest));
    } else {
        jobs = planItems(selectedDropItems(), placeOf(currentSession_, currentIp_), currentDir_, to, dest);
    }
    runCopyJobs(std::move(jobs), node);
}

void TFTPfrm::UploadtoMultipleHosts1Click() {
    // Local files only, and something selected (the command's rule says the same).
    if (currentSession_ != 0 || selectedRows().empty()) return;
    std::vector<std::string> files;
    for (int r : selectedRows()) {
        const FileItem& it = model_->item(r);
        const std::string full = withSlash(it.path) + it.name;
        // Files go, whatever their names look like; folders are named and skipped.
        if (it.kind == ItemKind::LocalFile || it.kind == ItemKind::LocalHiddenFile) {
            files.push_back(full);
            continue;
        }
        uiPrompter().message("You can only use files with the multiple upload option.\rThe Folder: \"" + full +
                             "\" will not be used.");
    }
    emit uploadToMultipleHosts(files);
}

} // namespace vn
