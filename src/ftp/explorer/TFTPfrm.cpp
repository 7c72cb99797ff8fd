#include "ftp/explorer/TFTPfrm.h"

#include <QActionGroup>
#include <QResizeEvent>
#include <QKeyEvent>
#include <QListView>
#include <QMenu>
#include <QProgressBar>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "common/DataFolder.h"
#include "common/IniFile.h"
#include "common/ui/Beeper.h"
#include "common/ui/Gauges.h"
#include "common/ui/InfoBox.h"
#include "common/ui/ThinkingIndicator.h"
#include "common/ui/UiPrompter.h"
#include "common/ui/WireText.h"
#include "ftp/explorer/PaneKeys.h"
#include "ftp/explorer/ExplorerSink.h"
#include "ftp/explorer/ExplorerLook.h"

namespace vn {

namespace {

QColor fromBgr(unsigned bgr) { return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF); }

} // namespace

// What the pieces see of the window.
class TFTPfrm::Host : public ExplorerHost {
public:
    explicit Host(TFTPfrm* w) : w_(w) {}
    QWidget* hostWidget() override { return w_; }
    bool busy() const override { return w_->busy(); }
    bool windowOpen() const override { return w_->closeState() == CloseState::Open; }
    OperationRunner& operations() override { return w_->runner(); }
    void refreshCommands() override { w_->HabilitarBotons(); }
    void beep() override { w_->beep(); }
    void log(const QString& line) override { w_->log(line); }
    void setStatus(const QString& text) override { w_->setStatus(text); }
    void startTotalGauge(std::uint64_t steps) override { w_->ActivartotalGauge(steps); }
    void hideGauges() override { w_->DesactivarGauges(); }
    TransferMode transferMode() const override { return w_->pressedTransferMode(); }
    void pressTransferType(int type) override {
        const char* names[] = {"ASCIISB", "BinarySB", "AutoTYPESB"};
        if (type >= 0 && type < 3) w_->button(QString::fromLatin1(names[type]))->click();
    }
    bool treeHasFocus() const override { return w_->treeHasFocus(); }

private:
    TFTPfrm* w_;
};

// ---------------------------------------------------------------- creation

TFTPfrm::TFTPfrm(QWidget* parent)
    : ToolWindow({QStringLiteral("FTPfrm"), QStringLiteral("FTP"), QStringLiteral("ftp.html")}, parent) {
    sink_ = &own(std::make_unique<ExplorerSink>(ExplorerSink::Window{
        this, [this] { HabilitarBotons(); }, [this](std::uint64_t d, std::uint64_t t) { setFileProgress(d, t); },
        [this](std::uint64_t d, std::uint64_t t) { setTotalProgress(d, t); }}));
    engine_ = &own(std::make_unique<FtpEngine>(*sink_, runner().prompter()));
    runner().useWait(engine_->wait());
    transfer_ = &own(std::make_unique<FtpTransfer>(*engine_));
    temp_ = &own(std::make_unique<TempFiles>());
    host_ = std::make_unique<Host>(this);
    Info = info();
    buildCommands();
    buildUi();
    sink_->attach(*engine_, *sessions_, runner());
    resize(760, 520);

    IniFile ini(configFile());
    ExplorerLook look = ExplorerLook::load(ini);
    treeWidth_ = look.TreeWidth;
    infoHeight_ = look.InfoHeight;

    nav_->showLocalRoots();
    FormatejarColors();
    finishSetup();
}

TFTPfrm::~TFTPfrm() {
    sessions_->stopKeepAlives();
    // The worker ends before the nodes go (the base would join it later).
    runner().stop();
    // The nodes go while the window they report to is still whole.
    Tree->clear();
    // The pieces go before the parts they share (the panes still send events while they close).
    delete keys_;
    delete copies_;
    delete files_;
    delete sessions_;
    delete nav_;
}

