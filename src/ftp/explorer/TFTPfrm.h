#pragma once
// The FTP explorer window. It owns its engine and runs every network operation
// on a worker thread of its own, one operation at a time; the engine reports
// through the window's sink, which hands everything to the UI thread.
#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "ftp/engine/FtpEngine.h"
#include "platform/TaskThread.h"

class QAction;
class QMenu;
class QStatusBar;
class QTimer;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace vn {

class InfoBox;
class ThinkingIndicator;
class TQuickfrm;

class TFTPfrm : public QWidget {
    Q_OBJECT
public:
    explicit TFTPfrm(QWidget* parent = nullptr);
    ~TFTPfrm() override;

    // Quick connection to the host named by a command-line parameter.
    void mostrarQuick(const QString& parameter);
    // Quick connection with more of the dialog filled in (an ftp:// address
    // with login, password, port and folder); empty fields stay as they are.
    struct QuickPreset {
        QString host, login, password, remoteDir;
        int port = 0; // 0: the dialog's default
    };
    void mostrarQuick(const QuickPreset& preset);

    // The window's state, for the main window and the tests.
    bool busy() const { return busy_; }
    bool connecting() const { return engine_->connecting(); }
    int sessionCount() const { return static_cast<int>(nodes_.size()); }
    SessionId currentSession() const { return currentSession_; }
    QString currentDir() const { return currentDir_; }
    InfoBox* info() const { return Info; }
    QTreeWidget* tree() const { return Tree; }
    ThinkingIndicator* thinking() const { return ProgressBar; }
    QMenu* ftpMenu() const { return FTPMenu; }
    QMenu* lastHostsMenu() const { return LastHostsMenu; }

public slots:
    void QuickSBClick();
    void QuitSBClick();
    void Logout1Click();
    void AbortSBClick();
    void FesConnectar(const QString& host);
    // Rebuilds "&Last Hosts Visited" from the history (each time the menu opens).
    void FTPMenuPopup();
    void FormatejarColors();

signals:
    // An operation ended and the window is idle again.
    void operationFinished();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    class Sink;

    // Runs op on the worker thread unless the window is busy (false then). A user
    // operation lowers the cancel flag first; the keep-alive does not.
    bool startOperation(std::function<void()> op, bool userOperation = true);
    void endOperation();
    void closeWindow();
    // Shows a quick-connection dialog and connects as it says.
    void runQuickDialog(TQuickfrm& dialog, bool passwordAsTyped);
    void HabilitarBotons();
    void setBusyLook(bool busy);
    void addServerNode(const SessionInfo& info);
    void removeServerNode(SessionId id);
    void takeCurrentFromSelection();
    void fesNOOPTick(SessionId id);
    QTreeWidgetItem* topLevelOf(QTreeWidgetItem* item) const;

    std::unique_ptr<Sink> sink_;
    std::unique_ptr<FtpEngine> engine_;
    std::unique_ptr<TaskThread> worker_;
    bool busy_ = false;
    bool closePending_ = false; // close once the running operation has unwound
    bool closeConfirmed_ = false; // QUIT round done: let the window close
    bool quitThenClose_ = false;  // the running operation is the QUIT round of a close
    int noopInterval_ = 180;
    std::string actionSound_;

    SessionId currentSession_ = 0;
    QString currentDir_;
    std::map<SessionId, QTreeWidgetItem*> nodes_;
    std::map<SessionId, QTimer*> keepAlive_;
    QTreeWidgetItem* popupNode_ = nullptr;

    QTreeWidget* Tree = nullptr;
    QTreeWidget* List = nullptr;
    InfoBox* Info = nullptr;
    ThinkingIndicator* ProgressBar = nullptr;
    QStatusBar* StatusBar = nullptr;
    QMenu* FTPMenu = nullptr;
    QMenu* LastHostsMenu = nullptr;
    QMenu* TreePopup = nullptr;
    QAction* QuickAction = nullptr;
    QAction* SiteManagerAction = nullptr;
    QAction* QuitAction = nullptr;
    QAction* AbortAction = nullptr;
    QAction* AbortPopupAction = nullptr;
    QAction* LogoutAction = nullptr;
    QToolButton* QuickSB = nullptr;
    QToolButton* ConnectarAServidorSB = nullptr;
    QToolButton* QuitSB = nullptr;
    QToolButton* AbortSB = nullptr;
};

} // namespace vn
