#pragma once
// The FTP explorer window, a tool window (common/ui/ToolWindow.h): the base
// runs every network operation on the window's worker, one at a time, hands
// the engine's reports to the UI thread and owns Abort, the log box, gauges,
// status bar and closing. The commands are one table (ExplorerCommands.cpp); the
// folder tree (ExplorerTree.h) and the file list (FileListPane.h) are widgets
// of their own. The window coordinates them
// and the engine's operations.
#include "common/ui/ToolWindow.h"

#include <QPointer>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ftp/engine/FtpEngine.h"
#include "ftp/engine/copy/Clipboard.h"
#include "ftp/engine/copy/Copier.h"
#include "ftp/engine/copy/LocalFiles.h"
#include "ftp/engine/copy/TempFiles.h"
#include "ftp/engine/transfer/Transfer.h"
#include "ftp/explorer/CopyPlanner.h"
#include "ftp/explorer/ExplorerRules.h"
#include "ftp/explorer/ExplorerTree.h"
#include "ftp/explorer/FileList.h"
#include "ftp/explorer/FileListPane.h"

class QAction;
class QActionGroup;
class QListView;
class QMenu;
class QProgressBar;
class QAbstractItemView;
class QPersistentModelIndex;
class QSplitter;
class QStackedWidget;
class QStatusBar;
class QTimer;
class QToolButton;
class QTableView;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace vn {

class ExplorerMisc;
class InfoBox;
class ThinkingIndicator;
class TQuickfrm;
class TSearchfrm;

class TFTPfrm : public ToolWindow {
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
        std::optional<FtpSecurity> security; // ftps:// and ftpes:// URLs
    };
    void mostrarQuick(const QuickPreset& preset);

    // The window's state, for the main window and the tests.
    using ToolWindow::busy;
    bool connecting() const { return engine_->connecting(); }
    int sessionCount() const { return static_cast<int>(serverNodes().size()); }
    SessionId currentSession() const { return currentSession_; }
    QString currentDir() const;
    const std::string& currentDirBytes() const { return currentDir_; }
    bool currentPasv() const { return currentPasv_; }
    ExplorerTree* tree() const { return Tree; }
    QTableView* list() const { return ListReport; }
    QListView* iconList() const { return ListIcons; }
    FileListModel* listModel() const { return model_; }
    QMenu* ftpMenu() const { return FTPMenu; }
    QMenu* lastHostsMenu() const { return LastHostsMenu; }
    QMenu* customCommandsMenu() const { return CustomCommandsMenu; }
    ExplorerMisc* misc() const { return misc_; }

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
    void ObrirSubdirectoris(const std::string& path, SessionId session);
    // Shows a local folder (trailing "/") in the list; false when it is no folder.
    bool MostrarFitxers(const std::string& path);
    // Sets the passive flag and port on a node and every node below it.
    void FormatejaTreePASV(QTreeWidgetItem* node, bool pasv, int port) { Tree->FormatejaTreePASV(node, pasv, port); }
    // Selects a list item by name (for the tests and the search window).
    bool selectListItem(const QString& name);
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
    // The open search window, if any.
    TSearchfrm* searchWindow() const;

