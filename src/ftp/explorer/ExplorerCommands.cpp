// The FTP window's commands: one table that builds the actions with their
// keys, hints, accessible names and enabling rules, then the menus, the tool
// bar and the pop-ups from it.
#include <QAction>
#include <QActionGroup>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

#include <filesystem>

#include "common/DataFolder.h"
#include "common/IniFile.h"
#include "common/ui/InfoBox.h"
#include "common/ui/UiPrompter.h"
#include "ftp/explorer/TFTPfrm.h"
#include "ftp/explorer/misc/ExplorerMisc.h"
#include "common/History.h"

namespace vn {

void TFTPfrm::prepareEnabling() {
    EnableInput in;
    in.treeSelection = treeHasFocus() && Tree->currentItem();
    in.selectedCount = QuantsSeleccionats();
    in.listSelection = listHasFocus() && in.selectedCount > 0;
    in.folderKnown = !nav_->dir().empty();
    in.remote = nav_->remote();
    in.listHasItems = model_->rowCount() > 0;
    in.clipboardFile = std::filesystem::exists(dataFile("copy.dat"));
    en_ = enablingRule(in);
}

void TFTPfrm::buildCommands() {
    using K = QKeySequence;
    const auto S = [](const char* s) { return QString::fromUtf8(s); };
    const auto E = [this](bool EnableState::* flag) { return [this, flag] { return en_.*flag; }; };
    const auto oneSelected = [this] { return selectedRows().size() == 1; };
    // Columns: name, text, key, slot, hint, enabled, checkable, whileBusy.
    commands().add({
        // FTP Session
        {"SiteManager1", S("Site &Manager"), K(Qt::CTRL | Qt::Key_M), [this] { ConnectarAServidorSBClick(); },
         S("Connect to a new FTP Server (Site Manager)"), E(&EnableState::quick)},
        {"QuickConnection1", S("&Quick Connection"), K(Qt::CTRL | Qt::Key_Q), [this] { QuickSBClick(); },
         S("Quick Connection"), E(&EnableState::quick)},
        {"BreakConnection1", S("&Break Connection (Quit)"), K(Qt::Key_F10), [this] { QuitSBClick(); },
         S("Logout (QUIT)"), E(&EnableState::quit)},
        {"Abort1", S("&Abort"), K(Qt::Key_F9), [this] { AbortSBClick(); }, S("Abort"), {}, false, true},
        {"pasvmode1", S("&Passive (PASV) Mode"), K(Qt::ALT | Qt::CTRL | Qt::Key_P), [this] { pasvmode1Click(); }, {},
         E(&EnableState::quit), true},
        {"SystemProperties1", S("S&ystem Properties"), K(Qt::CTRL | Qt::Key_Y), [this] { System1Click(); },
         S("System Properties"), E(&EnableState::system)},
        {"ASCIImode1", S("AS&CII mode"), {}, {}, {}, E(&EnableState::types), true},
        {"Binarymode1", S("Bi&nary mode"), {}, {}, {}, E(&EnableState::types), true},
        {"Automode1", S("A&uto mode"), {}, {}, {}, E(&EnableState::types), true},
        {"UploadtoMultipleHosts1", S("Up&load to Multiple Hosts"), K(Qt::ALT | Qt::CTRL | Qt::Key_U),
         [this] { UploadtoMultipleHosts1Click(); }, S("Upload to Multiple Hosts"), E(&EnableState::upload)},
        // File
        {"MoveUp1", S("Move &Up"), K(Qt::CTRL | Qt::Key_U), [this] { UpSBClick(); }, S("Move Up"), E(&EnableState::up)},
        {"NewFolder1", S("&New Folder"), K(Qt::CTRL | Qt::Key_N), [this] { NovaCarpetaSBClick(); }, S("New Folder"),
         E(&EnableState::newFolder)},
        {"Execute1", S("&Execute"), K(Qt::CTRL | Qt::Key_E), [this] { ListDblClick(); }, {},
         [this] { return en_.del && listHasFocus(); }},
        {"FileProperties1", S("File &Properties"), K(Qt::CTRL | Qt::Key_F), [this] { FileProperties1Click(); }, {},
         oneSelected, false, true},
        {"FullCollapse1", S("Full Collapse"), {}, [this] { FullCollapse1Click(); }, {}, {}, false, true},
        {"FullExpand1", S("Full Expand"), {}, [this] { FullExpand1Click(); }, {}, {}, false, true},
        {"Search1", S("&Search"), K(Qt::CTRL | Qt::Key_S), [this] { SearchSBClick(); }, S("Search a file/folder"),
         E(&EnableState::search)},
        {"Close1", S("&Close"), {}, [this] { closeWindow(); }, {}, {}, false, true},
        // Edit
        {"Copy1", S("&Copy"), K(Qt::CTRL | Qt::Key_C), [this] { CopySBClick(); }, S("Copy"), E(&EnableState::copy)},
        {"Cut1", S("Cu&t"), K(Qt::CTRL | Qt::Key_X), [this] { CutSBClick(); }, S("Cut"), E(&EnableState::cut)},
        {"Paste1", S("&Paste"), K(Qt::CTRL | Qt::Key_V), [this] { PAsteSBClick(); }, S("Paste"), E(&EnableState::paste)},
        {"Delete1", S("&Delete"), {}, [this] { DeleteSBClick(); }, S("Delete"), E(&EnableState::del)},
        {"Rename1", S("&Rename"), {}, [this] { RenameSBClick(); }, S("Rename"), E(&EnableState::rename)},
        {"SelectAll1", S("Select &All"), K(Qt::CTRL | Qt::Key_A), [this] { SelectAllSBClick(); }, S("Select All"),
         E(&EnableState::selectAll)},
        {"InvertSelection1", S("&Invert Selection"), {}, [this] { InvertSelectionSBClick(); }, S("Invert Selection"),
         E(&EnableState::invert)},
        // View
        {"Refresh1", S("&Refresh"), K(Qt::Key_F5), [this] { RefreshSBClick(); }, S("Refresh"), E(&EnableState::refresh)},
        {"Grid1", S("&Grid"), K(Qt::CTRL | Qt::Key_G), [this] { ShowGridSBClick(); }, S("Show Grid"), {}, true, true},
        {"InformationBox1", S("&Information Box"), K(Qt::CTRL | Qt::Key_I), [this] { InformationBox1Click(); }, {}, {},
         true, true},
        {"viewList1", S("&List View"), {}, [this] { setViewStyle(ViewStyle::List); }, {}, {}, true, true},
        {"viewReport1", S("Report &View"), {}, [this] { setViewStyle(ViewStyle::Report); }, {}, {}, true, true},
        {"viewSmall1", S("&Small Icons"), {}, [this] { setViewStyle(ViewStyle::SmallIcons); }, {}, {}, true, true},
        {"viewIcon1", S("L&arge Icons"), {}, [this] { setViewStyle(ViewStyle::LargeIcons); }, {}, {}, true, true},
        // Miscellaneous (misc/ExplorerMisc.cpp)
        {"ColorsOptions1", S("Colors && &Options"), {}, [this] { misc_->Options2Click(); }, {},
         E(&EnableState::quick)},
        {"NewCustomCommand1", S("&New Custom Command"), K(Qt::ALT | Qt::CTRL | Qt::Key_N),
         [this] { misc_->NewCommands1Click(); }, {}, E(&EnableState::quick)},
        {"QuickCommand1", S("&Quick Command"), {}, [this] { misc_->Quickcommand1Click(); }, {},
         [this] { return nav_->session() != 0; }},
        // Help ("Contents1" is every tool window's)
        {"About1", S("&About..."), {}, [] { uiPrompter().message(std::string(kAppTitle)); }, {}, {}, false, true},
        // Pop-ups
        {"Abort2", S("A&bort"), {}, [this] { AbortSBClick(); }, {}, {}, false, true},
        {"Refresh2", S("Re&fresh"), {}, [this] { RefreshSBClick(); }, {}, E(&EnableState::refresh)},
        {"ShowGrid1", S("Show &Grid"), {}, [this] { ShowGridSBClick(); }, {}, {}, true, true},
        {"ShowInfoBox1", S("Show &Info Box"), {}, [this] { InformationBox1Click(); }, {}, {}, true, true},
        {"ShowInformationBox1", S("Show &Information Box"), {}, [this] { InformationBox1Click(); }, {}, {}, true, true},
        {"Options2", S("&Options"), K(Qt::CTRL | Qt::Key_O), [this] { misc_->Options2Click(); }, {},
         E(&EnableState::quick)},
        {"System2", S("S&ystem"), {}, [this] { System1Click(); }, {}, E(&EnableState::system)},
        {"FileProperties2", S("File P&roperties"), {}, [this] { FileProperties1Click(); }, {}, oneSelected, false, true},
        {"Logout1", S("Logout from this FTP Server"), K(Qt::CTRL | Qt::Key_Escape), [this] { Logout1Click(); }, {},
         [this] { return !serverNodes().empty(); }},
    });
    LogoutAction = action("Logout1");
    typeGroup_ = new QActionGroup(this);
    for (const char* t : {"ASCIImode1", "Binarymode1", "Automode1"}) typeGroup_->addAction(commands().at(t));
    commands().at("Automode1")->setChecked(true);
    viewGroup_ = new QActionGroup(this);
    for (const char* v : {"viewList1", "viewReport1", "viewSmall1", "viewIcon1"}) viewGroup_->addAction(commands().at(v));
    commands().at("viewReport1")->setChecked(true);
    for (const char* i : {"InformationBox1", "ShowInfoBox1", "ShowInformationBox1"}) commands().at(i)->setChecked(true);

    // Menus
    const CommandTable& c = commands();
    QMenuBar* bar = menuBar();
    FTPMenu = bar->addMenu(S("FTP &Session"));
    c.fill(FTPMenu, {"SiteManager1", "QuickConnection1"});
    LastHostsMenu = FTPMenu->addMenu(S("&Last Hosts Visited"));
    c.fill(FTPMenu, {"", "BreakConnection1", "Abort1", "", "pasvmode1", "SystemProperties1", "", "ASCIImode1",
                     "Binarymode1", "Automode1", "", "UploadtoMultipleHosts1"});
    setHistoryMenu(
        LastHostsMenu,
        [] {
            IniFile ini(configFile());
            return History(ini, "FTP").entries();
        },
        [this](const QString& host) { FesConnectar(host); });
    FileMenu = bar->addMenu(S("&File"));
    c.fill(FileMenu, {"MoveUp1", "NewFolder1", "Execute1", "FileProperties1", ""});
    QMenu* treeMenu = FileMenu->addMenu(S("Tree"));
    c.fill(treeMenu, {"FullCollapse1", "FullExpand1"});
    c.fill(FileMenu, {"", "Search1", "", "Close1"});
    EditMenu = bar->addMenu(S("&Edit"));
    c.fill(EditMenu, {"Copy1", "Cut1", "Paste1", "", "Delete1", "Rename1", "", "SelectAll1", "InvertSelection1"});
    ViewMenu = bar->addMenu(S("&View"));
    c.fill(ViewMenu, {"Refresh1", "Grid1", "InformationBox1", "", "viewList1", "viewReport1", "viewSmall1", "viewIcon1"});
    MiscMenu = bar->addMenu(S("&Miscellaneous"));
    c.fill(MiscMenu, {"ColorsOptions1", "NewCustomCommand1"});
    CustomCommandsMenu = MiscMenu->addMenu(S("&Custom Commands"));
    c.fill(MiscMenu, {"QuickCommand1"});
    misc_ = new ExplorerMisc(*this, CustomCommandsMenu);
    HelpMenu = bar->addMenu(S("&Help"));
    c.fill(HelpMenu, {"Contents1", "About1"});
    for (QMenu* m : {FTPMenu, FileMenu, EditMenu, ViewMenu, MiscMenu})
        connect(m, &QMenu::aboutToShow, this, &TFTPfrm::HabilitarBotons);

    // Tool bar
    QToolBar* tb = toolBar();
    auto B = [this, tb](const char* name, const char* command, const char* caption) {
        commands().button(tb, name, command, QString::fromUtf8(caption));
    };
    B("ConnectarAServidorSB", "SiteManager1", "Sites");
    B("QuickSB", "QuickConnection1", "Quick");
    B("QuitSB", "BreakConnection1", "Quit");
    B("AbortSB", "Abort1", "Abort");
    B("PropietatsSB", "SystemProperties1", "System");
    B("ASCIISB", "ASCIImode1", "ASCII");
    B("BinarySB", "Binarymode1", "Binary");
    B("AutoTYPESB", "Automode1", "Auto");
    B("mupsb", "UploadtoMultipleHosts1", "Multi");
    tb->addSeparator();
    B("UpSB", "MoveUp1", "Up");
    B("NovaCarpetaSB", "NewFolder1", "New");
    B("CopySB", "Copy1", "Copy");
    B("CutSB", "Cut1", "Cut");
    B("PAsteSB", "Paste1", "Paste");
    B("DeleteSB", "Delete1", "Delete");
    B("RenameSB", "Rename1", "Rename");
    B("SelectAllSB", "SelectAll1", "All");
    B("InvertSelectionSB", "InvertSelection1", "Invert");
    B("RefreshSB", "Refresh1", "Refresh");
    B("SearchSB", "Search1", "Search");
    B("ShowGridSB", "Grid1", "Grid");
    B("viewIconSB", "viewIcon1", "Large");
    B("viewSmallSB", "viewSmall1", "Small");
    B("viewListSB", "viewList1", "List");
    B("viewReportSB", "viewReport1", "Report");
    tb->installEventFilter(this);

    // Pop-ups
    ListPopup = new QMenu(this);
    c.fill(ListPopup, {"Abort2", "", "Cut1", "Copy1", "Paste1", "", "SelectAll1", "MoveUp1", "NewFolder1", "Search1", "",
                       "Delete1", "Rename1", "Refresh2", "", "ShowGrid1", "ShowInfoBox1", "", "Options2", "System2",
                       "FileProperties2"});
    UploadPopupSeparator = ListPopup->addSeparator();
    UploadPopupAction = c.at("UploadtoMultipleHosts1");
    ListPopup->addAction(UploadPopupAction);
    ListPopup->addAction(LogoutAction);
    connect(ListPopup, &QMenu::aboutToShow, this, &TFTPfrm::HabilitarBotons);
    infoPopup()->insertAction(infoPopup()->actions().value(0), c.at("ShowInformationBox1"));
}

void TFTPfrm::commandsUpdated(bool busy) {
    if (busy) return;
    action("pasvmode1")->setChecked(nav_->pasv());
    if (!engine_->connecting() && statusText() != QStringLiteral("Connecting...")) nav_->updateStatus();
}

} // namespace vn
