#include "ftp/explorer/TFTPfrm.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

#include <cerrno>

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLocale>
#include <QPersistentModelIndex>
#include <QResizeEvent>
#include <QSplitterHandle>
#include <QStyledItemDelegate>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMetaObject>
#include <QProgressBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <filesystem>
#include <fstream>
#include <mutex>

#include "common/DataFolder.h"
#include "common/IniFile.h"
#include "common/ui/Beeper.h"
#include "common/ui/HelpService.h"
#include "common/ui/Gauges.h"
#include "common/ui/InfoBox.h"
#include "common/ui/ThinkingIndicator.h"
#include "common/ui/UiPrompter.h"
#include "common/ui/UiSink.h"
#include "common/ui/WireText.h"
#include "ftp/engine/QuickHost.h"
#include "ftp/explorer/LocalRoots.h"
#include "ftp/engine/copy/Clipboard.h"
#include "ftp/engine/copy/Copier.h"
#include "UsefulTools/DragAndDrop/OleDnD.h"
#include "ftp/explorer/TFilePropfrm.h"
#include "ftp/explorer/TQuickfrm.h"
#include "ftp/explorer/TSmartfrm.h"
#include "ftp/explorer/ExplorerLook.h"
#include "sites/SiteConnect.h"
#include "sites/ui/TSitefrm.h"
#include "common/History.h"
#include "shell/TSysfrm.h"

namespace vn {

namespace {

QColor fromBgr(unsigned bgr) { return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF); }

std::string withSlash(std::string p) {
    if (p.empty() || p.back() != '/') p += '/';
    return p;
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

// Runs on the worker; the base's forwarder queues every report to the UI thread.
class TFTPfrm::Sink : public UiSink<FtpSink> {
public:
    explicit Sink(TFTPfrm* w) : UiSink<FtpSink>(w), w_(w) {}

    void connectingChanged(bool on) override {
        post([w = w_, on] {
            w->setStatus(on ? QStringLiteral("Connecting...") : QString());
            if (!on) w->HabilitarBotons();
        });
    }
    void sessionOpened(const SessionInfo& info) override {
        // The first listing of the working folder, still inside the connect:
        // it builds the server node, its folder chain and the file list.
        Entries entries = w_->engine_->fesLIST(info.id, info.workingDir, true);
        post([w = w_, info, entries] { w->buildServerChain(info, entries); });
    }
    void sessionClosed(SessionId id) override {
        post([w = w_, id] { w->removeServerNode(id); });
    }
    void fileProgress(std::uint64_t done, std::uint64_t total) override {
        post([w = w_, done, total] { w->setFileProgress(done, total); });
    }
    void totalProgress(std::uint64_t done, std::uint64_t total) override {
        post([w = w_, done, total] { w->setTotalProgress(done, total); });
    }
    ResumeAnswer askSmartResume(const std::string& localPath) override {
        // Asked like every question of the worker: Abort or closing the window
        // answers it with "don't transfer".
        TFTPfrm* w = w_;
        return w_->runner().prompter().ask<ResumeAnswer>(
            [w, localPath] { return TSmartfrm::ask(localPath, w); }, ResumeAnswer::DontTransfer);
    }

private:
    template <class F>
    void post(F f) {
        QMetaObject::invokeMethod(w_, std::move(f), Qt::QueuedConnection);
    }
    TFTPfrm* w_;
};

// ---------------------------------------------------------------- creation

TFTPfrm::TFTPfrm(QWidget* parent)
    : ToolWindow({QStringLiteral("FTPfrm"), QStringLiteral("FTP"), QStringLiteral("ftp.html")}, parent) {
    sink_ = &own(std::make_unique<Sink>(this));
    engine_ = &own(std::make_unique<FtpEngine>(*sink_, runner().prompter()));
    runner().useWait(engine_->wait());
    transfer_ = &own(std::make_unique<FtpTransfer>(*engine_));
    temp_ = &own(std::make_unique<TempFiles>());
    Info = info();
    buildCommands();
    buildUi();
    resize(760, 520);

    IniFile ini(configFile());
    ExplorerLook look = ExplorerLook::load(ini);
    treeWidth_ = look.TreeWidth;
    infoHeight_ = look.InfoHeight;

    MostrarUnitatsLocals();
    FormatejarColors();
    finishSetup();
}

TFTPfrm::~TFTPfrm() {
    for (auto& [id, t] : keepAlive_) t->stop();
    // The worker ends before the nodes go (the base would join it later).
    runner().stop();
    // The nodes go while the window they report to is still whole.
    Tree->clear();
}

void TFTPfrm::buildUi() {
    const auto K = [](auto k) { return QKeySequence(k); };
    QAction* del = action("Delete1");
    QAction* clear = action("Clear1");
    vsplit_ = new QSplitter(Qt::Vertical, this);
    hsplit_ = new QSplitter(Qt::Horizontal, this);
    Tree = new ExplorerTree(hsplit_);
    connect(Tree, &ExplorerTree::nameEdited, this, &TFTPfrm::TreeEdited);
    connect(Tree, &ExplorerTree::editCancelled, this, [this] { HabilitarBotons(); });
    Tree->installEventFilter(this);

    auto* right = new QWidget(hsplit_);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    List = new FileListPane([this] { return busy(); }, vsplit_);
    ListStack = List;
    model_ = List->model();
    ListReport = List->report();
    ListIcons = List->icons();
    ListReport->viewport()->installEventFilter(this);
    ListReport->installEventFilter(this);
    ListIcons->installEventFilter(this);
    connect(List, &FileListPane::nameEdited, this, &TFTPfrm::ListEdited);
    connect(List, &FileListPane::editCancelled, this, &TFTPfrm::ListEditCancelled);
    installDragAndDrop();
    vsplit_->addWidget(Info);
    QFont bold = Info->font();
    bold.setBold(true);
    Info->setFont(bold);
    rightLayout->addWidget(vsplit_);
    vsplit_->setStretchFactor(0, 4);
    vsplit_->setStretchFactor(1, 1);
    hsplit_->setStretchFactor(1, 1);
    setCentralWidget(hsplit_);

    // Delete in the tree and list and Clear in the log share Ctrl+Del: each
    // is bound to its own widgets so the key is never ambiguous.
    del->setShortcut(K(Qt::CTRL | Qt::Key_Delete));
    del->setShortcutContext(Qt::WidgetShortcut);
    Tree->addAction(del);
    ListReport->addAction(del);
    ListIcons->addAction(del);
    (void)clear; // Clear's Ctrl+Del is the log box's own (the base binds it there)

    // The gauges line up with the panes above them: the total gauge under the
    // tree, the file gauge under the list (placeGauges follows the splitter).
    gauges()->installEventFilter(this);

    auto listMenu = [this](QAbstractItemView* v) {
        connect(v, &QWidget::customContextMenuRequested, this, [this, v](const QPoint& pos) {
            UploadPopupSeparator->setVisible(true);
            UploadPopupAction->setVisible(true);
            LogoutAction->setVisible(false);
            ListPopup->popup(v->viewport()->mapToGlobal(pos));
        });
    };
    listMenu(ListReport);
    listMenu(ListIcons);
    connect(Tree, &QTreeWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        QTreeWidgetItem* at = Tree->itemAt(pos);
        popupNode_ = nodeIdOf(at);
        const TNodeInfo* n = nodeInfo(at);
        UploadPopupSeparator->setVisible(false);
        UploadPopupAction->setVisible(false);
        LogoutAction->setVisible(n && n->remote());
        LogoutAction->setEnabled(!busy() && n && n->remote());
        ListPopup->popup(Tree->viewport()->mapToGlobal(pos));
    });
    connect(Tree, &ExplorerTree::currentNodeChanged, this, &TFTPfrm::TreeChange);
    connect(Tree, &ExplorerTree::nodeExpanding, this, &TFTPfrm::TreeExpanding);
    connect(Tree, &ExplorerTree::nodeCollapsed, this, &TFTPfrm::TreeCollapsed);
    connect(List, &FileListPane::activated, this, &TFTPfrm::ListDblClick);
    connect(List, &FileListPane::columnClicked, this, &TFTPfrm::ListColumnClick);
    connect(hsplit_, &QSplitter::splitterMoved, this, [this] { placeGauges(); });
    // Enabling follows the selection, the current item and activation (the base).
    connect(ListReport->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
        if (!busy()) HabilitarBotons();
    });
    connect(ListReport->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (busy()) return;
        engine_->wait().lowerCancel();
        updateStatus();
        HabilitarBotons();
    });

    mousetimer = new QTimer(this);
    mousetimer->setObjectName(QStringLiteral("mousetimer"));
    connect(mousetimer, &QTimer::timeout, this, &TFTPfrm::mousetimerTimer);
    setViewStyle(ViewStyle::Report);
}

