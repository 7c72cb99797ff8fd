#include "ftp/explorer/TFTPfrm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMetaObject>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <mutex>

#include "common/DataFolder.h"
#include "common/IniFile.h"
#include "common/ui/Beeper.h"
#include "common/ui/InfoBox.h"
#include "common/ui/ThinkingIndicator.h"
#include "common/ui/UiPrompter.h"
#include "common/ui/WireText.h"
#include "ftp/engine/QuickHost.h"
#include "ftp/explorer/TQuickfrm.h"
#include "shell/History.h"

namespace vn {

namespace {

QColor fromBgr(unsigned bgr) { return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF); }

constexpr int kSessionRole = Qt::UserRole + 1;

} // namespace

// Runs on the worker thread; everything that touches widgets is queued to the UI thread.
class TFTPfrm::Sink : public FtpSink {
public:
    explicit Sink(TFTPfrm* w) : w_(w) {}

    void log(const std::string& line) override {
        post([w = w_, line] { w->Info->addLine(fromWire(line)); });
    }
    void beep() override {
        std::string sound;
        {
            std::lock_guard lock(mutex_);
            sound = sound_;
        }
        beeps(sound);
    }
    void connectingChanged(bool on) override {
        post([w = w_, on] {
            w->StatusBar->showMessage(on ? QStringLiteral("Connecting...") : QString());
            w->HabilitarBotons();
        });
    }
    void sessionOpened(const SessionInfo& info) override {
        post([w = w_, info] { w->addServerNode(info); });
    }
    void sessionClosed(SessionId id) override {
        post([w = w_, id] { w->removeServerNode(id); });
    }
    void setSound(std::string s) {
        std::lock_guard lock(mutex_);
        sound_ = std::move(s);
    }

private:
    template <class F>
    void post(F f) {
        QMetaObject::invokeMethod(w_, std::move(f), Qt::QueuedConnection);
    }
    TFTPfrm* w_;
    std::mutex mutex_;
    std::string sound_;
};

TFTPfrm::TFTPfrm(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("FTPfrm"));
    setWindowTitle(QStringLiteral("FTP"));
    sink_ = std::make_unique<Sink>(this);
    engine_ = std::make_unique<FtpEngine>(*sink_, uiPrompter());
    worker_ = std::make_unique<TaskThread>();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto makeAction = [this](const QString& text, const QKeySequence& key, void (TFTPfrm::*slot)()) {
        auto* a = new QAction(text, this);
        if (!key.isEmpty()) a->setShortcut(key);
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(a, &QAction::triggered, this, slot);
        addAction(a);
        return a;
    };
    QuickAction = makeAction(QStringLiteral("&Quick Connection"), QKeySequence(Qt::CTRL | Qt::Key_Q), &TFTPfrm::QuickSBClick);
    SiteManagerAction = new QAction(QStringLiteral("Site &Manager"), this);
    SiteManagerAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    SiteManagerAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    SiteManagerAction->setEnabled(false);
    QuitAction = makeAction(QStringLiteral("&Break Connection (Quit)"), QKeySequence(Qt::Key_F10), &TFTPfrm::QuitSBClick);
    AbortAction = makeAction(QStringLiteral("A&bort"), QKeySequence(Qt::Key_F9), &TFTPfrm::AbortSBClick);
    AbortPopupAction = new QAction(QStringLiteral("&Abort"), this);
    connect(AbortPopupAction, &QAction::triggered, this, &TFTPfrm::AbortSBClick);
    LogoutAction = makeAction(QStringLiteral("Logout from this FTP Server"), QKeySequence(Qt::CTRL | Qt::Key_Escape),
                              &TFTPfrm::Logout1Click);

    auto* menuBar = new QMenuBar(this);
    FTPMenu = menuBar->addMenu(QStringLiteral("&FTP"));
    FTPMenu->addAction(SiteManagerAction);
    FTPMenu->addAction(QuickAction);
    LastHostsMenu = FTPMenu->addMenu(QStringLiteral("&Last Hosts Visited"));
    FTPMenu->addSeparator();
    FTPMenu->addAction(QuitAction);
    FTPMenu->addAction(AbortAction);
    connect(FTPMenu, &QMenu::aboutToShow, this, &TFTPfrm::FTPMenuPopup);
    layout->setMenuBar(menuBar);

    auto* toolBar = new QToolBar(this);
    auto makeButton = [&](const char* name, const QString& caption, const QString& hint, QAction* action) {
        auto* b = new QToolButton(toolBar);
        b->setObjectName(QString::fromLatin1(name));
        b->setText(caption);
        b->setToolTip(hint);
        b->setStatusTip(hint);
        b->setAccessibleName(hint);
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        connect(b, &QToolButton::clicked, action, &QAction::trigger);
        toolBar->addWidget(b);
        return b;
    };
    ConnectarAServidorSB = makeButton("ConnectarAServidorSB", QStringLiteral("Sites"),
                                      QStringLiteral("Connect to a new FTP Server (Site Manager)"), SiteManagerAction);
    QuickSB = makeButton("QuickSB", QStringLiteral("Quick"), QStringLiteral("Quick Connection"), QuickAction);
    QuitSB = makeButton("QuitSB", QStringLiteral("Quit"), QStringLiteral("Logout (QUIT)"), QuitAction);
    AbortSB = makeButton("AbortSB", QStringLiteral("Abort"), QStringLiteral("Abort"), AbortAction);
    toolBar->addSeparator();
    ProgressBar = new ThinkingIndicator(toolBar);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    toolBar->addWidget(ProgressBar);
    layout->addWidget(toolBar);

    auto* vsplit = new QSplitter(Qt::Vertical, this);
    auto* hsplit = new QSplitter(Qt::Horizontal, vsplit);
    Tree = new QTreeWidget(hsplit);
    Tree->setObjectName(QStringLiteral("Tree"));
    Tree->setAccessibleName(QStringLiteral("Folders"));
    Tree->setHeaderHidden(true);
    Tree->setContextMenuPolicy(Qt::CustomContextMenu);
    List = new QTreeWidget(hsplit);
    List->setObjectName(QStringLiteral("List"));
    List->setAccessibleName(QStringLiteral("Files"));
    List->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Size"), QStringLiteral("Date"),
                           QStringLiteral("Attributes")});
    List->setRootIsDecorated(false);
    Info = new InfoBox(vsplit);
    Info->setObjectName(QStringLiteral("Info"));
    Info->setAccessibleName(QStringLiteral("Information"));
    Info->setMirrorCaption(windowTitle());
    vsplit->setStretchFactor(0, 4);
    vsplit->setStretchFactor(1, 1);
    layout->addWidget(vsplit, 1);

    TreePopup = new QMenu(this);
    TreePopup->addAction(LogoutAction);
    TreePopup->addAction(AbortPopupAction);
    connect(Tree, &QTreeWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        popupNode_ = Tree->itemAt(pos);
        LogoutAction->setEnabled(!busy_ && popupNode_);
        TreePopup->popup(Tree->viewport()->mapToGlobal(pos));
    });
    connect(Tree, &QTreeWidget::currentItemChanged, this, [this] { takeCurrentFromSelection(); });

    StatusBar = new QStatusBar(this);
    StatusBar->setSizeGripEnabled(false);
    layout->addWidget(StatusBar);

    resize(760, 520);
    FormatejarColors();
    HabilitarBotons();
}

