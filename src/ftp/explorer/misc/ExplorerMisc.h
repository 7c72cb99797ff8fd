#pragma once
// The FTP window's Miscellaneous menu: the Options window, the custom
// commands (their editor and the "&Custom Commands" submenu) and the quick
// command. Commands run on the window's worker like every operation; Abort
// stops them. Options confirmed in one window are applied to every open one.
#include <QObject>
#include <QString>

#include <string>
#include <vector>

class QMenu;

namespace vn {

class TFTPfrm;

// Tells every open FTP window that the settings changed.
class ExplorerSettingsBus : public QObject {
    Q_OBJECT
public:
    static ExplorerSettingsBus& instance();
signals:
    void changed();
};

class ExplorerMisc : public QObject {
    Q_OBJECT
public:
    ExplorerMisc(TFTPfrm& window, QMenu* customCommandsMenu);

    // "Colors && &Options" and "&Options": the Options window, then the
    // settings applied (to every open window when confirmed).
    void Options2Click();
    // "&New Custom Command": the editor; "&Do it !" runs the chosen command.
    void NewCommands1Click();
    // "&Quick Command": a typed command, sent as it stands.
    void Quickcommand1Click();
    // Runs a stored command on the current session, "%f" over the selection.
    // False when nothing was started (busy, no session).
    bool CustomComand(const std::string& text);
    // Rebuilds the "&Custom Commands" submenu from the store and enables it.
    void Llegeixcomandes();
    // A session is current and the window is idle.
    bool canSend() const;
    QMenu* customCommandsMenu() const { return menu_; }

private:
    void updateMenuState();
    std::vector<std::string> selectedNames() const;

    TFTPfrm& w_;
    QMenu* menu_;
};

} // namespace vn
