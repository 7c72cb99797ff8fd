#pragma once
// The TFTP client engine of one client window: one download or upload at a
// time, run on the caller's thread (the window's worker) until it ends. Abort
// is the window's EventWait::abort(): it ends the transfer at once. Reports go
// to the sink: the running byte count as status text and progress (a few times
// a second), then "Transaction Completed". Errors come back in the result; the
// window shows them. Every wait has a deadline (a silent one means "send
// again"), and the wait after the last block normally ends in silence, so the
// EventWait should have no logger of its own (it would log ">ERROR: Timeout").
// The window starts each transfer with wait.beginOperation().
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>

#include "common/ToolSink.h"
#include "platform/EventWait.h"
#include "platform/Outcome.h"
#include "tftp/TftpSettings.h"

namespace vn::tftp {

struct ClientResult {
    Outcome outcome = Outcome::Failed; // Done, Aborted, TimedOut ("Timeout") or Failed
    std::string error;                 // the text for the error box; empty when Done
    std::uint64_t bytes = 0;           // file bytes moved
    int blockSize = 512;               // the block size in effect
    double seconds = 0;                // from the request to the end
    bool requestSent = false;          // false: failed before anything went out
};

class TftpClient {
public:
    TftpClient(EventWait& wait, ToolSink& sink);

    // Any thread; the next transfer uses them.
    void setSettings(const ClientSettings& s);
    ClientSettings settings() const;

    // Fetches remoteName into localPath. The file arrives in a temporary file
    // beside localPath that replaces it only when the transfer succeeded; an
    // existing file is untouched by a failure.
    ClientResult download(const std::string& host, const std::string& remoteName,
                          const std::filesystem::path& localPath);
    // Sends localPath (a regular file) as remoteName. Done only once the server
    // acknowledged the last block.
    ClientResult upload(const std::filesystem::path& localPath, const std::string& host,
                        const std::string& remoteName);

private:
    EventWait& wait_;
    ToolSink& sink_;
    mutable std::mutex mutex_;
    ClientSettings settings_;
};

} // namespace vn::tftp
