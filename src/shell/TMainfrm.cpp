#include "shell/TMainfrm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMetaObject>
#include <QRegularExpression>
#include <QScreen>
#include <QSet>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QThreadPool>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <filesystem>
#include <system_error>

#include "common/DataFolder.h"
#include "common/ui/UiPrompter.h"
#include "ftp/explorer/TFTPfrm.h"
#include "multiupload/ui/Tmultipleuploadfrm.h"
#include "shell/CommandLine.h"
#include "common/ui/HelpService.h"
#include "shell/LocalHost.h"
#include "shell/MdiLayout.h"
#include "shell/Pictures.h"
#include "shell/ProductInfo.h"
#include "shell/TAboutfrm.h"
#include "common/ui/ToolWindow.h"
#include "shell/TIPConfigfrm.h"

namespace vn {

namespace {

const char* const kToolProperty = "vnToolKind";

struct ToolCommand {
    ToolKind kind;
    const char* button;
    const char* buttonHint;
    QStyle::StandardPixmap picture;
    const char* entry;
    const char* key;   // portable text
    bool keyTextOnly;  // shown in the menu, not bound (the key belongs to an earlier entry)
    const char* entryHint;
};

// Tool bar left to right and the Sessions menu top to bottom.
const ToolCommand kTools[] = {
    {ToolKind::FTP, "&FTP", "New FTP Session", QStyle::SP_DriveNetIcon, "&FTP Session", "Ctrl+F", false,
     "Create a new FTP session"},
    {ToolKind::Upload, "&MFTP", "Upload files to multiple hosts", QStyle::SP_ArrowUp,
     "&Upload to Multiple Hosts Session", "Ctrl+U", false, ""},
    {ToolKind::TFTPClient, "TFTP Cli.", "New Trivial FTP Client Session", QStyle::SP_ArrowDown,
     "TFTP &Client Session", "Ctrl+Alt+C", false, ""},
    {ToolKind::TFTPServer, "TFTP Srv.", "New Trivial FTP Server Session", QStyle::SP_DriveHDIcon,
     "TFTP &Server Session", "Ctrl+Alt+S", false, ""},
    {ToolKind::Telnet, "&Telnet", "New Telnet Session", QStyle::SP_ComputerIcon, "&Telnet Session", "Ctrl+T", false,
     "Create a new Telnet session"},
    {ToolKind::Ping, "&Ping", "New Ping Session", QStyle::SP_BrowserReload, "&Ping Session", "Ctrl+P", false,
     "Create a new Ping session"},
    {ToolKind::Traceroute, "Tracero&ute ", "New Traceroute Session", QStyle::SP_ArrowForward, "Tracero&ute Session",
     "Ctrl+U", true, ""},
    {ToolKind::Finger, "F&inger", "New Finger Session", QStyle::SP_FileDialogInfoView, "F&inger Session", "Ctrl+I",
     false, ""},
    {ToolKind::Whois, "&Whois", "New WhoIs/Nickname session", QStyle::SP_MessageBoxQuestion, "&Whois Session",
     "Ctrl+W", false, ""},
    {ToolKind::DNS, "&DNS", "New DNS Session", QStyle::SP_DirLinkIcon, "&DNS facility", "Ctrl+D", false,
     "Creates a new WhatIP window"},
    {ToolKind::DayTime, "Da&yTime", "New DayTime Session", QStyle::SP_FileDialogDetailedView, "Da&yTime Session",
     "Ctrl+Y", false, "New DayTime Session"},
    {ToolKind::Time, "Ti&me", "New Time Session", QStyle::SP_FileDialogContentsView, "Ti&me Session", "Ctrl+M", false,
     ""},
};

struct TrayCommand {
    const char* entry;
    ToolKind kind;
};

const TrayCommand kTrayTools[] = {
    {"Open with &FTP session", ToolKind::FTP},       {"Open with &Telnet session", ToolKind::Telnet},
    {"Open with F&inger session", ToolKind::Finger}, {"Open with &Ping", ToolKind::Ping},
    {"Open with &DNS session", ToolKind::DNS},       {"Open with &Whois session", ToolKind::Whois},
};

QString text(const char* s) { return QString::fromLatin1(s); }

QString plainCaption(QString s) {
    s.remove(QRegularExpression(QStringLiteral("&(?!&)")));
    return s.trimmed();
}

void setHint(QAction* a, const QString& hint) {
    if (hint.isEmpty()) return;
    a->setStatusTip(hint);
    a->setToolTip(hint);
}

QRect bounded(const QRect& r, const QWidget& w) {
    return QRect(r.topLeft(), r.size().boundedTo(w.maximumSize()).expandedTo(w.minimumSize()));
}

} // namespace

TMainfrm::TMainfrm(ToolRegistry tools, QWidget* parent) : QMainWindow(parent), tools_(std::move(tools)) {
    setObjectName(QStringLiteral("Mainfrm"));
    setWindowTitle(text(product::kMainCaption));
    setWindowIcon(programIcon());
    mdi_ = new QMdiArea(this);
    mdi_->setObjectName(QStringLiteral("MdiArea"));
    mdi_->setAccessibleName(QStringLiteral("Windows"));
    setCentralWidget(mdi_);

    panel_ = new QLabel(this);
    panel_->setObjectName(QStringLiteral("StatusPanel"));
    panel_->setAccessibleName(QStringLiteral("Status"));
    statusBar()->addWidget(panel_);
    statusBar()->setSizeGripEnabled(true);

    buildCommands();
    buildTray();
    connect(mdi_, &QMdiArea::subWindowActivated, this, [this] { applyShortcutRule(); });


    resize(800, 600);
    if (QScreen* s = QGuiApplication::primaryScreen())
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), s->availableGeometry()));
    panel_->setFixedWidth(width() * 2 / 3);
}