TFTPfrm::~TFTPfrm() {
    engine_->wait().abort();
    worker_->stop();
    for (auto& [id, t] : keepAlive_) t->stop();
}

void TFTPfrm::FormatejarColors() {
    IniFile ini(configFile());
    FtpSettings s = FtpSettings::load(ini);
    QPalette pal = Info->palette();
    pal.setColor(QPalette::Base, fromBgr(s.InfoBoxColor));
    pal.setColor(QPalette::Text, fromBgr(s.InfoBoxFontColor));
    Info->setPalette(pal);
    QPalette lp = List->palette();
    lp.setColor(QPalette::Text, fromBgr(s.ListFontColor));
    List->setPalette(lp);
    Info->setMaxLines(s.MaxInfoBox);
    ProgressBar->setIntervals(100, 300);
    ProgressBar->setThinkingDisabled(s.DisableThinking);
    sink_->setSound(s.actionSound());
    noopInterval_ = s.NOOPInterval;
    worker_->post([e = engine_.get(), s] { e->applySettings(s); });
}

bool TFTPfrm::startOperation(std::function<void()> op, bool userOperation) {
    if (busy_) return false;
    busy_ = true;
    if (userOperation) engine_->wait().lowerCancel();
    setBusyLook(true);
    HabilitarBotons();
    worker_->post([this, op = std::move(op)] {
        op();
        engine_->finishOperation();
        QMetaObject::invokeMethod(this, [this] { endOperation(); }, Qt::QueuedConnection);
    });
    return true;
}

void TFTPfrm::endOperation() {
    busy_ = false;
    setBusyLook(false);
    HabilitarBotons();
    emit operationFinished();
    if (quitThenClose_) {
        quitThenClose_ = false;
        closeConfirmed_ = true;
        closeWindow();
    } else if (closePending_) {
        closePending_ = false;
        closeWindow();
    }
}

void TFTPfrm::closeWindow() {
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) sub->close();
    else close();
}

void TFTPfrm::setBusyLook(bool busy) {
    ProgressBar->setBusy(busy);
    if (busy) {
        Tree->setCursor(Qt::WaitCursor);
        List->setCursor(Qt::WaitCursor);
    } else {
        Tree->unsetCursor();
        List->unsetCursor();
    }
}

void TFTPfrm::HabilitarBotons() {
    bool idle = !busy_;
    QuickAction->setEnabled(idle);
    QuickSB->setEnabled(idle);
    QuitAction->setEnabled(idle && currentSession_ != 0);
    QuitSB->setEnabled(QuitAction->isEnabled());
    AbortAction->setEnabled(busy_);
    AbortSB->setEnabled(busy_);
    AbortPopupAction->setEnabled(busy_);
    LogoutAction->setEnabled(idle && !nodes_.empty());
    LastHostsMenu->setEnabled(idle && !LastHostsMenu->actions().isEmpty());
    ConnectarAServidorSB->setEnabled(false);
    if (!engine_->connecting())
        StatusBar->showMessage(nodes_.empty() ? QStringLiteral("Not Connected.") : QString());
}

