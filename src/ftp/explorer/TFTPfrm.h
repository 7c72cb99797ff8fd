#pragma once
// The FTP explorer window, a tool window (common/ui/ToolWindow.h): the base
// runs every network operation on the window's worker, one at a time, hands
// the engine's reports to the UI thread and owns Abort, the log box, gauges,
// status bar and closing. The window builds the panes and the commands (one
// table, ExplorerCommands.cpp) and hands each command to the piece that owns
// its state:
//   FolderNavigator  the open folder, listings placed in the tree and the list
//   SessionList      connecting, keep-alives, passive mode, quitting
//   FileOperations   new folder, rename, delete, properties, opening files
//   CopyExecutor     clipboard, paste, drag and drop, and their outcome
// The folder tree (ExplorerTree.h) and the file list (FileListPane.h) are
// widgets of their own.
#include "common/ui/ToolWindow.h"

#include <QPointer>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ftp/engine/FtpEngine.h"
#include "ftp/explorer/CopyExecutor.h"
#include "ftp/explorer/ExplorerParts.h"
#include "ftp/explorer/ExplorerRules.h"
#include "ftp/explorer/FileOperations.h"
#include "ftp/explorer/FolderNavigator.h"
#include "ftp/explorer/SessionList.h"

class QAction;
class QActionGroup;
class QListView;
class QMenu;
class QProgressBar;
class QAbstractItemView;
class QSplitter;
class QTableView;
class QTimer;
class QTreeWidgetItem;

namespace vn {

class ExplorerMisc;
class ExplorerSink;
class InfoBox;
class TSearchfrm;

class TFTPfrm : public ToolWindow {
    Q_OBJECT
public:
    explicit TFTPfrm(QWidget* parent = nullptr);
    ~TFTPfrm() override;

    // Quick connection to the host named by a command-line parameter, or with
    // more of the dialog filled in (an ftp:// address).
    using QuickPreset = vn::QuickPreset;
    void mostrarQuick(const QString& parameter) { sessions_->quickFromParameter(parameter); }
    void mostrarQuick(const QuickPreset& preset) { sessions_->quickPreset(preset); }

    // The pieces.
    FolderNavigator* folders() const { return nav_; }
    SessionList* sessions() const { return sessions_; }
    FileOperations* fileOperations() const { return files_; }
    CopyExecutor* copies() const { return copies_; }

    // The window's state, for the main window and the tests.
    using ToolWindow::busy;
    bool connecting() const { return engine_->connecting(); }
    int sessionCount() const { return sessions_->count(); }
    SessionId currentSession() const { return nav_->session(); }
    QString currentDir() const;
    const std::string& currentDirBytes() const { return nav_->dir(); }
    bool currentPasv() const { return nav_->pasv(); }
    ExplorerTree* tree() const { return Tree; }
    QTableView* list() const { return ListReport; }
    QListView* iconList() const { return ListIcons; }
    FileListModel* listModel() const { return model_; }
    QMenu* ftpMenu() const { return FTPMenu; }
    QMenu* lastHostsMenu() const { return LastHostsMenu; }
    QMenu* customCommandsMenu() const { return CustomCommandsMenu; }
    ExplorerMisc* misc() const { return misc_; }
    // The open search window, if any.
    TSearchfrm* searchWindow() const;

    // Tree access by node.
    std::vector<QTreeWidgetItem*> serverNodes() const { return Tree->serverNodes(); }
    const TNodeInfo* nodeInfo(const QTreeWidgetItem* item) const { return Tree->nodeInfo(item); }
    QTreeWidgetItem* nodeById(NodeId id) const { return Tree->nodeById(id); }
    NodeId nodeIdOf(const QTreeWidgetItem* item) const { return Tree->nodeIdOf(item); }
    bool isPlaceholder(const QTreeWidgetItem* item) const { return Tree->isPlaceholder(item); }
    // The first node, in tree order, whose folder is `path` on `session`.
    QTreeWidgetItem* findNode(const std::string& path, SessionId session) const {
        return Tree->findNode(path, session);
    }