TMainfrm::~TMainfrm() {
    // The children go with the base class, after this class's members.
    disconnect(mdi_, nullptr, this, nullptr);
    for (QMdiSubWindow* s : mdi_->subWindowList()) disconnect(s, nullptr, this, nullptr);
    if (upload_) delete upload_.data();
}

QAction* TMainfrm::keep(QAction* a) {
    if (!a->shortcuts().isEmpty()) ownKeys_.insert(a, a->shortcuts());
    return a;
}

void TMainfrm::buildCommands() {
    toolBar_ = addToolBar(QStringLiteral("Sessions"));
    toolBar_->setObjectName(QStringLiteral("ToolBar"));
    toolBar_->setMovable(false);
    toolBar_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    sessions_ = menuBar()->addMenu(QStringLiteral("&Sessions"));
    sessions_->setObjectName(QStringLiteral("SessionsMenu"));

    for (const ToolCommand& c : kTools) {
        const bool built = tools_.has(c.kind);
        auto trigger = [this, kind = c.kind] {
            if (kind == ToolKind::Upload) openUpload();
            else openTool(kind);
        };

        // Tool-bar buttons carry no keys: the menus own the Alt letters.
        auto* b = new QAction(style()->standardIcon(c.picture), text(c.button), this);
        b->setIconText(plainCaption(text(c.button)));
        setHint(b, text(c.buttonHint));
        b->setEnabled(built);
        connect(b, &QAction::triggered, this, trigger);
        toolBar_->addAction(b);
        if (QWidget* w = toolBar_->widgetForAction(b)) {
            w->setAccessibleName(plainCaption(text(c.button)));
            w->setAccessibleDescription(text(c.buttonHint));
        }
        buttonActions_[c.kind] = b;

        QString entry = text(c.entry);
        if (c.keyTextOnly) entry += QLatin1Char('\t') + text(c.key);
        auto* m = new QAction(entry, this);
        if (!c.keyTextOnly) m->setShortcut(QKeySequence::fromString(text(c.key), QKeySequence::PortableText));
        setHint(m, text(c.entryHint));
        m->setEnabled(built);
        connect(m, &QAction::triggered, this, trigger);
        sessions_->addAction(keep(m));
        sessionActions_[c.kind] = m;
    }

    // The help group, 13 pixels after the session buttons.
    auto* gap = new QWidget(toolBar_);
    gap->setFixedWidth(13);
    toolBar_->addWidget(gap);
    auto* helpButton = new QAction(style()->standardIcon(QStyle::SP_DialogHelpButton), QStringLiteral("Help"), this);
    setHint(helpButton, QStringLiteral("Do you need help?"));
    connect(helpButton, &QAction::triggered, this, &TMainfrm::Contents);
    toolBar_->addAction(helpButton);
    if (QWidget* w = toolBar_->widgetForAction(helpButton)) w->setAccessibleName(QStringLiteral("Help"));

    sessions_->addSeparator();
    closeActive_ = sessions_->addAction(QStringLiteral("&Close Active Window"), this, &TMainfrm::CloseActiveWindow);
    closeActive_->setShortcut(QKeySequence(Qt::Key_F10));
    keep(closeActive_);
    closeAll_ = sessions_->addAction(QStringLiteral("Close All the Windows"), this, &TMainfrm::CloseAllWindows);
    closeAll_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
    keep(closeAll_);
    sessions_->addSeparator();
    exit_ = sessions_->addAction(QStringLiteral("E&xit"), this, [this] { close(); });
    setHint(exit_, QStringLiteral("Exit Varnelo FTP Suite"));

    windows_ = menuBar()->addMenu(QStringLiteral("Wind&ows"));
    windows_->setObjectName(QStringLiteral("WindowsMenu"));
    setHint(windows_->addAction(QStringLiteral("&Tile Windows"), this, &TMainfrm::TileWindows),
            QStringLiteral("Tile windows"));
    setHint(windows_->addAction(QStringLiteral("&Strip Windows"), this, &TMainfrm::StripWindows),
            QStringLiteral("Strip windows"));
    setHint(windows_->addAction(QStringLiteral("&Cascade"), this, &TMainfrm::CascadeWindows),
            QStringLiteral("Cascade"));
    setHint(windows_->addAction(QStringLiteral("&Arrange Icons"), this, &TMainfrm::ArrangeIcons),
            QStringLiteral("Arrange icons"));
    windowsSeparator_ = windows_->addSeparator();
    windowsSeparator_->setVisible(false);
    connect(windows_, &QMenu::aboutToShow, this, &TMainfrm::WindowsMenuPopup);

    info_ = menuBar()->addMenu(QStringLiteral("I&nfo"));
    info_->setObjectName(QStringLiteral("InfoMenu"));
    info_->addAction(QStringLiteral("My &IP Address"), this, &TMainfrm::MyIPAddress);
    info_->addAction(QStringLiteral("My &Host Name"), this, &TMainfrm::MyHostName);
    info_->addAction(QStringLiteral("&IP Configuration"), this, &TMainfrm::IPConfiguration);

    help_ = menuBar()->addMenu(QStringLiteral("&Help"));
    help_->setObjectName(QStringLiteral("HelpMenu"));
    contents_ = help_->addAction(QStringLiteral("&Contents"), this, &TMainfrm::Contents);
    contents_->setShortcut(QKeySequence(Qt::Key_F1));
    setHint(contents_, QStringLiteral("Show the contents of the help file"));
    keep(contents_);
    help_->addAction(QStringLiteral("&About..."), this, &TMainfrm::About);
    help_->addSeparator();
    setHint(help_->addAction(QStringLiteral("Visit Varnelo FTP Suite &Website"), this, [] { visitWebSite(); }),
            QStringLiteral("Visit Varnelo FTP Suite Website and download the last version"));
    setHint(help_->addAction(QStringLiteral("Send &E-mail to Author"), this, [] { sendMailToAuthor(); }),
            QStringLiteral("Send me an e-mail"));

    if (tools_.has(ToolKind::Upload)) {
        upload_ = tools_.create(ToolKind::Upload);
        if (upload_) upload_->hide();
    }
}

