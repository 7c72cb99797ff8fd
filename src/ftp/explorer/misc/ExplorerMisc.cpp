#include "ftp/explorer/misc/ExplorerMisc.h"

#include <QAction>
#include <QMenu>
#include <QTimer>

#include <algorithm>

#include "common/DataFolder.h"
#include "common/IniFile.h"
#include "common/ui/UiPrompter.h"
#include "common/ui/WireText.h"
#include "ftp/engine/custom/CommandStore.h"
#include "ftp/engine/custom/CustomCommand.h"
#include "ftp/explorer/TFTPfrm.h"
#include "ftp/explorer/misc/TNewCommandsfrm.h"
#include "ftp/explorer/misc/TOptionsfrm.h"

namespace vn {

ExplorerSettingsBus& ExplorerSettingsBus::instance() {
    static ExplorerSettingsBus bus;
    return bus;
}

ExplorerMisc::ExplorerMisc(TFTPfrm& window, QMenu* customCommandsMenu)
    : QObject(&window), w_(window), menu_(customCommandsMenu) {
    menu_->setObjectName(QStringLiteral("ncc"));
    connect(menu_, &QMenu::aboutToShow, this, &ExplorerMisc::Llegeixcomandes);
    // The submenu is on exactly when "&Quick Command" is: a session is current and the window idle.
    if (QAction* quick = w_.action(QStringLiteral("QuickCommand1")))
        connect(quick, &QAction::changed, this, &ExplorerMisc::updateMenuState);
    connect(&ExplorerSettingsBus::instance(), &ExplorerSettingsBus::changed, &w_, &TFTPfrm::FormatejarColors);
    Llegeixcomandes();
}

bool ExplorerMisc::canSend() const { return !w_.busy() && w_.nav_->session() != 0; }

void ExplorerMisc::updateMenuState() {
    QAction* quick = w_.action(QStringLiteral("QuickCommand1"));
    menu_->setEnabled(quick ? quick->isEnabled() : canSend());
}

void ExplorerMisc::Llegeixcomandes() {
    menu_->clear();
    IniFile ini(configFile());
    int n = 0;
    for (const std::string& command : CommandStore::menuEntries(ini)) {
        QString text = fromWire(command);
        text.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* a = menu_->addAction(text);
        a->setObjectName(QStringLiteral("CustomCommand%1").arg(n++));
        connect(a, &QAction::triggered, this, [this, command] { CustomComand(command); });
    }
    updateMenuState();
}

std::vector<std::string> ExplorerMisc::selectedNames() const {
    std::vector<int> rows = w_.selectedRows();
    std::sort(rows.begin(), rows.end());
    std::vector<std::string> names;
    for (int row : rows) names.push_back(w_.model_->item(row).name);
    return names;
}

bool ExplorerMisc::CustomComand(const std::string& text) {
    if (!canSend()) return false;
    const SessionId sid = w_.nav_->session();
    return w_.parts_->run(
        [e = w_.engine_, sid, text, names = selectedNames()] { CustomCommand(*e, e->prompter()).run(sid, text, names); },
        [this] { w_.HabilitarBotons(); });
}

void ExplorerMisc::Quickcommand1Click() {
    if (!canSend()) return;
    auto line = uiPrompter().input("Quick Command", "&Please enter the command to execute:", "");
    if (!line || line->empty() || !canSend()) return;
    const SessionId sid = w_.nav_->session();
    w_.parts_->run([e = w_.engine_, sid, l = *line] { CustomCommand(*e, e->prompter()).quick(sid, l); },
                   [this] { w_.HabilitarBotons(); });
}

void ExplorerMisc::NewCommands1Click() {
    if (w_.busy()) return;
    TNewCommandsfrm editor(canSend(), &w_);
    uiPrompter().exec(editor);
    Llegeixcomandes();
    // "&Do it !" sends the chosen command at once.
    if (!editor.chosen().empty()) CustomComand(editor.chosen());
}

void ExplorerMisc::Options2Click() {
    if (w_.busy()) return;
    w_.engine_->wait().lowerCancel();
    TOptionsfrm options(&w_);
    if (options.mostrarform()) emit ExplorerSettingsBus::instance().changed();
    else w_.FormatejarColors();
}


} // namespace vn
