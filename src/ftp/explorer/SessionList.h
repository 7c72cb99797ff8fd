#pragma once
// The explorer's sessions: connecting through the quick connection, the
// Site Manager and the history, each server's node chain and keep-alive,
// the passive flag, and quitting them.
#include <QObject>
#include <QString>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ftp/engine/FtpEngine.h"
#include "ftp/explorer/ExplorerParts.h"

class QTimer;
class QTreeWidgetItem;

namespace vn {

class FolderNavigator;
class TQuickfrm;

// A quick connection with more of the dialog filled in (an ftp:// address
// with login, password, port and folder); empty fields stay as they are.
struct QuickPreset {
    QString host, login, password, remoteDir;
    int port = 0; // 0: the dialog's default
    std::optional<FtpSecurity> security; // ftps:// and ftpes:// URLs
};

class SessionList : public QObject {
    Q_OBJECT
public:
    SessionList(ExplorerParts& parts, FolderNavigator& folder, QObject* parent);

    int count() const { return static_cast<int>(parts_.tree.serverNodes().size()); }
    // Seconds between keep-alive NOOPs of each new session (0: none).
    // Sessions already open take the new interval too.
    void setKeepAliveInterval(int seconds);
    void stopKeepAlives();

    // Connecting (each asks its dialog first).
    void siteManager();
    void quick();
    void quickTo(const QString& host);              // a host of the history
    void quickFromParameter(const QString& parameter); // a command-line parameter
    void quickPreset(const QuickPreset& preset);

    // Quitting: the current session, or the one of a tree node (its pop-up).
    void quitCurrent();
    void logout(QTreeWidgetItem* node);
    // Passive mode of the current session, on its nodes and in the engine.
    void togglePassive();

    // From the engine's sink (UI thread).
    void opened(const SessionInfo& info, const std::optional<std::vector<ListingEntry>>& entries);
    void closed(SessionId id);

private:
    void runQuickDialog(TQuickfrm& dialog, bool passwordAsTyped);
    // Connects (with the retry rules), then presses the chosen transfer type and
    // opens the initial remote folder.
    void connectAndOpen(const ConnectParams& p, const std::vector<std::string>& alternates, RetryStyle style,
                        int transferType, const std::string& remoteDir);
    void quit(SessionId id, const QString& caption);
    void keepAliveTick(SessionId id);

    ExplorerParts& parts_;
    FolderNavigator& folder_;
    std::map<SessionId, QTimer*> keepAlive_;
    std::string connectingLogin_; // the login of the connect under way
    int noopInterval_ = 180;
};

} // namespace vn