void TFTPfrm::FormatejarColors() {
    IniFile ini(configFile());
    FtpSettings s = FtpSettings::load(ini);
    const ExplorerLook look = ExplorerLook::load(ini);
    applyColors({fromBgr(look.InfoBoxColor), fromBgr(look.InfoBoxFontColor), fromBgr(look.FileGaugeColor),
                 fromBgr(look.TotalGaugeColor)});
    model_->setTextColor(fromBgr(look.ListFontColor));
    setMaxInfoBox(look.MaxInfoBox);
    thinking()->setThinkingDisabled(look.DisableThinking);
    setActionSound(look.actionSound());
    noopInterval_ = s.NOOPInterval;
    // Applied between operations, on the worker that uses them.
    runner().enqueue([e = engine_, s] { e->applySettings(s); });
}

QString TFTPfrm::currentDir() const { return fromWire(currentDir_); }

// ---------------------------------------------------------------- operations

bool TFTPfrm::startOperation(std::function<void()> op, bool userOperation, std::function<void()> then) {
    if (busy()) return false;
    engine_->setClosing(false);
    auto work = [e = engine_, op = std::move(op)] {
        op();
        e->finishOperation();
    };
    // A window on its way to closing starts nothing after the operation.
    auto done = [this, then = std::move(then)] {
        if (then && closeState() == CloseState::Open) then();
    };
    return userOperation ? runner().run(work, done) : runner().runQuiet(work, done);
}

