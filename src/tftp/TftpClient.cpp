#include "tftp/TftpClient.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Resolver.h"
#include "tftp/ProgressThrottle.h"
#include "tftp/TftpChannel.h"
#include "tftp/TftpFiles.h"
#include "tftp/TftpTransfer.h"

namespace vn::tftp {

namespace {

using Clock = std::chrono::steady_clock;

// Requests stay within the 512 bytes every server reads.
constexpr std::size_t kMaxRequest = 512;

ClientResult failed(std::string text, Outcome o = Outcome::Failed) {
    ClientResult r;
    r.outcome = o;
    r.error = std::move(text);
    return r;
}

Timing timingOf(const ClientSettings& s) {
    Timing t;
    t.interval = std::chrono::milliseconds(s.timeoutMs > 0 ? s.timeoutMs : 3000);
    t.maxSends = s.maxSends > 0 ? s.maxSends : 1;
    const int dally = s.dallyMs < 0 ? 0 : s.dallyMs;
    t.dally = std::chrono::milliseconds(dally < t.interval.count() ? dally : t.interval.count());
    return t;
}

struct Prepared {
    ClientResult error;
    bool ok = false;
    Address server;
    UdpSocket socket;
    std::string request;
    std::string who; // "host:port" as configured
};

Prepared prepare(EventWait& wait, const ClientSettings& s, Opcode op, const std::string& host,
                 const std::string& remoteName) {
    Prepared p;
    if (host.empty()) {
        p.error = failed("No host given");
        return p;
    }
    if (remoteName.empty() || remoteName.find('\0') != std::string::npos) {
        p.error = failed("Invalid remote file name");
        return p;
    }
    const int block = clampBlockSize(s.requestedBlock);
    p.request = encodeRequest(op, remoteName, modeName(s.mode), {{"blksize", std::to_string(block)}});
    if (p.request.size() > kMaxRequest) {
        p.error = failed("Remote file name too long");
        return p;
    }
    const std::uint16_t port = static_cast<std::uint16_t>(s.port > 0 && s.port <= 65535 ? s.port : 69);
    p.who = host + ":" + std::to_string(port);
    LookupResult found = lookupHost(wait, host, Clock::now() + std::chrono::seconds(30));
    switch (found.status) {
    case LookupResult::Found: break;
    case LookupResult::Cancelled: p.error = failed("Transfer cancelled", Outcome::Aborted); return p;
    case LookupResult::TimedOut: p.error = failed("Timeout", Outcome::TimedOut); return p;
    default:
        if (wait.cancelled()) p.error = failed("Transfer cancelled", Outcome::Aborted);
        else p.error = failed("Host not found: " + host);
        return p;
    }
    if (!Address::parse(found.dotted, port, p.server)) {
        p.error = failed("Host not found: " + host);
        return p;
    }
    if (int e = p.socket.open(htonl(INADDR_ANY), 0); e != 0) {
        p.error = failed(std::string("UDP socket error: ") + std::strerror(e));
        return p;
    }
    p.ok = true;
    return p;
}

ClientResult finishResult(const TransferResult& t, Clock::time_point start) {
    ClientResult r;
    r.outcome = t.outcome;
    r.error = t.error;
    r.bytes = t.bytes;
    r.blockSize = t.blockSize;
    r.requestSent = true;
    r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return r;
}

} // namespace

TftpClient::TftpClient(EventWait& wait, ToolSink& sink) : wait_(wait), sink_(sink) {}

void TftpClient::setSettings(const ClientSettings& s) {
    std::lock_guard lock(mutex_);
    settings_ = s;
}

ClientSettings TftpClient::settings() const {
    std::lock_guard lock(mutex_);
    return settings_;
}

ClientResult TftpClient::download(const std::string& host, const std::string& remoteName,
                                  const std::filesystem::path& localPath) {
    const ClientSettings s = settings();
    int err = 0;
    TempFile file = TempFile::createFor(localPath, err);
    if (!file.valid()) {
        sink_.status("Transaction Completed");
        // EINVAL: the name is taken by a link, device or the like, never replaced.
        return failed(err == EINVAL ? "Not a regular file" : std::strerror(err));
    }
    Prepared p = prepare(wait_, s, Opcode::RRQ, host, remoteName);
    if (!p.ok) {
        sink_.status("Transaction Completed");
        return p.error;
    }
    const auto start = Clock::now();
    Channel ch(p.socket, wait_);
    ch.expectFrom(p.server);
    ProgressThrottle progress(sink_, 0);
    ReceiveSetup setup;
    setup.role = Role::Client;
    setup.first = p.request;
    setup.requestedBlock = clampBlockSize(s.requestedBlock);
    setup.timing = timingOf(s);
    setup.unexpectedFrom = p.who;
    setup.finish = [&file]() -> std::string {
        if (int e = file.commit(); e != 0) return std::strerror(e);
        return {};
    };
    const TransferResult t = receiveFile(ch, file.fd(), setup, [&](std::uint64_t b) { progress.update(b); });
    if (t.outcome != Outcome::Done) file.discard();
    progress.finish(t.bytes);
    sink_.status("Transaction Completed");
    return finishResult(t, start);
}

ClientResult TftpClient::upload(const std::filesystem::path& localPath, const std::string& host,
                                const std::string& remoteName) {
    const ClientSettings s = settings();
    int fd = ::open(localPath.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        int e = errno;
        sink_.status("Transaction Completed");
        return failed(std::strerror(e));
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        sink_.status("Transaction Completed");
        return failed(S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : "Not a regular file");
    }
    if (int fl = ::fcntl(fd, F_GETFL); fl >= 0) ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
    Prepared p = prepare(wait_, s, Opcode::WRQ, host, remoteName);
    if (!p.ok) {
        sink_.status("Transaction Completed");
        return p.error;
    }
    const auto start = Clock::now();
    Channel ch(p.socket, wait_);
    ch.expectFrom(p.server);
    ProgressThrottle progress(sink_, static_cast<std::uint64_t>(st.st_size));
    SendSetup setup;
    setup.role = Role::Client;
    setup.first = p.request;
    setup.requestedBlock = clampBlockSize(s.requestedBlock);
    setup.timing = timingOf(s);
    setup.unexpectedFrom = p.who;
    const TransferResult t = sendFile(ch, fd, setup, [&](std::uint64_t b) { progress.update(b); });
    progress.finish(t.bytes);
    sink_.status("Transaction Completed");
    return finishResult(t, start);
}

} // namespace vn::tftp