void TMainfrm::buildTray() {
    trayMenu_ = new QMenu(this);
    trayMenu_->setObjectName(QStringLiteral("TrayMenu"));
    trayMenu_->addAction(QStringLiteral("&Open Varnelo FTP Suite"), this, &TMainfrm::restoreFromTray);
    for (const TrayCommand& c : kTrayTools) {
        QAction* a = trayMenu_->addAction(text(c.entry), this, [this, kind = c.kind] {
            restoreFromTray();
            openTool(kind);
        });
        a->setEnabled(tools_.has(c.kind));
    }
    trayMenu_->addSeparator();
    trayMenu_->addAction(QStringLiteral("E&xit Varnelo FTP Suite"), this, [this] { close(); });

    if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
    tray_ = new QSystemTrayIcon(programIcon(), this);
    tray_->setToolTip(text(product::kMainCaption));
    tray_->setContextMenu(trayMenu_);
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        if (r == QSystemTrayIcon::DoubleClick) restoreFromTray();
    });
    tray_->show();
}

QAction* TMainfrm::sessionAction(ToolKind kind) const {
    auto it = sessionActions_.find(kind);
    return it == sessionActions_.end() ? nullptr : it->second;
}

QAction* TMainfrm::toolButtonAction(ToolKind kind) const {
    auto it = buttonActions_.find(kind);
    return it == buttonActions_.end() ? nullptr : it->second;
}

