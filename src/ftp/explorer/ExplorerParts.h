#pragma once
// What the explorer's pieces (FolderNavigator, SessionList, FileOperations,
// CopyExecutor) share: the window's narrow side (ExplorerHost), the engine,
// the two panes, and the one way to run an engine operation.
#include <QString>

#include <cstdint>
#include <type_traits>
#include <utility>

#include "common/ui/OperationRunner.h"
#include "ftp/engine/FtpEngine.h"
#include "ftp/engine/copy/TempFiles.h"
#include "ftp/engine/transfer/Transfer.h"
#include "ftp/explorer/ExplorerTree.h"
#include "ftp/explorer/FileListPane.h"

class QWidget;

namespace vn {

// What the pieces ask of the window.
class ExplorerHost {
public:
    // The parent of dialogs and timers.
    virtual QWidget* hostWidget() = 0;
    virtual bool busy() const = 0;
    // Not on its way to closing: an operation's result is still shown.
    virtual bool windowOpen() const = 0;
    virtual OperationRunner& operations() = 0;
    // Recomputes the commands' enabling (HabilitarBotons).
    virtual void refreshCommands() = 0;
    virtual void beep() = 0;
    virtual void log(const QString& line) = 0;
    virtual void setStatus(const QString& text) = 0;
    virtual void startTotalGauge(std::uint64_t steps) = 0;
    virtual void hideGauges() = 0;
    // The pressed transfer type button; pressTransferType: 0 ASCII, 1 Binary, 2 Auto.
    virtual TransferMode transferMode() const = 0;
    virtual void pressTransferType(int type) = 0;
    // The user is in the tree (its focus), not in the list.
    virtual bool treeHasFocus() const = 0;

protected:
    ~ExplorerHost() = default;
};

struct ExplorerParts {
    ExplorerHost& host;
    FtpEngine& engine;
    FtpTransfer& transfer;
    TempFiles& temp; // this window's own folder below "TEMP"
    ExplorerTree& tree;
    FileListPane& list;

    FileListModel& model() const { return *list.model(); }

    // Runs work on the window's worker unless the window is busy (false then):
    // work touches only the engine and what it captured; done gets its result
    // on the UI thread, unless the window is closing by then. A quiet run (the
    // keep-alive) keeps the cancel flag as it is.
    template <class Work, class Done>
    bool run(Work work, Done done, bool quiet = false) {
        if (host.busy()) return false;
        engine.setClosing(false);
        auto w = [e = &engine, work = std::move(work)]() mutable {
            if constexpr (std::is_void_v<std::invoke_result_t<Work&>>) {
                work();
                e->finishOperation();
            } else {
                auto r = work();
                e->finishOperation();
                return r;
            }
        };
        auto d = [h = &host, done = std::move(done)](auto&&... r) mutable {
            if (h->windowOpen()) done(r...);
        };
        return quiet ? host.operations().runQuiet(std::move(w), std::move(d))
                     : host.operations().run(std::move(w), std::move(d));
    }
    template <class Work>
    bool run(Work work) {
        return run(std::move(work), [](auto&&...) {});
    }
};

} // namespace vn
