#include "ftp/explorer/ExplorerSink.h"

#include <QMetaObject>

#include "common/ui/ToolWindow.h"
#include "ftp/explorer/SessionList.h"
#include "ftp/explorer/TSmartfrm.h"

namespace vn {

ExplorerSink::ExplorerSink(Window w) : UiSink<FtpSink>(w.window), w_(std::move(w)) {}

void ExplorerSink::attach(FtpEngine& engine, SessionList& sessions, OperationRunner& runner) {
    engine_ = &engine;
    sessions_ = &sessions;
    runner_ = &runner;
}

template <class F>
void ExplorerSink::post(F f) {
    QMetaObject::invokeMethod(w_.window, std::move(f), Qt::QueuedConnection);
}

void ExplorerSink::connectingChanged(bool on) {
    post([this, on] {
        w_.window->setStatus(on ? QStringLiteral("Connecting...") : QString());
        if (!on) w_.connected();
    });
}

void ExplorerSink::sessionOpened(const SessionInfo& info) {
    std::optional<std::vector<ListingEntry>> entries = engine_->fesLIST(info.id, info.workingDir, true);
    post([s = sessions_, info, entries] { s->opened(info, entries); });
}

void ExplorerSink::sessionClosed(SessionId id) {
    post([s = sessions_, id] { s->closed(id); });
}

void ExplorerSink::fileProgress(std::uint64_t done, std::uint64_t total) {
    post([this, done, total] { w_.fileProgress(done, total); });
}

void ExplorerSink::totalProgress(std::uint64_t done, std::uint64_t total) {
    post([this, done, total] { w_.totalProgress(done, total); });
}

FtpSink::ResumeAnswer ExplorerSink::askSmartResume(const std::string& localPath) {
    QWidget* parent = w_.window;
    return runner_->prompter().ask<ResumeAnswer>([parent, localPath] { return TSmartfrm::ask(localPath, parent); },
                                                 ResumeAnswer::DontTransfer);
}

} // namespace vn