void TMainfrm::setCommandLine(const QStringList& arguments) { commandLine_ = arguments; }

void TMainfrm::openArguments(const QStringList& arguments) {
    if (exiting_) return;
    // Out of the tray or the task bar, keeping a maximised window maximised.
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
    if (arguments.isEmpty()) return;
    // Later: the quick-connection dialogs are modal and the caller is a socket's handler.
    QTimer::singleShot(0, this, [this, arguments] { openCommandLine(arguments); });
}

QMdiSubWindow* TMainfrm::addChild(QWidget* widget) {
    QMdiSubWindow* sub = mdi_->addSubWindow(widget);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    // The frame's own commands (Close is Ctrl+F4 and Ctrl+W) would make the
    // main window's keys ambiguous, which leaves both dead: the frame gives
    // those keys up.
    QSet<QKeySequence> mine;
    for (const QList<QKeySequence>& keys : std::as_const(ownKeys_))
        for (const QKeySequence& k : keys) mine.insert(k);
    QList<QAction*> frame = sub->actions();
    if (QMenu* system = sub->systemMenu()) frame += system->actions();
    for (QAction* a : frame) {
        QList<QKeySequence> keys;
        for (const QKeySequence& k : a->shortcuts())
            if (!mine.contains(k)) keys.append(k);
        if (keys != a->shortcuts()) a->setShortcuts(keys);
    }
    // A tool window that finishes its close later (an Abort, a QUIT round)
    // says when its state changes: the shut-down follows it, nothing polls.
    if (auto* tool = qobject_cast<ToolWindow*>(widget))
        connect(tool, &ToolWindow::closeStateChanged, this, [this] {
            QTimer::singleShot(0, this, [this] {
                if (exiting_) checkExit();
            });
        });
    connect(sub, &QObject::destroyed, this, [this] {
        // Activation moves on (or ends) once the child has left the area.
        QTimer::singleShot(0, this, [this] {
            applyShortcutRule();
            if (exiting_) checkExit();
        });
    });
    sub->show();
    return sub;
}

QWidget* TMainfrm::openTool(ToolKind kind) {
    if (exiting_) return nullptr;
    QWidget* w = tools_.create(kind);
    if (!w) return nullptr;
    if (auto* ftp = qobject_cast<TFTPfrm*>(w))
        connect(ftp, &TFTPfrm::uploadToMultipleHosts, this, [this](const std::vector<std::string>& files) {
            if (auto* up = qobject_cast<Tmultipleuploadfrm*>(upload_.data())) {
                up->setFiles(files);
                openUpload();
            }
        });
    QMdiSubWindow* sub = addChild(w);
    sub->setProperty(kToolProperty, int(kind));
    mdi_->setActiveSubWindow(sub);
    return w;
}

void TMainfrm::openUpload() {
    // The persistent upload window, shown modally over the main window.
    if (!upload_) return;
    upload_->setWindowModality(Qt::ApplicationModal);
    upload_->show();
    upload_->raise();
}

QList<QMdiSubWindow*> TMainfrm::childWindows() const {
    QList<QMdiSubWindow*> bottomToTop = mdi_->subWindowList(QMdiArea::StackingOrder);
    QList<QMdiSubWindow*> out;
    for (auto it = bottomToTop.crbegin(); it != bottomToTop.crend(); ++it)
        if (!(*it)->isHidden()) out.append(*it);
    return out;
}

bool TMainfrm::event(QEvent* e) {
    if (e->type() == QEvent::StatusTip) {
        DisplayHint(static_cast<QStatusTipEvent*>(e)->tip());
        return true;
    }
    if (e->type() == QEvent::WindowActivate) FormActivate();
    return QMainWindow::event(e);
}

void TMainfrm::DisplayHint(const QString& hint) {
    const qsizetype bar = hint.indexOf(QLatin1Char('|'));
    panel_->setText(bar < 0 ? hint : hint.mid(bar + 1));
}

void TMainfrm::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    panel_->setFixedWidth(width() * 2 / 3);
}