    // Opens a full path of a session (0: local) in the tree and the list.
    void ObrirSubdirectoris(const std::string& path, SessionId session) { nav_->openPath(path, session); }
    // The same, then selects the item shown as `name` in the list.
    void openFolderAndSelect(const std::string& path, SessionId session, const QString& name);
    // Shows a local folder (trailing "/") in the list; false when it is no folder.
    bool MostrarFitxers(const std::string& path) { return nav_->showLocal(path); }
    // Sets the passive flag and port on a node and every node below it.
    void FormatejaTreePASV(QTreeWidgetItem* node, bool pasv, int port) { Tree->FormatejaTreePASV(node, pasv, port); }
    // Selects a list item by name (for the tests and the search window).
    bool selectListItem(const QString& name) { return List->selectItem(name); }
    // An in-place name edit is open in the list / the tree.
    bool listEditing() const { return List->editing(); }
    bool treeEditing() const { return Tree->editing(); }
    // A key was pressed in the list since items were last added: while busy,
    // the user's selection changes are refused.
    bool keyboardSelecting() const { return List->keyboardSelecting(); }
    // The list view shown by the current view style.
    QAbstractItemView* currentListView() const { return List->currentView(); }
    QSplitter* treeSplitter() const { return hsplit_; }
    QSplitter* infoSplitter() const { return vsplit_; }
    QWidget* gaugePanel() const;

    // Commands (buttons, menus, shortcuts): each goes to the piece that owns it.
public slots:
    void QuickSBClick() { sessions_->quick(); }
    // Site Manager (Ctrl+M): connects to the chosen site, trying its alternate addresses.
    void ConnectarAServidorSBClick() { sessions_->siteManager(); }
    void QuitSBClick() { sessions_->quitCurrent(); }
    void Logout1Click();
    void AbortSBClick() { abort(); }
    void FesConnectar(const QString& host) { sessions_->quickTo(host); }
    // Rebuilds "&Last Hosts Visited" from the history (each time the menu opens).
    void FTPMenuPopup();
    void FormatejarColors();
    void RefreshSBClick() { nav_->refresh(); }
    void UpSBClick() { nav_->up(); }
    void NovaCarpetaSBClick() { files_->newFolder(); }
    void DeleteSBClick() { files_->deleteSelected(); }
    void CopySBClick() { copies_->copy(); }
    void CutSBClick() { copies_->cut(); }
    void PAsteSBClick() { copies_->paste(); }
    void FileProperties1Click() { files_->properties(); }
    void FerDropEnList(const std::vector<std::string>& paths, int targetRow) { copies_->dropOnList(paths, targetRow); }
    void FerDropEnTree(const std::vector<std::string>& paths, QTreeWidgetItem* node) { copies_->dropOnTree(paths, node); }
    void ListDragDrop(QObject* source, int targetRow) { copies_->listDragDrop(source, targetRow); }
    void TreeDragDrop(QObject* source, QTreeWidgetItem* node) { copies_->treeDragDrop(source, node); }
    void RenameSBClick() { files_->rename(); }
    void SelectAllSBClick();
    void InvertSelectionSBClick();
    // Opens the chosen item: a folder in the tree and the list, a file in its application.
    void ListDblClick() { files_->openSelected(); }
    void System1Click() { files_->systemProperties(); }
    // Hands the selected local files to the multi-host upload window.
    void UploadtoMultipleHosts1Click();
    void pasvmode1Click() { sessions_->togglePassive(); }
    void ShowGridSBClick();
    void InformationBox1Click();
    void Clear1Click();
    void SaveLog1Click() { saveLog(); }
    void FullCollapse1Click();
    void FullExpand1Click() { nav_->fullExpand(); }
    // Search (Ctrl+S): the search window below the current folder (ExplorerSearch.cpp).
    void SearchSBClick();
    // Help "&Contents" (F1): the user guide's page of this window.
    void Contents1Click() { showHelp(); }
    void ListColumnClick(int column) { nav_->sortList(column); }
    void HabilitarBotons() { updateCommands(); }
    void DesactivaBotonsTx() { updateCommands(); }

signals:
    // The files (full local paths, bytes) to upload to several hosts; the main
    // window shows its upload window with them.
    void uploadToMultipleHosts(const std::vector<std::string>& files);

public:
    using ViewStyle = FileListPane::ViewStyle;
    void setViewStyle(ViewStyle v);
    // Places the gauges under the tree and under the list.
    void placeGauges();
    ViewStyle viewStyle() const { return List->viewStyle(); }
    bool gridShown() const { return List->gridShown(); }
    // Gauges: 64-bit counts shown scaled.
    void ActivartotalGauge(std::uint64_t n);
    void ActivarFileGauge(std::uint64_t n);
    void IncrementarTotalGauge();
    void IncrementarFileGauge(std::uint64_t k);
    void setFileProgress(std::uint64_t done, std::uint64_t total);
    void setTotalProgress(std::uint64_t done, std::uint64_t total);
    void DesactivarGauges();
    QProgressBar* totalGauge() const;
    QProgressBar* fileGauge() const;
    void beeps() { beep(); }
    // The deferred folder load (50 ms after a selection).
    QTimer* mouseTimer() const { return nav_->loadTimer(); }

protected:
    void prepareEnabling() override;
    void commandsUpdated(bool busy) override;
    void busyLook(bool busy) override;
    void aborting(bool closing) override;
    CloseAnswer aboutToClose() override;
    void windowClosing() override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The Miscellaneous menu's commands (misc/ExplorerMisc.h).
    friend class ExplorerMisc;
    class Host;
    TransferMode pressedTransferMode() const;
    void buildUi();
    // The command table, the menus, the tool bar and the pop-ups (ExplorerCommands.cpp).
    void buildCommands();
    bool treeHasFocus() const;
    bool listHasFocus() const;
    std::vector<int> selectedRows() const { return List->selectedRows(); }
    int QuantsSeleccionats() const { return List->selectedCount(); }