void TFTPfrm::AbortSBClick() {
    // Wakes the worker's pending wait at once; the operation unwinds and ends itself.
    engine_->wait().abort();
    setBusyLook(false);
    HabilitarBotons();
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
    startOperation([e = engine_.get(), p] { e->connectWithRetries(p, {}, RetryStyle::Quick); });
}

void TFTPfrm::QuickSBClick() {
    if (busy_) return;
    TQuickfrm dialog(this);
    runQuickDialog(dialog, false);
}

void TFTPfrm::FesConnectar(const QString& host) {
    if (busy_) return;
    TQuickfrm dialog(this);
    dialog.setHost(host);
    runQuickDialog(dialog, true);
}

void TFTPfrm::mostrarQuick(const QString& parameter) {
    if (busy_) return;
    TQuickfrm dialog(this);
    dialog.setHost(fromWire(mostrarQuickHost(toWire(parameter))));
    runQuickDialog(dialog, true);
}

void TFTPfrm::mostrarQuick(const QuickPreset& preset) {
    if (busy_) return;
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

void TFTPfrm::FTPMenuPopup() {
    LastHostsMenu->clear();
    IniFile ini(configFile());
    for (const std::string& host : History(ini, "FTP").entries()) {
        QString caption = fromWire(host);
        QString text = caption;
        text.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* a = LastHostsMenu->addAction(text);
        connect(a, &QAction::triggered, this, [this, caption] { FesConnectar(caption); });
    }
    LastHostsMenu->setEnabled(!busy_ && !LastHostsMenu->actions().isEmpty());
}

QTreeWidgetItem* TFTPfrm::topLevelOf(QTreeWidgetItem* item) const {
    while (item && item->parent()) item = item->parent();
    return item;
}

void TFTPfrm::QuitSBClick() {
    if (busy_) return;
    if (currentSession_ == 0) {
        beeps(std::string());
        return;
    }
    QTreeWidgetItem* top = topLevelOf(Tree->currentItem());
    QString caption = top ? top->text(0) : QString();
    if (!uiPrompter().askYesNo(toWire(QStringLiteral("Do you confirm that you want to Quit '%1'?").arg(caption))))
        return;
    SessionId id = currentSession_;
    startOperation([e = engine_.get(), id] { e->DesConnecta(id); });
}

void TFTPfrm::Logout1Click() {
    if (busy_) return;
    QTreeWidgetItem* top = topLevelOf(popupNode_ ? popupNode_ : Tree->currentItem());
    if (!top) return;
    SessionId id = top->data(0, kSessionRole).toULongLong();
    if (id == 0) return;
    QString caption = top->text(0);
    if (!uiPrompter().askYesNo(toWire(QStringLiteral("Do you confirm that you want to Quit '%1'?").arg(caption))))
        return;
    startOperation([e = engine_.get(), id] { e->DesConnecta(id); });
}

void TFTPfrm::addServerNode(const SessionInfo& info) {
    auto* node = new QTreeWidgetItem(Tree, {fromWire(info.caption)});
    node->setData(0, kSessionRole, QVariant::fromValue<qulonglong>(info.id));
    nodes_[info.id] = node;
    Tree->setCurrentItem(node);
    currentSession_ = info.id;
    currentDir_ = fromWire(info.workingDir);
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
    if (auto it = nodes_.find(id); it != nodes_.end()) {
        delete it->second;
        nodes_.erase(it);
    }
    takeCurrentFromSelection();
    List->clear();
    HabilitarBotons();
}

void TFTPfrm::takeCurrentFromSelection() {
    QTreeWidgetItem* top = topLevelOf(Tree->currentItem());
    currentSession_ = top ? top->data(0, kSessionRole).toULongLong() : 0;
    if (currentSession_ == 0) currentDir_.clear();
    HabilitarBotons();
}

void TFTPfrm::fesNOOPTick(SessionId id) {
    // The keep-alive never interrupts: it does nothing while the window is busy.
    if (busy_) return;
    startOperation([e = engine_.get(), id] { e->fesNOOP(id); }, false);
}

void TFTPfrm::closeEvent(QCloseEvent* event) {
    if (closeConfirmed_) {
        for (auto& [id, t] : keepAlive_) t->stop();
        event->accept();
        return;
    }
    if (busy_) {
        closePending_ = true;
        AbortSBClick();
        event->ignore();
        return;
    }
    if (!nodes_.empty()) {
        event->ignore();
        if (!uiPrompter().askYesNo("There are still open connections. Do you want to close them?")) return;
        quitThenClose_ = true;
        startOperation([e = engine_.get()] { e->quitAll(); });
        return;
    }
    event->accept();
}

} // namespace vn