void TFTPfrm::busyLook(bool busy) {
    if (busy) {
        Tree->setCursor(Qt::WaitCursor);
        ListStack->setCursor(Qt::WaitCursor);
    } else {
        Tree->unsetCursor();
        ListStack->unsetCursor();
    }
}

// The pane the user is in: the window's focus child, which is there already
// while the window is not the active one (a click there did not activate it).
bool TFTPfrm::treeHasFocus() const { return focusWidget() == Tree; }
bool TFTPfrm::listHasFocus() const {
    QWidget* f = focusWidget();
    return f == ListReport || f == ListIcons;
}

void TFTPfrm::HabilitarBotons() { updateCommands(); }

void TFTPfrm::DesactivaBotonsTx() { updateCommands(); }

void TFTPfrm::AbortSBClick() {
    // Wakes the worker's pending wait (and its question) at once; the
    // operation unwinds and ends itself.
    abort();
}

void TFTPfrm::aborting(bool closing) {
    // A closing window does not wait for late replies.
    if (closing) engine_->setClosing(true);
    thinking()->setBusy(false);
    busyLook(false);
    if (!engine_->connecting()) DesactivarGauges();
}

// ---------------------------------------------------------------- gauges

QWidget* TFTPfrm::gaugePanel() const { return gauges(); }
QProgressBar* TFTPfrm::totalGauge() const { return gauges()->total(); }
QProgressBar* TFTPfrm::fileGauge() const { return gauges()->file(); }

void TFTPfrm::placeGauges() {
    // The total gauge ends at the splitter bar's left edge, the file gauge
    // starts one pixel past its right edge. The tree's right edge is the bar's
    // left edge (the tree is resized before the bar moves, so the bar's own
    // geometry may still be the old one).
    const int left = Tree->mapTo(this, QPoint(Tree->width(), 0)).x() - gauges()->x();
    gauges()->setDivider(std::max(0, left), hsplit_->handleWidth());
}

void TFTPfrm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (sizesApplied_) return;
    // Only a laid-out splitter keeps the sizes it is given.
    sizesApplied_ = true;
    hsplit_->setSizes({treeWidth_, std::max(100, hsplit_->width() - treeWidth_)});
    vsplit_->setSizes({std::max(100, vsplit_->height() - infoHeight_), infoHeight_});
    placeGauges();
}

void TFTPfrm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeGauges();
}

void TFTPfrm::ActivartotalGauge(std::uint64_t n) {
    gauges()->setTotal(0, n);
    placeGauges();
    ActivarFileGauge(0);
}

void TFTPfrm::ActivarFileGauge(std::uint64_t n) {
    gauges()->setFile(0, n);
    placeGauges();
}

void TFTPfrm::IncrementarTotalGauge() { gauges()->stepTotal(); }

void TFTPfrm::setTotalProgress(std::uint64_t done, std::uint64_t total) {
    const bool placed = gauges()->total()->isVisible();
    gauges()->setTotal(done, total);
    if (!placed) placeGauges();
}

void TFTPfrm::IncrementarFileGauge(std::uint64_t k) { gauges()->addFile(k); }

void TFTPfrm::setFileProgress(std::uint64_t done, std::uint64_t total) {
    const bool placed = gauges()->file()->isVisible();
    gauges()->setFile(done, total);
    if (!placed) placeGauges();
}

void TFTPfrm::DesactivarGauges() { gauges()->hideAll(); }

// ---------------------------------------------------------------- tree

void TFTPfrm::MostrarUnitatsLocals() {
    if (const TNodeInfo* n = nodeInfo(Tree->showLocalRoots())) MostrarFitxers(RetornaDirectori(*n));
}

void TFTPfrm::takeCurrentFrom(const TNodeInfo& n) {
    currentDir_ = RetornaDirectori(n);
    currentIp_ = n.Ip;
    currentSession_ = n.session;
    currentPasv_ = n.Pasv;
    currentPasvPort_ = n.PASVPort;
}

void TFTPfrm::TreeExpanding(QTreeWidgetItem* item) {
    if (engine_->connecting() && busy()) return;
    const TNodeInfo* n = nodeInfo(item);
    if (!n) return;
    if (!n->remote()) {
        Tree->EsborrarDesde(item, false);
        Tree->MostrarDirectoris(item);
        return;
    }
    if (busy()) {
        // One operation at a time: the node stays as it was, ready to expand later.
        Tree->setExpandedQuietly(item, false);
        return;
    }
    Tree->EsborrarDesde(item, false);
    listRemote(nodeIdOf(item), n->session, RetornaDirectori(*n), ListTarget::Tree);
}

void TFTPfrm::TreeCollapsed(QTreeWidgetItem* item) {
    const TNodeInfo* n = nodeInfo(item);
    if (!n) return;
    if (n->remote()) Tree->addPlaceholder(item);
    const std::string dir = RetornaDirectori(*n);
    // Local roots overlap ("/" holds home): the current node must also be
    // inside the collapsed one, not only its path.
    bool below = false;
    for (QTreeWidgetItem* p = Tree->currentItem(); p && !below; p = p->parent()) below = p->parent() == item;
    if (below && n->session == currentSession_ && isSubfolder(currentDir_, dir)) {
        Tree->setCurrentQuietly(item);
        takeCurrentFrom(*n);
        mousetimer->start(100);
    }
}