void TMainfrm::FormActivate() {
    if (!firstActivation_) return;
    // Cleared first: the quick-connection dialogs below re-activate the window.
    firstActivation_ = false;
    const QStringList arguments = commandLine_;
    QTimer::singleShot(0, this, [this, arguments] {
        openCommandLine(arguments);
        emit firstActivationDone();
    });
}

void TMainfrm::openCommandLine(const QStringList& arguments) {
    QPointer<TMainfrm> self(this);
    for (const QString& a : arguments) {
        if (!self || exiting_) return;
        openFtpFor(a);
    }
}

void TMainfrm::openFtpFor(const QString& argument) {
    QPointer<TFTPfrm> ftp = qobject_cast<TFTPfrm*>(openTool(ToolKind::FTP));
    if (!ftp) return;
    const CommandLineTarget t = parseCommandLineTarget(argument);
    if (!t.fromUrl) {
        ftp->mostrarQuick(argument);
        return;
    }
    TFTPfrm::QuickPreset preset;
    preset.host = t.host;
    preset.login = t.login;
    preset.password = t.password;
    preset.remoteDir = t.remoteDir;
    preset.port = t.port;
    preset.security = t.security;
    ftp->mostrarQuick(preset);
}

// ---- Windows menu -------------------------------------------------------

void TMainfrm::tile(int orientation) {
    QList<QMdiSubWindow*> normal;
    int icons = 0;
    QSize icon;
    for (QMdiSubWindow* s : childWindows()) {
        if (s->isMinimized()) {
            ++icons;
            icon = icon.expandedTo(s->size());
        } else {
            normal.append(s);
        }
    }
    QRect area = mdi_->viewport()->rect();
    if (icons > 0) {
        ArrangeIcons();
        area.setBottom(area.bottom() - iconRowsHeight(area, icon, icons));
    }
    const auto rects = tileRects(area, int(normal.size()), TileOrientation(orientation));
    for (int i = 0; i < normal.size() && i < int(rects.size()); ++i) {
        QMdiSubWindow* s = normal[i];
        if (s->isMaximized()) s->showNormal();
        s->setGeometry(bounded(rects[size_t(i)], *s));
    }
}

void TMainfrm::TileWindows() { tile(int(TileOrientation::Horizontal)); }

void TMainfrm::StripWindows() { tile(int(TileOrientation::Vertical)); }

void TMainfrm::CascadeWindows() { mdi_->cascadeSubWindows(); }

void TMainfrm::ArrangeIcons() {
    QList<QMdiSubWindow*> icons;
    QSize icon;
    // Bottom-most first, as the children were opened.
    const QList<QMdiSubWindow*> all = childWindows();
    for (auto it = all.crbegin(); it != all.crend(); ++it)
        if ((*it)->isMinimized()) {
            icons.append(*it);
            icon = icon.expandedTo((*it)->size());
        }
    const auto rects = iconRects(mdi_->viewport()->rect(), icon, int(icons.size()));
    for (int i = 0; i < icons.size(); ++i) icons[i]->move(rects[size_t(i)].topLeft());
}

void TMainfrm::WindowsMenuPopup() {
    const QList<QAction*> entries = windows_->actions();
    for (int i = 5; i < entries.size(); ++i) {
        windows_->removeAction(entries[i]);
        entries[i]->deleteLater();
    }
    const QList<QMdiSubWindow*> children = childWindows();
    const int count = int(children.size());
    windowsSeparator_->setVisible(count > 0);
    for (int i = count - 1; i >= 0; --i) {
        QPointer<QMdiSubWindow> child(children[i]);
        QAction* a = windows_->addAction(windowListCaption(i, count, child->windowTitle()));
        a->setData(i);
        connect(a, &QAction::triggered, this, [this, child] { ClickEnFinestraFilla(child); });
    }
}

void TMainfrm::ClickEnFinestraFilla(QMdiSubWindow* child) {
    // The entry keeps its child rather than an index: a child may close
    // itself while the menu is open.
    if (!child || child->isHidden()) return;
    mdi_->setActiveSubWindow(child);
    child->raise();
}

void TMainfrm::CloseActiveWindow() {
    if (QMdiSubWindow* s = mdi_->currentSubWindow()) s->close();
}

void TMainfrm::CloseAllWindows() {
    const QList<QMdiSubWindow*> children = childWindows();
    for (auto it = children.crbegin(); it != children.crend(); ++it) {
        QPointer<QMdiSubWindow> s(*it);
        if (s) s->close();
    }
}

