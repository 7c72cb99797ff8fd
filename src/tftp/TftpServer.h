#pragma once
// The TFTP server engine of one server window: a listener thread on the server
// port and one thread per transfer, each with a socket of its own. Requests
// resolve beneath the base folder only; received files replace their target
// only when complete. stop() (and the destructor) ends every thread promptly.
//
// Reports go to the sink, one call at a time, from the listener and transfer
// threads (the window marshals them to its UI thread): "TFTP Server Started at
// Port n", "Transfer in progress... - n", "Sending File ... From ip [Port n]",
// "Getting File ... From ip [Port n]", the file error lines, and
// "Transfer Complete - Success" / "Transfer Complete - Error Transmitting".
// A sink call must not wait for the UI thread (stop() joins the threads that
// make them).
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "common/ToolSink.h"
#include "platform/EventWait.h"
#include "tftp/TftpChannel.h"
#include "tftp/TftpFiles.h"
#include "tftp/TftpPacket.h"
#include "tftp/TftpSettings.h"

namespace vn::tftp {

class TftpServer {
public:
    explicit TftpServer(ToolSink& sink);
    ~TftpServer(); // stop()
    TftpServer(const TftpServer&) = delete;
    TftpServer& operator=(const TftpServer&) = delete;

    // Opens the base folder and listens. False, with a log line that says why
    // ("ERROR: Unable to start the TFTP Server at Port 69 - Permission denied"),
    // when the folder can't be opened or the port can't be bound; the server can
    // then be started again with other settings.
    // While running, start() changes nothing: stop() first.
    bool start(const ServerSettings& settings);
    // Any thread except inside a sink call: ends the listener and every
    // transfer (each sends its peer an ERROR) and joins them. Idempotent.
    void stop();
    bool running() const { return running_.load(); }
    // The port listened on (the chosen one when started with anyPort).
    std::uint16_t port() const { return port_.load(); }

    // Any thread: later requests resolve beneath `folder`; running transfers
    // keep theirs. False (the old folder stays) when it can't be opened.
    bool setBaseFolder(const std::filesystem::path& folder);
    // With one trailing '/'.
    std::string baseFolder() const;
    std::size_t activeTransfers() const;

private:
    struct Transfer;
    void listen();
    void handle(std::string_view datagram, const Address& from);
    void runTransfer(Transfer& t);
    void reap(bool all);
    void log(const std::string& line);
    void answer(const Address& to, ErrorCode code, std::string_view text);

    ToolSink& sink_;
    std::mutex sinkMutex_;
    ServerSettings settings_;
    UdpSocket socket_;
    std::uint32_t bindIp_ = 0;
    EventWait listenWait_;
    std::thread listener_;
    std::atomic<bool> running_{false};
    std::atomic<std::uint16_t> port_{0};

    mutable std::mutex mutex_; // base_, transfers_, stopping_
    std::shared_ptr<const BaseFolder> base_;
    std::list<std::unique_ptr<Transfer>> transfers_;
    bool stopping_ = false;
};

} // namespace vn::tftp