void TFTPfrm::TreeChange() {
    if (busy() || engine_->connecting() || engine_->listingBusy()) return;
    const TNodeInfo* n = nodeInfo(Tree->currentItem());
    if (!n) return;
    currentIp_ = n->Ip;
    currentPasv_ = n->Pasv;
    currentPasvPort_ = n->PASVPort;
    currentSession_ = n->session;
    if (!mousetimer->isActive()) mousetimer->start(50);
    HabilitarBotons();
}

void TFTPfrm::mousetimerTimer() {
    // Waits (the timer keeps running) until the window is idle.
    if (busy() || engine_->listingBusy()) return;
    mousetimer->stop();
    engine_->wait().lowerCancel();
    QTreeWidgetItem* item = Tree->currentItem();
    const TNodeInfo* n = nodeInfo(item);
    if (!n) return;
    model_->clear();
    if (n->remote()) {
        listRemote(nodeIdOf(item), n->session, RetornaDirectori(*n), ListTarget::List);
    } else {
        MostrarFitxers(RetornaDirectori(*n));
        takeCurrentFrom(*n);
        HabilitarBotons();
    }
}

void TFTPfrm::listRemote(NodeId node, SessionId sid, const std::string& folder, ListTarget target,
                         std::function<void(bool)> after) {
    auto result = std::make_shared<Entries>();
    auto cancelled = std::make_shared<bool>(false);
    bool cwd = target != ListTarget::Tree;
    bool started = startOperation(
        [e = engine_, sid, folder, cwd, result, cancelled] {
            *result = e->fesLIST(sid, folder, cwd);
            *cancelled = e->wait().cancelled();
        },
        true,
        [this, node, sid, folder, target, result, cancelled, after] {
            applyListing(node, sid, folder, *result, target);
            if (after) after(result->has_value() && !*cancelled);
        });
    if (!started && after) after(false);
}

void TFTPfrm::applyListing(NodeId node, SessionId sid, const std::string& folder, const Entries& entries,
                           ListTarget target) {
    QTreeWidgetItem* item = nodeById(node);
    if (!Tree->serverNode(sid)) return; // the server went meanwhile: nothing of it is shown
    if (target != ListTarget::List && item && entries) {
        Tree->EsborrarDesde(item, false);
        Tree->addRemoteChildren(item, *entries);
    }
    if (target != ListTarget::Tree && entries) {
        fillRemoteList(*entries, folder);
        currentSession_ = sid;
        if (const TNodeInfo* n = nodeInfo(item)) {
            currentIp_ = n->Ip;
            currentPasv_ = n->Pasv;
            currentPasvPort_ = n->PASVPort;
        }
    }
    HabilitarBotons();
}

void TFTPfrm::fillRemoteList(const std::vector<ListingEntry>& entries, const std::string& folder) {
    currentDir_ = withSlash(folder);
    model_->setItems(remoteItems(entries, currentDir_), true);
    updateStatus();
}

void TFTPfrm::passaListATree(const std::string& name) {
    QTreeWidgetItem* node = Tree->currentItem();
    const TNodeInfo* parent = nodeInfo(node);
    if (!parent) return;
    TNodeInfo base = *parent;
    base.Ip = currentIp_;
    base.session = currentSession_;
    base.Pasv = currentPasv_;
    base.PASVPort = currentPasvPort_;
    Tree->addListedFolders(node, model_->items(), base, currentDir_, name);
}

void TFTPfrm::ObrirSubdirectoris(const std::string& path, SessionId session) {
    if (path.empty()) return;
    std::string p = withSlash(path[0] == '/' ? path : "/" + path);
    openPathStep(p, session, 1);
}

void TFTPfrm::openPathStep(std::string path, SessionId session, std::size_t pos) {
    // The prefixes "/", "/a/", "/a/b/" ... each select their node and reload it.
    std::size_t next = path.find('/', pos);
    std::string prefix = path.substr(0, pos);
    QTreeWidgetItem* item = findNode(prefix, session);
    bool more = next != std::string::npos;
    if (item) Tree->setCurrentQuietly(item);
    if (item && more) {
        NodeId id = nodeIdOf(item);
        const TNodeInfo* n = nodeInfo(item);
        auto goOn = [this, id, path, session, next] {
            if (QTreeWidgetItem* again = nodeById(id)) {
                Tree->expandAsIs(again);
            }
            openPathStep(path, session, next + 1);
        };
        if (n->remote()) {
            Tree->EsborrarDesde(item, false);
            listRemote(id, session, prefix, ListTarget::Tree, [this, goOn](bool ok) {
                if (ok && !engine_->wait().cancelled()) goOn();
            });
        } else {
            Tree->EsborrarDesde(item, false);
            Tree->MostrarDirectoris(item);
            goOn();
        }
        return;
    }
    // The whole path into the list.
    if (session != 0) {
        listRemote(nodeIdOf(Tree->currentItem()), session, path, ListTarget::List);
    } else if (MostrarFitxers(path)) {
        HabilitarBotons();
    }
}

