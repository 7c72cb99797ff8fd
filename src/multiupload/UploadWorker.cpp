#include "multiupload/UploadWorker.h"

#include <sys/stat.h>

#include <cmath>

#include "ftp/engine/transfer/Transfer.h"

namespace vn {

namespace {

std::string fileNameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

int percentOf(std::uint64_t sent, std::uint64_t total, bool done) {
    if (total == 0) return done ? 100 : 0;
    if (sent >= total) return 100;
    // In long double: the product of a byte count above 2^57 and 100 would overflow.
    return static_cast<int>(std::lround(static_cast<long double>(sent) * 100.0L / static_cast<long double>(total)));
}

bool UploadWorker::connected(SessionId id) {
    const ControlConnection* c = engine_.connection(id);
    return c && !c->ended();
}

UploadWorker::UploadWorker(FtpEngine& engine, UploadSink& sink, Prompter& prompter)
    : engine_(engine), sink_(sink), prompter_(prompter) {}

void UploadWorker::end(std::optional<SessionId> id, bool markFinished) {
    if (markFinished) sink_.finished();
    if (id) engine_.DesConnecta(*id);
    engine_.finishOperation();
    if (markFinished) sink_.log("Ending Thread...");
}

bool UploadWorker::run(const HostRecord& host, const UploadJob& job) {
    sent_ = 0;
    auto* adapter = dynamic_cast<WorkerSinkAdapter*>(&engine_.sink());
    if (adapter) adapter->reset();
    sink_.plainLine("Executing Thread n." + std::to_string(host.number));
    sink_.log("Ready to connect");

    ConnectParams p;
    p.host = host.address;
    p.login = host.user;
    p.password = host.password;
    p.siteName = host.name;
    p.passive = host.passive;
    p.port = host.port;
    p.security = host.security;
    std::optional<SessionId> id = engine_.connectWithRetries(p, {}, RetryStyle::SiteManager);
    if (cancelled()) {
        end(id, false);
        return false;
    }
    if (!id) {
        sink_.log("Thread Not connected");
        end(id, true);
        return true;
    }

    bool changed = engine_.fesCWD(*id, host.folder);
    if (cancelled()) {
        end(id, false);
        return false;
    }
    if (changed && (engine_.wait().cancelled() || !connected(*id))) {
        // The engine takes an interrupted CWD for the user's Abort; here it was
        // a lost connection or a time-out: the folder was not changed.
        engine_.sink().log(">Error changing Working Directory");
        changed = false;
    }
    if (!changed) {
        // The worker waits for the answer; Cancel and closing answer No.
        const bool goOn = prompter_.askYesNo(kFolderQuestion);
        if (cancelled()) {
            end(id, false);
            return false;
        }
        if (!goOn) {
            end(id, true);
            return true;
        }
    }

    FtpTransfer transfer(engine_);
    // Other workers read the same files: none is deleted after its upload.
    FtpTransfer::KeepSource keep(transfer);
    for (const std::string& path : *job.files) {
        if (cancelled()) {
            end(id, false);
            return false;
        }
        if (!connected(*id)) break; // the connection ended: nothing more can go
        engine_.ensureType(*id, 'I');
        if (cancelled()) {
            end(id, false);
            return false;
        }
        const std::string name = fileNameOf(path);
        // A failed file does not stop the next one; the engine logs why it failed.
        transfer.fesPUT(*id, path, name);
        if (adapter) sent_ = adapter->closeFile();
    }
    if (cancelled()) {
        end(id, false);
        return false;
    }
    end(id, true);
    return true;
}

} // namespace vn