    // Commands (buttons, menus, shortcuts).
public slots:
    void QuickSBClick();
    // Site Manager (Ctrl+M): connects to the chosen site, trying its alternate addresses.
    void ConnectarAServidorSBClick();
    void QuitSBClick();
    void Logout1Click();
    void AbortSBClick();
    void FesConnectar(const QString& host);
    // Rebuilds "&Last Hosts Visited" from the history (each time the menu opens).
    void FTPMenuPopup();
    void FormatejarColors();
    void RefreshSBClick();
    void UpSBClick();
    void NovaCarpetaSBClick();
    void DeleteSBClick();
    // The explorer clipboard ("copy.dat"): Copy, Cut and Paste in every direction.
    void CopySBClick();
    void CutSBClick();
    void PAsteSBClick();
    void FileProperties1Click();
    // Drops: paths from the desktop onto the list (a folder item or the current
    // folder) or onto a tree node; drags within the window. Every drop copies.
    void FerDropEnList(const std::vector<std::string>& paths, int targetRow);
    void FerDropEnTree(const std::vector<std::string>& paths, QTreeWidgetItem* node);
    void ListDragDrop(QObject* source, int targetRow);
    void TreeDragDrop(QObject* source, QTreeWidgetItem* node);
    void RenameSBClick();
    void SelectAllSBClick();
    void InvertSelectionSBClick();
    void ListDblClick();
    void System1Click();
    // Hands the selected local files to the multi-host upload window.
    void UploadtoMultipleHosts1Click();
    void pasvmode1Click();
    void ShowGridSBClick();
    void InformationBox1Click();
    void Clear1Click();
    void SaveLog1Click() { saveLog(); }
    void FullCollapse1Click();
    void FullExpand1Click();
    // Search (Ctrl+S): the search window below the current folder (ExplorerSearch.cpp).
    void SearchSBClick();
    // Help "&Contents" (F1): the user guide's page of this window.
    void Contents1Click() { showHelp(); }
    void ListColumnClick(int column);
    void HabilitarBotons();
    void DesactivaBotonsTx();

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
    QTimer* mouseTimer() const { return mousetimer; }

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
    class Sink;
    enum class ListTarget { Tree, List, Both };
    using Entries = std::optional<std::vector<ListingEntry>>;

    // Runs op on the worker thread unless the window is busy (false then). A user
    // operation lowers the cancel flag first; the keep-alive does not. `then`
    // runs on the UI thread once the window is idle again.
    bool startOperation(std::function<void()> op, bool userOperation = true, std::function<void()> then = {});
    // The same for a work with a result: done gets it on the UI thread.
    template <class Work, class Done>
    bool operate(Work work, Done done) {
        if (busy()) return false;
        engine_->setClosing(false);
        return runner().run(
            [e = engine_, work]() mutable {
                auto r = work();
                e->finishOperation();
                return r;
            },
            [this, done](auto&& r) mutable {
                if (closeState() == CloseState::Open) done(r);
            });
    }
    void runQuickDialog(TQuickfrm& dialog, bool passwordAsTyped);
    // Downloads a remote file of the current folder into "TEMP" and opens it.
    void openRemoteFile(const std::string& name);
    TransferMode pressedTransferMode() const;
    // Connects (with the retry rules), then presses the chosen transfer type and
    // opens the initial remote folder.
    void connectAndOpen(const ConnectParams& p, const std::vector<std::string>& alternates, RetryStyle style,
                        int transferType, const std::string& remoteDir);
    void buildUi();
    // The command table, the menus, the tool bar and the pop-ups (ExplorerCommands.cpp).
    void buildCommands();

    // Tree.
    void MostrarUnitatsLocals();
    void TreeExpanding(QTreeWidgetItem* item);
    void TreeCollapsed(QTreeWidgetItem* item);
    void TreeChange();
    void mousetimerTimer();
    void takeCurrentFrom(const TNodeInfo& n);
    void passaListATree(const std::string& name);
    // In-place names: the edits start here and end in the Edited handlers.
    void startTreeEdit(QTreeWidgetItem* item);
    void TreeEdited(NodeId id, const QString& text);
    void ListEdited(const QPersistentModelIndex& index, const QString& text);
    void ListEditCancelled(const QPersistentModelIndex& index);
    void createFolderInPlace(const std::string& name);
    void renameInList(const std::string& from, const std::string& to);
    void removeNamelessItems();
    void deleteTreeNode(QTreeWidgetItem* item);
    void fullExpandStep(std::vector<NodeId> pending);
    // Opens a search result's folder and selects it there.
    void openFound(const std::string& folder, const std::string& name, SessionId session);

