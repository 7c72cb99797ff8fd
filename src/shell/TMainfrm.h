#pragma once
// The multiple-document main window: tool bar and Sessions menu that open the
// tool windows, window management, Info and Help menus, the status panel, the
// notification-area icon, and the shut-down that closes the children first.
#include <QHash>
#include <QKeySequence>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>

#include <map>

#include "shell/ToolRegistry.h"

class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QSystemTrayIcon;
class QTimer;
class QToolBar;

namespace vn {

class TMainfrm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainfrm(ToolRegistry tools = builtTools(), QWidget* parent = nullptr);
    ~TMainfrm() override;

    // Arguments opened as FTP quick connections at the first activation.
    void setCommandLine(const QStringList& arguments);
    // Hosts a later start handed over: shows and raises the main window, then
    // opens one FTP window per argument, as the command line does.
    void openArguments(const QStringList& arguments);

    // A new child window of the kind, shown at once; nullptr when not built.
    QWidget* openTool(ToolKind kind);
    // Puts any widget into a child window (deleted when it closes).
    QMdiSubWindow* addChild(QWidget* widget);
    // The children in z-order: index 0 is the active, topmost child.
    QList<QMdiSubWindow*> childWindows() const;

    QMdiArea* mdiArea() const { return mdi_; }
    QToolBar* toolBar() const { return toolBar_; }
    QMenu* sessionsMenu() const { return sessions_; }
    QMenu* windowsMenu() const { return windows_; }
    QMenu* infoMenu() const { return info_; }
    QMenu* helpMenu() const { return help_; }
    QMenu* trayMenu() const { return trayMenu_; }
    QSystemTrayIcon* trayIcon() const { return tray_; }
    QLabel* statusPanel() const { return panel_; }
    // The Sessions-menu entry and the tool-bar button of a tool.
    QAction* sessionAction(ToolKind kind) const;
    QAction* toolButtonAction(ToolKind kind) const;
    QAction* closeActiveAction() const { return closeActive_; }
    QAction* closeAllAction() const { return closeAll_; }
    QAction* exitAction() const { return exit_; }
    QAction* contentsAction() const { return contents_; }
    bool firstActivationPending() const { return firstActivation_; }
    bool exiting() const { return exiting_; }

public slots:
    // The long part of a hint ("short|long") into the first status panel; child
    // windows write their own texts through it too.
    void DisplayHint(const QString& hint);
    void FormActivate();
    void TileWindows();
    void StripWindows();
    void CascadeWindows();
    void ArrangeIcons();
    // Rebuilds the window list (each time the Windows menu opens).
    void WindowsMenuPopup();
    void ClickEnFinestraFilla(QMdiSubWindow* child);
    void CloseActiveWindow();
    void CloseAllWindows();
    void MyIPAddress();
    void MyHostName();
    void IPConfiguration();
    void Contents();
    void About();
    void restoreFromTray();

signals:
    // The shut-down finished: every child closed and the main window closed.
    void exitFinished();
    void firstActivationDone();

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildCommands();
    void buildTray();
    void openUpload();
    void openCommandLine(const QStringList& arguments);
    void openFtpFor(const QString& argument);
    void tile(int orientation);
    void applyShortcutRule();
    QAction* keep(QAction* action);

    bool FormCloseQuery();
    void FormClose();
    void checkExit();
    void cancelExit();
    bool stillClosing(const QMdiSubWindow& child) const;

    ToolRegistry tools_;
    QMdiArea* mdi_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    QMenu* sessions_ = nullptr;
    QMenu* windows_ = nullptr;
    QMenu* info_ = nullptr;
    QMenu* help_ = nullptr;
    QMenu* trayMenu_ = nullptr;
    QSystemTrayIcon* tray_ = nullptr;
    QLabel* panel_ = nullptr;
    QAction* windowsSeparator_ = nullptr;
    QAction* closeActive_ = nullptr;
    QAction* closeAll_ = nullptr;
    QAction* exit_ = nullptr;
    QAction* contents_ = nullptr;
    std::map<ToolKind, QAction*> sessionActions_;
    std::map<ToolKind, QAction*> buttonActions_;
    // The main window's own keys, dropped while the active child claims them.
    QHash<QAction*, QList<QKeySequence>> ownKeys_;
    QPointer<QWidget> upload_;

    bool firstActivation_ = true;
    QStringList commandLine_;

    bool exiting_ = false;
    bool exitApproved_ = false;
    QList<QPointer<QMdiSubWindow>> closing_;
};

} // namespace vn
