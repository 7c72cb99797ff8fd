#pragma once
// The Telnet window: one connection at a time to one Telnet server, its
// screen, and the commands around it (quick connection, site manager, visited
// hosts, Logout, copy, paste, Erase Line, save, print, the screen log and the
// options). The whole connection is one operation of the window's runner:
// the session's run() returns when it ends. Commands used during a
// connection are marked to stay on while the window is busy.
#include <QString>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>

#include "common/ui/ToolWindow.h"
#include "telnet/TelnetSession.h"
#include "telnet/TelnetSettings.h"

class QMenu;

namespace vn::telnet {

class TerminalView;

inline constexpr const char* kTelnetCaption = "Varnelo FTP Suite - Telnet";
inline constexpr const char* kTelnetHistory = "Telnet";
inline constexpr const char* kCloseConnectionQuestion = "Do you want to close the current connection?";
inline constexpr const char* kOverwriteQuestion = "This File already exists. Do you wish to overwrite it?";

class TTelnet2frm : public ToolWindow {
    Q_OBJECT
public:
    explicit TTelnet2frm(QWidget* parent = nullptr);
    ~TTelnet2frm() override;

    TelnetSession& session() { return *session_; }
    TerminalView* terminal() const { return view_; }
    const TelnetSettings& settings() const { return settings_; }
    bool logging() const;

    // The commands (also reachable through their actions).
    void siteManager();
    void quickConnection();
    void fromHistory(const QString& host);
    void logout();
    void copyScreen();
    void copyLine();
    void paste();
    void eraseLine();
    void saveScreen();
    void printScreenCommand();
    void openLog();
    void closeLog();
    void options();
    void about();
    void visitWebSite();

    // Connects (quick dialog and tests); history: add the host once it stands.
    bool connectTo(const TelnetConnectRequest& request, bool addToHistory);
    // Reads the "Telnet" settings and applies them (font, colours, echo).
    void readSettings();

protected:
    void aborting(bool closing) override;
    void commandsUpdated(bool busy) override;
    void windowClosing() override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    class Sink;
    void buildCommands();
    void ended(const TelnetEnd& end);
    void connectionStands(const QString& host);
    void fitToTerminal();
    void writeLog(std::string_view text);

    TelnetSession* session_ = nullptr;
    Sink* sink_ = nullptr;
    TerminalView* view_ = nullptr;
    TelnetSettings settings_;
    bool addToHistory_ = false;
    bool loggingOutOnClose_ = false;
    mutable std::mutex logMutex_; // the worker writes the screen log
    std::FILE* log_ = nullptr;
    QMenu* sessionMenu_ = nullptr;
    QMenu* lastHosts_ = nullptr;

    friend class Sink;
};

} // namespace vn::telnet