    // Listing on the worker; `after` runs on the UI thread with the outcome.
    void listRemote(NodeId node, SessionId sid, const std::string& folder, ListTarget target,
                    std::function<void(bool ok)> after = {});
    void applyListing(NodeId node, SessionId sid, const std::string& folder, const Entries& entries,
                      ListTarget target);
    void fillRemoteList(const std::vector<ListingEntry>& entries, const std::string& folder);
    void openPathStep(std::string path, SessionId session, std::size_t pos);

    // Sessions.
    void buildServerChain(const SessionInfo& info, const Entries& entries);
    void removeServerNode(SessionId id);
    void fesNOOPTick(SessionId id);

    // List.
    std::vector<int> selectedRows() const;
    int QuantsSeleccionats() const;
    void updateStatus();
    // "<folder> - [Total Files : n] - [Selected Files : k]"
    QString folderStatus() const;
    void emptyTemp();
    std::vector<ClipEntry> clipEntries() const;
    void writeClip(bool cut);
    // After a cut whose sources all went: their folder nodes go too.
    void dropCutNodes(const Clipboard& clip);
    void installDragAndDrop();
    // Desktop paths that exist as a file, a folder or a link (the others are named in a message).
    std::vector<std::string> droppable(const std::vector<std::string>& paths);
    // The selected list items, as the planner takes them.
    std::vector<DropItem> selectedDropItems(int except = -1) const;
    // Runs the copies on the worker, then reloads the list (and expandAfter's children).
    void runCopyJobs(std::vector<CopyJob> jobs, QTreeWidgetItem* expandAfter);
    void deleteLocalItems(const std::vector<int>& rows, RecycleMode recycle);
    bool treeHasFocus() const;
    bool listHasFocus() const;

    // Kept by the base until the worker has ended.
    Sink* sink_ = nullptr;
    FtpEngine* engine_ = nullptr;
    FtpTransfer* transfer_ = nullptr;
    TempFiles* temp_ = nullptr; // this window's own folder below "TEMP"
    EnableState en_;            // what the command rules share, computed before them
    int noopInterval_ = 180;
    int treeWidth_ = 225, infoHeight_ = 50;
    bool sizesApplied_ = false; // TreeWidth and InfoHeight given to the splitters at the first show
    QString pendingRemoteDir_;
    int pendingType_ = -1;

    // Current folder values.
    std::string currentDir_;
    std::string currentIp_;
    SessionId currentSession_ = 0;
    // The list shows currentDir_; false once a folder failed to open (no status claims it).
    bool folderOpen_ = true;
    bool currentPasv_ = false;
    int currentPasvPort_ = -1;

    std::map<SessionId, QTimer*> keepAlive_;
    std::string connectingLogin_; // the login of the connect under way
    NodeId popupNode_ = 0;
    QPointer<TSearchfrm> search_;

    FileListModel* model_ = nullptr;

    ExplorerTree* Tree = nullptr;
    FileListPane* List = nullptr;
    QTableView* ListReport = nullptr;
    QListView* ListIcons = nullptr;
    InfoBox* Info = nullptr; // the base's log box, placed under the list
    QSplitter* hsplit_ = nullptr;
    QSplitter* vsplit_ = nullptr;
    QTimer* mousetimer = nullptr;
    QMenu* FTPMenu = nullptr;
    QMenu* FileMenu = nullptr;
    QMenu* EditMenu = nullptr;
    QMenu* ViewMenu = nullptr;
    QMenu* MiscMenu = nullptr;
    QMenu* HelpMenu = nullptr;
    QMenu* LastHostsMenu = nullptr;
    QMenu* CustomCommandsMenu = nullptr;
    ExplorerMisc* misc_ = nullptr;
    QMenu* ListPopup = nullptr;
    QActionGroup* typeGroup_ = nullptr;
    QActionGroup* viewGroup_ = nullptr;
    QAction* LogoutAction = nullptr;
    QAction* UploadPopupAction = nullptr;
    QAction* UploadPopupSeparator = nullptr;
};

} // namespace vn