    // Kept by the base until the worker has ended.
    ExplorerSink* sink_ = nullptr;
    FtpEngine* engine_ = nullptr;
    FtpTransfer* transfer_ = nullptr;
    TempFiles* temp_ = nullptr; // this window's own folder below "TEMP"
    std::unique_ptr<Host> host_;
    std::unique_ptr<ExplorerParts> parts_;
    FolderNavigator* nav_ = nullptr;
    SessionList* sessions_ = nullptr;
    FileOperations* files_ = nullptr;
    CopyExecutor* copies_ = nullptr;
    QObject* keys_ = nullptr; // PaneKeys

    EnableState en_; // what the command rules share, computed before them
    int treeWidth_ = 225, infoHeight_ = 50;
    bool sizesApplied_ = false; // TreeWidth and InfoHeight given to the splitters at the first show
    NodeId popupNode_ = 0;

    FileListModel* model_ = nullptr;
    ExplorerTree* Tree = nullptr;
    FileListPane* List = nullptr;
    QTableView* ListReport = nullptr;
    QListView* ListIcons = nullptr;
    InfoBox* Info = nullptr; // the base's log box, placed under the list
    QSplitter* hsplit_ = nullptr;
    QSplitter* vsplit_ = nullptr;
    QMenu* FTPMenu = nullptr;
    QMenu* FileMenu = nullptr;
    QMenu* EditMenu = nullptr;
    QMenu* ViewMenu = nullptr;
    QMenu* MiscMenu = nullptr;
    QMenu* HelpMenu = nullptr;
    QMenu* LastHostsMenu = nullptr;
    QMenu* CustomCommandsMenu = nullptr;
    ExplorerMisc* misc_ = nullptr;
    QPointer<TSearchfrm> search_;
    QMenu* ListPopup = nullptr;
    QActionGroup* typeGroup_ = nullptr;
    QActionGroup* viewGroup_ = nullptr;
    QAction* LogoutAction = nullptr;
    QAction* UploadPopupAction = nullptr;
    QAction* UploadPopupSeparator = nullptr;
};

} // namespace vn
