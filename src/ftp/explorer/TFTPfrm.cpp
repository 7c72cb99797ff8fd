#include "ftp/explorer/TFTPfrm.h"

#include <sys/stat.h>

#include <QActionGroup>
#include <QResizeEvent>
#include <QKeyEvent>
#include <QListView>
#include <QMenu>
#include <QMetaObject>
#include <QProgressBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "common/DataFolder.h"
#include "common/IniFile.h"
#include "common/ui/Beeper.h"
#include "common/ui/Gauges.h"
#include "common/ui/InfoBox.h"
#include "common/ui/ThinkingIndicator.h"
#include "common/ui/UiPrompter.h"
#include "common/ui/UiSink.h"
#include "common/ui/WireText.h"
#include "ftp/explorer/LocalRoots.h"
#include "ftp/explorer/TSmartfrm.h"
#include "ftp/explorer/ExplorerLook.h"
#include "ftp/explorer/misc/ExplorerMisc.h"
#include "shell/TSysfrm.h"

namespace vn {

namespace {

QColor fromBgr(unsigned bgr) { return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF); }

std::string withSlash(std::string p) {
    if (p.empty() || p.back() != '/') p += '/';
    return p;
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
    if (misc_) misc_->retimeKeepAlive();
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
        List->setCursor(Qt::WaitCursor);
    } else {
        Tree->unsetCursor();
        List->unsetCursor();
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
    if (target != ListTarget::Tree && !entries) {
        folderOpen_ = false;
        updateStatus();
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
    folderOpen_ = true;
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

// Each node through the collapse rules: remote nodes get their placeholder,
// and the node above the current folder ends up selected.
void TFTPfrm::FullCollapse1Click() { Tree->collapseEverything(); }

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

// ---------------------------------------------------------------- list

bool TFTPfrm::MostrarFitxers(const std::string& path) {
    std::vector<FileItem> items;
    std::string p = withSlash(path);
    struct stat st{};
    folderOpen_ = stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && readLocalFolder(p, items);
    if (!folderOpen_) {
        updateStatus();
        return false;
    }
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

void TFTPfrm::updateStatus() { setStatus(folderOpen_ ? folderStatus() : QString()); }

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
