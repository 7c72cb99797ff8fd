#pragma once
// What the FTP engine reports, on its way to the explorer: runs on the
// worker, and the base's forwarder (UiSink) queues every report to the UI
// thread. A new session's first listing is made here, still inside the
// connect, so its server node, folder chain and file list appear together.
#include <QObject>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "common/ui/UiSink.h"
#include "ftp/engine/FtpEngine.h"

namespace vn {

class OperationRunner;
class SessionList;
class ToolWindow;

class ExplorerSink : public UiSink<FtpSink> {
public:
    // Progress and the end of a connect go to the window.
    struct Window {
        ToolWindow* window;
        std::function<void()> connected; // the connect ended (either way)
        std::function<void(std::uint64_t, std::uint64_t)> fileProgress, totalProgress;
    };
    explicit ExplorerSink(Window w);
    // Before the first connect: the engine that lists, and the sessions told of it.
    void attach(FtpEngine& engine, SessionList& sessions, OperationRunner& runner);

    void connectingChanged(bool on) override;
    void sessionOpened(const SessionInfo& info) override;
    void sessionClosed(SessionId id) override;
    void fileProgress(std::uint64_t done, std::uint64_t total) override;
    void totalProgress(std::uint64_t done, std::uint64_t total) override;
    // Asked like every question of the worker: Abort or closing the window
    // answers it with "don't transfer".
    ResumeAnswer askSmartResume(const std::string& localPath) override;

private:
    template <class F>
    void post(F f);

    Window w_;
    FtpEngine* engine_ = nullptr;
    SessionList* sessions_ = nullptr;
    OperationRunner* runner_ = nullptr;
};

} // namespace vn