// ---- Keys -----------------------------------------------------------------

// Two enabled actions with one key fire neither, so the main window gives up
// every key the active child defines for itself and takes it back when no
// active child claims it.
void TMainfrm::applyShortcutRule() {
    QSet<QKeySequence> claimed;
    QMdiSubWindow* active = mdi_->currentSubWindow();
    if (active && !active->isHidden() && active->widget()) {
        QList<QAction*> actions = active->widget()->actions();
        actions += active->widget()->findChildren<QAction*>();
        for (QAction* a : actions)
            for (const QKeySequence& k : a->shortcuts())
                if (!k.isEmpty()) claimed.insert(k);
    }
    for (auto it = ownKeys_.cbegin(); it != ownKeys_.cend(); ++it) {
        QList<QKeySequence> keys;
        for (const QKeySequence& k : it.value())
            if (!claimed.contains(k)) keys.append(k);
        if (it.key()->shortcuts() != keys) it.key()->setShortcuts(keys);
    }
}

// ---- Info and Help ----------------------------------------------------------

namespace {

// Runs a blocking look-up off the UI thread and shows its answer in a message box.
void answerInBox(QObject* owner, QString (*lookUp)()) {
    QPointer<QObject> guard(owner);
    QThreadPool::globalInstance()->start([guard, lookUp] {
        const QString answer = lookUp();
        if (!guard) return;
        QMetaObject::invokeMethod(
            guard.data(), [answer] { uiPrompter().message(answer.toStdString()); }, Qt::QueuedConnection);
    });
}

} // namespace

void TMainfrm::MyIPAddress() { answerInBox(this, &localAddress); }

void TMainfrm::MyHostName() { answerInBox(this, &localHostName); }

void TMainfrm::IPConfiguration() {
    TIPConfigfrm dialog(QNetworkInterface::allInterfaces(), this);
    uiPrompter().exec(dialog);
}

void TMainfrm::Contents() { openHelpPage(QStringLiteral("index.html")); }

void TMainfrm::About() {
    TAboutfrm about(this);
    uiPrompter().exec(about);
}

void TMainfrm::restoreFromTray() {
    showNormal();
    raise();
    activateWindow();
}

// ---- Shut-down ----------------------------------------------------------------

bool TMainfrm::FormCloseQuery() { return uiPrompter().askYesNo("Are you sure that you want to exit?"); }

void TMainfrm::closeEvent(QCloseEvent* e) {
    if (exitApproved_) {
        e->accept();
        if (tray_) tray_->hide();
        QTimer::singleShot(0, this, [this] { emit exitFinished(); });
        return;
    }
    // The children close first and some take their time (an FTP window sends
    // QUIT on its worker), so the main window closes once they are all gone.
    e->ignore();
    if (exiting_ || !FormCloseQuery()) return;
    FormClose();
}

bool TMainfrm::stillClosing(const QMdiSubWindow& child) const {
    const QVariant kind = child.property(kToolProperty);
    return kind.isValid() && child.widget() && tools_.stillClosing(ToolKind(kind.toInt()), *child.widget());
}

void TMainfrm::FormClose() {
    exiting_ = true;
    closing_.clear();
    // From the last index (bottom-most) down to 0 (the active child).
    const QList<QMdiSubWindow*> children = childWindows();
    for (auto it = children.crbegin(); it != children.crend(); ++it) {
        QPointer<QMdiSubWindow> s(*it);
        const bool closed = s->close();
        if (!s) continue;
        if (!closed && !stillClosing(*s)) {
            cancelExit();
            return;
        }
        closing_.append(s);
    }
    checkExit();
}

void TMainfrm::checkExit() {
    if (!exiting_) return;
    bool waiting = false;
    for (const QPointer<QMdiSubWindow>& s : std::as_const(closing_)) {
        if (!s) continue;
        waiting = true;
        // Hidden: closed, deleted at the next turn of the loop.
        if (s->isHidden()) continue;
        if (!stillClosing(*s)) {
            cancelExit();
            return;
        }
    }
    if (waiting) return;
    // The explorer clipboard outlives no run; kept when the exit was cancelled.
    std::error_code ec;
    std::filesystem::remove(dataFile("copy.dat"), ec);
    exitApproved_ = true;
    exiting_ = false;
    close();
}

void TMainfrm::cancelExit() {
    exiting_ = false;
    closing_.clear();
}

} // namespace vn