void TFTPfrm::FullCollapse1Click() {
    // Deepest first, each through the collapse rules: remote nodes get their
    // placeholder, and the node above the current folder ends up selected.
    std::vector<NodeId> expanded;
    std::vector<QTreeWidgetItem*> stack;
    for (int i = 0; i < Tree->topLevelItemCount(); ++i) stack.push_back(Tree->topLevelItem(i));
    while (!stack.empty()) {
        QTreeWidgetItem* it = stack.back();
        stack.pop_back();
        if (it->isExpanded()) expanded.push_back(nodeIdOf(it));
        for (int i = 0; i < it->childCount(); ++i) stack.push_back(it->child(i));
    }
    for (auto id = expanded.rbegin(); id != expanded.rend(); ++id)
        if (QTreeWidgetItem* it = nodeById(*id)) it->setExpanded(false);
}

void TFTPfrm::FullExpand1Click() {
    if (busy()) return;
    engine_->wait().lowerCancel();
    std::vector<NodeId> pending;
    for (int i = 0; i < Tree->topLevelItemCount(); ++i) pending.push_back(nodeIdOf(Tree->topLevelItem(i)));
    fullExpandStep(std::move(pending));
}

void TFTPfrm::fullExpandStep(std::vector<NodeId> pending) {
    // One node per step, so the window stays live and Abort can stop it.
    while (!pending.empty()) {
        if (engine_->wait().cancelled()) return;
        NodeId id = pending.front();
        pending.erase(pending.begin());
        QTreeWidgetItem* item = nodeById(id);
        const TNodeInfo* n = nodeInfo(item);
        if (!n || n->symlink || n->kind == NodeKind::RemoteLink) continue;
        auto children = [this](QTreeWidgetItem* it, std::vector<NodeId>& into) {
            std::vector<NodeId> kids;
            for (int i = 0; i < it->childCount(); ++i)
                if (NodeId k = nodeIdOf(it->child(i))) kids.push_back(k);
            into.insert(into.begin(), kids.begin(), kids.end());
        };
        if (n->remote()) {
            Tree->EsborrarDesde(item, false);
            listRemote(id, n->session, RetornaDirectori(*n), ListTarget::Tree, [this, id, pending, children](bool ok) {
                auto rest = pending;
                if (!ok || engine_->wait().cancelled()) return;
                if (QTreeWidgetItem* again = nodeById(id)) {
                    if (again->childCount() > 0) Tree->expandAsIs(again);
                    else again->setExpanded(true);
                    children(again, rest);
                }
                fullExpandStep(std::move(rest));
            });
            return;
        }
        item->setExpanded(true); // loads the level
        if (item->childCount() > 0 && isPlaceholder(item->child(0)) && item->childCount() == 1) {
            Tree->EsborrarDesde(item, false);
            Tree->MostrarDirectoris(item);
        }
        children(item, pending);
        QTimer::singleShot(0, this, [this, pending] { fullExpandStep(pending); });
        return;
    }
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

// ---------------------------------------------------------------- sessions

void TFTPfrm::buildServerChain(const SessionInfo& info, const Entries& entries) {
    Tree->addServerChain(info, connectingLogin_, entries ? &*entries : nullptr);
    currentDir_ = withSlash(info.workingDir);
    currentSession_ = info.id;
    currentIp_ = info.dotted;
    currentPasv_ = info.passive;
    currentPasvPort_ = 0;
    if (entries) fillRemoteList(*entries, currentDir_);
    else model_->clear();
    if (noopInterval_ > 0) {
        auto* t = new QTimer(this);
        t->setInterval(noopInterval_ * 1000);
        SessionId id = info.id;
        connect(t, &QTimer::timeout, this, [this, id] { fesNOOPTick(id); });
        t->start();
        keepAlive_[id] = t;
    }
    HabilitarBotons();
}

void TFTPfrm::removeServerNode(SessionId id) {
    if (auto it = keepAlive_.find(id); it != keepAlive_.end()) {
        it->second->stop();
        it->second->deleteLater();
        keepAlive_.erase(it);
    }
    Tree->removeServer(id);
    if (currentSession_ == id) {
        model_->clear();
        if (const TNodeInfo* n = nodeInfo(Tree->currentItem())) {
            takeCurrentFrom(*n);
            if (!n->remote()) MostrarFitxers(RetornaDirectori(*n));
            else mousetimer->start(50);
        } else {
            currentDir_.clear();
            currentSession_ = 0;
        }
    }
    HabilitarBotons();
}

void TFTPfrm::fesNOOPTick(SessionId id) {
    // The keep-alive never interrupts: it does nothing while the window is busy.
    if (busy()) return;
    startOperation([e = engine_, id] { e->fesNOOP(id); }, false);
}

void TFTPfrm::runQuickDialog(TQuickfrm& dialog, bool passwordAsTyped) {
    if (uiPrompter().exec(dialog) != QDialog::Accepted) return;
    ConnectParams p;
    p.host = toWire(dialog.host());
    p.login = toWire(dialog.login());
    p.password = passwordAsTyped ? toWire(dialog.password()) : dialog.connectPassword();
    p.passive = dialog.passive();
    p.port = dialog.port();
    p.siteName = "FTP";
    connectAndOpen(p, {}, RetryStyle::Quick, dialog.transferType(), toWire(dialog.remoteDir().trimmed()));
}

void TFTPfrm::connectAndOpen(const ConnectParams& p, const std::vector<std::string>& alternates, RetryStyle style,
                             int transferType, const std::string& remoteDir) {
    connectingLogin_ = p.login;
    auto id = std::make_shared<std::optional<SessionId>>();
    startOperation([e = engine_, p, alternates, style, id] { *id = e->connectWithRetries(p, alternates, style); },
                   true, [this, id, remoteDir, transferType] {
                       if (!*id) return;
                       const char* names[] = {"ASCIISB", "BinarySB", "AutoTYPESB"};
                       if (transferType >= 0 && transferType < 3)
                           button(QString::fromLatin1(names[transferType]))->click();
                       if (!remoteDir.empty()) ObrirSubdirectoris(remoteDir, **id);
                   });
}

void TFTPfrm::ConnectarAServidorSBClick() {
    if (busy()) return;
    TSitefrm dialog(this);
    if (uiPrompter().exec(dialog) != QDialog::Accepted) return;
    std::optional<SiteChoice> c = dialog.choice();
    if (!c) return;
    connectAndOpen(siteConnectParams(c->site, c->email), siteAlternates(c->site), RetryStyle::SiteManager,
                   c->site.TransferType, c->site.RemoteDir);
}

void TFTPfrm::QuickSBClick() {
    if (busy()) return;
    TQuickfrm dialog(this);
    runQuickDialog(dialog, false);
}

void TFTPfrm::FesConnectar(const QString& host) {
    if (busy()) return;
    TQuickfrm dialog(this);
    dialog.setHost(host);
    runQuickDialog(dialog, true);
}

void TFTPfrm::mostrarQuick(const QString& parameter) {
    if (busy()) return;
    TQuickfrm dialog(this);
    dialog.setHost(fromWire(mostrarQuickHost(toWire(parameter))));
    runQuickDialog(dialog, true);
}

void TFTPfrm::mostrarQuick(const QuickPreset& preset) {
    if (busy()) return;
    TQuickfrm dialog(this);
    dialog.setHost(preset.host);
    auto set = [&](const char* name, const QString& text) {
        if (text.isEmpty()) return;
        if (auto* e = dialog.findChild<QLineEdit*>(QString::fromLatin1(name))) e->setText(text);
    };
    set("LoginEdit", preset.login);
    set("PasswordEdit", preset.password);
    set("remotediredit", preset.remoteDir);
    if (preset.port > 0) set("PortEdit", QString::number(preset.port));
    runQuickDialog(dialog, true);
}

void TFTPfrm::FTPMenuPopup() { emit FTPMenu->aboutToShow(); }

void TFTPfrm::QuitSBClick() {
    if (busy()) return;
    if (currentSession_ == 0) {
        beeps();
        return;
    }
    SessionId id = currentSession_;
    QTreeWidgetItem* server = Tree->serverNode(id);
    const QString caption = server ? server->text(0) : QString();
    if (!uiPrompter().askYesNo(toWire(QStringLiteral("Do you confirm that you want to Quit '%1'?").arg(caption))))
        return;
    startOperation([e = engine_, id] { e->DesConnecta(id); });
}

void TFTPfrm::Logout1Click() {
    if (busy()) return;
    QTreeWidgetItem* at = nodeById(popupNode_);
    QTreeWidgetItem* top = Tree->topLevelOf(at ? at : Tree->currentItem());
    popupNode_ = 0;
    const TNodeInfo* n = nodeInfo(top);
    if (!n || !n->remote()) return;
    SessionId id = n->session;
    QString caption = top->text(0);
    if (!uiPrompter().askYesNo(toWire(QStringLiteral("Do you confirm that you want to Quit '%1'?").arg(caption))))
        return;
    startOperation([e = engine_, id] { e->DesConnecta(id); });
}

void TFTPfrm::pasvmode1Click() {
    if (busy() || currentSession_ == 0) return;
    QTreeWidgetItem* top = Tree->serverNode(currentSession_);
    bool pasv = !currentPasv_;
    int port = currentPasvPort_;
    FormatejaTreePASV(top, pasv, port);
    currentPasv_ = pasv;
    SessionId id = currentSession_;
    startOperation([e = engine_, id, pasv, port] { e->setPassive(id, pasv, port); });
}

// ---------------------------------------------------------------- list

bool TFTPfrm::MostrarFitxers(const std::string& path) {
    std::vector<FileItem> items;
    std::string p = withSlash(path);
    struct stat st{};
    if (stat(p.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    if (!readLocalFolder(p, items)) return false;
    currentDir_ = p;
    currentIp_.clear();
    currentPasv_ = false;
    currentPasvPort_ = -1;
    currentSession_ = 0;
    model_->setItems(std::move(items), false);
    updateStatus();
    return true;
}

std::vector<int> TFTPfrm::selectedRows() const { return List->selectedRows(); }

int TFTPfrm::QuantsSeleccionats() const { return List->selectedCount(); }

QString TFTPfrm::folderStatus() const {
    return QStringLiteral("%1 - [Total Files : %2] - [Selected Files : %3]")
        .arg(fromWire(currentDir_))
        .arg(model_->rowCount())
        .arg(QuantsSeleccionats());
}

void TFTPfrm::updateStatus() { setStatus(folderStatus()); }

bool TFTPfrm::selectListItem(const QString& name) { return List->selectItem(name); }

void TFTPfrm::ListColumnClick(int column) {
    if (busy()) {
        vn::beeps(std::string());
        return;
    }
    bool remote = currentSession_ != 0;
    switch (column) {
    case 0: model_->sortBy(SortColumn::Name); break;
    case 1: model_->sortBy(SortColumn::Size); break;
    case 2: model_->sortBy(SortColumn::Type); break;
    case 3:
        if (remote) beeps();
        else model_->sortBy(SortColumn::Modified);
        break;
    default: beeps(); break;
    }
    updateStatus();
}

void TFTPfrm::setViewStyle(ViewStyle v) {
    List->setViewStyle(v);
    const char* names[] = {"viewIcon1", "viewSmall1", "viewList1", "viewReport1"};
    commands().at(names[static_cast<int>(v)])->setChecked(true);
}

void TFTPfrm::ShowGridSBClick() {
    List->setGridShown(!List->gridShown());
    commands().at("Grid1")->setChecked(List->gridShown());
    commands().at("ShowGrid1")->setChecked(List->gridShown());
}

void TFTPfrm::InformationBox1Click() {
    bool show = vsplit_->sizes().value(1) == 0;
    for (const char* n : {"InformationBox1", "ShowInfoBox1", "ShowInformationBox1"})
        commands().at(n)->setChecked(show);
    int total = std::max(vsplit_->height(), 100);
    vsplit_->setSizes({show ? total - 50 : total, show ? 50 : 0});
}

void TFTPfrm::Clear1Click() { Info->clearLines(); }

void TFTPfrm::SelectAllSBClick() {
    engine_->wait().lowerCancel();
    List->selectAll();
}

void TFTPfrm::InvertSelectionSBClick() {
    engine_->wait().lowerCancel();
    List->invertSelection();
}

void TFTPfrm::RefreshSBClick() {
    if (busy()) return;
    engine_->wait().lowerCancel();
    if (currentDir_.empty()) return;
    if (currentSession_ != 0) {
        listRemote(nodeIdOf(Tree->currentItem()), currentSession_, currentDir_, ListTarget::List);
    } else {
        MostrarFitxers(currentDir_);
        HabilitarBotons();
    }
}

void TFTPfrm::UpSBClick() {
    if (busy()) return;
    engine_->wait().lowerCancel();
    QTreeWidgetItem* item = Tree->currentItem();
    QTreeWidgetItem* parent = item ? item->parent() : nullptr;
    const TNodeInfo* pn = nodeInfo(parent);
    if (!pn) {
        beeps();
        return;
    }
    Tree->setCurrentQuietly(parent);
    model_->clear();
    if (!pn->remote()) {
        MostrarFitxers(RetornaDirectori(*pn));
        takeCurrentFrom(*pn);
        HabilitarBotons();
        return;
    }
    NodeId pid = nodeIdOf(parent);
    SessionId sid = pn->session;
    std::string dir = RetornaDirectori(*pn);
    auto result = std::make_shared<Entries>();
    auto where = std::make_shared<std::string>(dir);
    startOperation(
        [e = engine_, sid, result, where] {
            // CWD to the folder shown first: the server's own working folder may be elsewhere.
            e->fesCDUP(sid);
            if (auto info = e->sessionInfo(sid)) *where = info->workingDir;
            if (!e->wait().cancelled()) *result = e->fesLIST(sid, *where, true);
        },
        true, [this, pid, sid, result, where] { applyListing(pid, sid, *where, *result, ListTarget::List); });
}

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

void TFTPfrm::startTreeEdit(QTreeWidgetItem* item) {
    if (!Tree->startEdit(item)) beeps();
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

// ---------------------------------------------------------------- drag and drop

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

namespace {

std::string asFolder(std::string path) {
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

} // namespace

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
    const std::string parent = withSlash(n->Path);
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

void TFTPfrm::ListDblClick() {
    if (List->editing() || Tree->editing()) return;
    if (busy()) {
        vn::beeps(std::string());
        return;
    }
    engine_->wait().lowerCancel();
    std::vector<int> rows = selectedRows();
    int row = List->currentRow();
    if (row < 0 && rows.size() == 1) row = rows[0];
    QTreeWidgetItem* node = Tree->currentItem();
    if (row < 0 || row >= model_->rowCount() || !nodeInfo(node)) return;
    const FileItem it = model_->item(row);
    const bool folder = opensAsFolder(it.kind);
    if (folder && currentSession_ != 0) {
        const std::string target = currentDir_ + it.name + "/";
        if (node->isExpanded()) {
            for (int i = 0; i < node->childCount(); ++i) {
                const TNodeInfo* c = nodeInfo(node->child(i));
                if (c && RetornaDirectori(*c) == target) {
                    Tree->setCurrentQuietly(node->child(i));
                    break;
                }
            }
        } else {
            passaListATree(it.name);
        }
        listRemote(nodeIdOf(Tree->currentItem()), currentSession_, target, ListTarget::List);
        return;
    }
    if (folder) {
        std::string target = currentDir_ + it.name + "/";
        if (!MostrarFitxers(target)) return;
        if (node->childCount() == 1 && isPlaceholder(node->child(0))) {
            node->setExpanded(true);
        }
        for (int i = 0; i < node->childCount(); ++i) {
            const TNodeInfo* c = nodeInfo(node->child(i));
            if (c && c->DirNom == it.name) {
                Tree->setCurrentQuietly(node->child(i));
                break;
            }
        }
        HabilitarBotons();
        return;
    }
    if (currentSession_ != 0) {
        openRemoteFile(it.name);
        return;
    }
    if (!openLocalFile(QString::fromStdString(currentDir_ + it.name)))
        Info->addLine(QStringLiteral(">Can not open ") + fromWire(currentDir_ + it.name));
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

void TFTPfrm::System1Click() {
    if (busy()) return;
    SessionId sid = currentSession_;
    if (treeHasFocus())
        if (const TNodeInfo* n = nodeInfo(Tree->currentItem())) sid = n->session;
    if (sid == 0) {
        std::string folder = currentDir_.empty() ? "/" : currentDir_;
        DriveFacts f;
        auto m = mountOf(folder, currentMounts());
        std::uint64_t total = 0, freeBytes = 0;
        if (m && diskSpace(folder, total, freeBytes)) {
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
        }
        TSysfrm dialog(fromWire(folder), f, this);
        uiPrompter().exec(dialog);
        HabilitarBotons();
        return;
    }
    startOperation([e = engine_, sid] { e->fesSYST(sid); });
}

// ---------------------------------------------------------------- events

bool TFTPfrm::eventFilter(QObject* watched, QEvent* event) {
    bool inList = List && List->isListView(watched);
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseMove && watched == ListReport->viewport()) {
        updateStatus();
    } else if (type == QEvent::Enter && qobject_cast<QToolBar*>(watched)) {
        HabilitarBotons();
    } else if ((type == QEvent::Resize || type == QEvent::Show) && (watched == Tree || watched == gauges())) {
        placeGauges();
    } else if (type == QEvent::KeyPress && (inList || watched == Tree)) {
        if (List->editing() || Tree->editing()) return QWidget::eventFilter(watched, event);
        auto* k = static_cast<QKeyEvent*>(event);
        if (inList) List->noteKey();
        // While busy the key is swallowed: the selection must not move under
        // the running operation.
        if (busy()) return true;
        const bool plain = k->modifiers() == Qt::NoModifier;
        if (k->key() == Qt::Key_Delete && plain) {
            if (watched == Tree) deleteTreeNode(Tree->currentItem());
            else if (QuantsSeleccionats() > 0) DeleteSBClick();
            return true;
        }
        if (k->key() == Qt::Key_F2 && plain) {
            if (watched == Tree) startTreeEdit(Tree->currentItem());
            else if (QuantsSeleccionats() == 1) List->startEdit(selectedRows()[0]);
            return true;
        }
        if (inList && (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter)) {
            if (QuantsSeleccionats() == 1) ListDblClick();
            return true;
        }
    } else if (type == QEvent::KeyRelease && inList) {
        if (List->editing()) return QWidget::eventFilter(watched, event);
        auto* k = static_cast<QKeyEvent*>(event);
        List->noteKey();
        // A key never lowers the cancel flag of a running operation: that would
        // undo an Abort.
        if (busy()) return true;
        engine_->wait().lowerCancel();
        if (k->key() == Qt::Key_Escape && QuantsSeleccionats() == 1 && model_->item(selectedRows()[0]).name.empty())
            removeNamelessItems();
        HabilitarBotons();
    }
    return QWidget::eventFilter(watched, event);
}

void TFTPfrm::emptyTemp() {
    // Only this window's own temporary files: another window may be using its own.
    temp_->clean();
}

ToolWindow::CloseAnswer TFTPfrm::aboutToClose() {
    if (serverNodes().empty()) return CloseAnswer::CloseNow;
    if (!uiPrompter().askYesNo("There are still open connections. Do you want to close them?"))
        return CloseAnswer::Refuse;
    startOperation([e = engine_] { e->quitAll(); });
    return CloseAnswer::LastRound;
}

void TFTPfrm::windowClosing() {
    for (auto& [id, t] : keepAlive_) t->stop();
    mousetimer->stop();
    engine_->wait().raiseCancel();
    emptyTemp();
    IniFile ini(configFile());
    QList<int> h = hsplit_->sizes(), v = vsplit_->sizes();
    // A window never shown keeps what it read.
    ini.writeInt("FTP", "TreeWidth", sizesApplied_ && !h.isEmpty() ? h.value(0) : treeWidth_);
    ini.writeInt("FTP", "InfoHeight", sizesApplied_ && v.size() > 1 ? v.value(1) : infoHeight_);
}

} // namespace vn