void TFTPfrm::buildUi() {
    const auto K = [](auto k) { return QKeySequence(k); };
    QAction* del = action("Delete1");
    vsplit_ = new QSplitter(Qt::Vertical, this);
    hsplit_ = new QSplitter(Qt::Horizontal, this);
    Tree = new ExplorerTree(hsplit_);
    // Only for the gauges' place: the tree's keys are PaneKeys'.
    Tree->installEventFilter(this);

    auto* right = new QWidget(hsplit_);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    List = new FileListPane([this] { return busy(); }, vsplit_);
    model_ = List->model();
    ListReport = List->report();
    ListIcons = List->icons();

    // The pieces that own the window's state.
    parts_.reset(new ExplorerParts{*host_, *engine_, *transfer_, *temp_, *Tree, *List});
    nav_ = new FolderNavigator(*parts_, this);
    sessions_ = new SessionList(*parts_, *nav_, this);
    files_ = new FileOperations(*parts_, *nav_, this);
    copies_ = new CopyExecutor(*parts_, *nav_, this);
    keys_ = new PaneKeys(*parts_, *nav_, *files_, this);
    connect(Tree, &ExplorerTree::nameEdited, files_, &FileOperations::treeEdited);
    connect(Tree, &ExplorerTree::editCancelled, this, [this] { HabilitarBotons(); });
    connect(List, &FileListPane::nameEdited, files_, &FileOperations::listEdited);
    connect(List, &FileListPane::editCancelled, files_, &FileOperations::listEditCancelled);
    copies_->installDragAndDrop();

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
    // is bound to its own widgets so the key is never ambiguous (Clear's is
    // the log box's own, bound there by the base).
    del->setShortcut(K(Qt::CTRL | Qt::Key_Delete));
    del->setShortcutContext(Qt::WidgetShortcut);
    Tree->addAction(del);
    ListReport->addAction(del);
    ListIcons->addAction(del);

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
    connect(Tree, &ExplorerTree::currentNodeChanged, nav_, &FolderNavigator::treeChanged);
    connect(Tree, &ExplorerTree::nodeExpanding, nav_, &FolderNavigator::treeExpanding);
    connect(Tree, &ExplorerTree::nodeCollapsed, nav_, &FolderNavigator::treeCollapsed);
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
        nav_->updateStatus();
        HabilitarBotons();
    });
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
    sessions_->setKeepAliveInterval(s.NOOPInterval);
    // Applied between operations, on the worker that uses them.
    runner().enqueue([e = engine_, s] { e->applySettings(s); });
}

QString TFTPfrm::currentDir() const { return fromWire(nav_->dir()); }

void TFTPfrm::openFolderAndSelect(const std::string& path, SessionId session, const QString& name) {
    nav_->openPath(path, session, [this, name] { selectListItem(name); });
}

TransferMode TFTPfrm::pressedTransferMode() const {
    if (commands().at("ASCIImode1")->isChecked()) return TransferMode::Ascii;
    if (commands().at("Binarymode1")->isChecked()) return TransferMode::Binary;
    return TransferMode::Auto;
}

// ---------------------------------------------------------------- operations

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

void TFTPfrm::aborting(bool closing) {
    // A closing window does not wait for late replies.
    if (closing) engine_->setClosing(true);
    thinking()->setBusy(false);
    busyLook(false);
    if (!engine_->connecting()) DesactivarGauges();
}

void TFTPfrm::FTPMenuPopup() { emit FTPMenu->aboutToShow(); }

void TFTPfrm::Logout1Click() {
    if (busy()) return;
    QTreeWidgetItem* at = nodeById(popupNode_);
    popupNode_ = 0;
    sessions_->logout(at ? at : Tree->currentItem());
}

void TFTPfrm::UploadtoMultipleHosts1Click() {
    // Local files only, and something selected (the command's rule says the same).
    if (nav_->remote() || selectedRows().empty()) return;
    emit uploadToMultipleHosts(copies_->filesForMultiUpload());
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

// ---------------------------------------------------------------- list


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

// Each node through the collapse rules: remote nodes get their placeholder,
// and the node above the current folder ends up selected.
void TFTPfrm::FullCollapse1Click() { Tree->collapseEverything(); }


// ---------------------------------------------------------------- events

bool TFTPfrm::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::Enter && qobject_cast<QToolBar*>(watched)) {
        HabilitarBotons();
    } else if ((type == QEvent::Resize || type == QEvent::Show) && (watched == Tree || watched == gauges())) {
        placeGauges();
    }
    return QWidget::eventFilter(watched, event);
}

ToolWindow::CloseAnswer TFTPfrm::aboutToClose() {
    if (serverNodes().empty()) return CloseAnswer::CloseNow;
    if (!uiPrompter().askYesNo("There are still open connections. Do you want to close them?"))
        return CloseAnswer::Refuse;
    parts_->run([e = engine_] { e->quitAll(); });
    return CloseAnswer::LastRound;
}

void TFTPfrm::windowClosing() {
    sessions_->stopKeepAlives();
    nav_->stop();
    engine_->wait().raiseCancel();
    // Only this window's own temporary files: another window may be using its own.
    temp_->clean();
    IniFile ini(configFile());
    QList<int> h = hsplit_->sizes(), v = vsplit_->sizes();
    // A window never shown keeps what it read.
    ini.writeInt("FTP", "TreeWidth", sizesApplied_ && !h.isEmpty() ? h.value(0) : treeWidth_);
    ini.writeInt("FTP", "InfoHeight", sizesApplied_ && v.size() > 1 ? v.value(1) : infoHeight_);
}

} // namespace vn
