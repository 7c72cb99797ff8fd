#include "tftp/TftpServer.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <vector>

#include "tftp/TftpPacket.h"
#include "tftp/TftpTransfer.h"

namespace vn::tftp {

struct TftpServer::Transfer {
    bool read = true; // RRQ: we send
    Address peer;
    std::string path;  // for the log
    int fd = -1;       // RRQ: the file
    TempFile temp;     // WRQ: where it arrives
    int blockSize = kDefaultBlockSize;
    bool oack = false;
    UdpSocket socket;
    EventWait wait;
    std::thread thread;
    std::atomic<bool> done{false};
    ~Transfer() {
        if (fd >= 0) ::close(fd);
    }
};

namespace {

std::string peerText(const Address& a) { return a.ipText() + " [Port " + std::to_string(a.port) + "]"; }

std::string leafOf(const std::string& relative) {
    const auto slash = relative.rfind('/');
    return slash == std::string::npos ? relative : relative.substr(slash + 1);
}

} // namespace

TftpServer::TftpServer(ToolSink& sink) : sink_(sink) {}

TftpServer::~TftpServer() { stop(); }

void TftpServer::log(const std::string& line) {
    std::lock_guard lock(sinkMutex_);
    sink_.log(line);
}

bool TftpServer::setBaseFolder(const std::filesystem::path& folder) {
    int err = 0;
    auto base = BaseFolder::open(folder, err);
    if (!base) return false;
    std::lock_guard lock(mutex_);
    base_ = std::move(base);
    return true;
}

std::string TftpServer::baseFolder() const {
    std::lock_guard lock(mutex_);
    return base_ ? base_->text() : std::string();
}

std::size_t TftpServer::activeTransfers() const {
    std::lock_guard lock(mutex_);
    std::size_t n = 0;
    for (const auto& t : transfers_)
        if (!t->done) ++n;
    return n;
}

bool TftpServer::start(const ServerSettings& settings) {
    if (running_) return true;
    settings_ = settings;
    if (settings_.bufferSize < 516) settings_.bufferSize = 516;
    if (settings_.bufferSize > 65536) settings_.bufferSize = 65536;
    const std::string portText = std::to_string(settings.port);
    auto refuse = [&](const std::string& why) {
        log("ERROR: Unable to start the TFTP Server at Port " + portText + " - " + why);
        return false;
    };
    int err = 0;
    auto base = BaseFolder::open(settings.baseFolder, err);
    if (!base) return refuse("the base folder " + settings.baseFolder.string() + " can't be opened: " + std::strerror(err));
    {
        std::lock_guard lock(mutex_);
        base_ = std::move(base);
    }
    if (settings.port < 0 || settings.port > 65535 || (settings.port == 0 && !settings.anyPort))
        return refuse("the port must be 1 to 65535");
    Address bind;
    if (!Address::parse(settings.bindAddress, 0, bind)) return refuse("invalid address " + settings.bindAddress);
    bindIp_ = bind.ip;
    if (int e = socket_.open(bindIp_, static_cast<std::uint16_t>(settings.port)); e != 0) {
        std::string why = std::strerror(e);
        if (e == EACCES && settings.port < 1024) why += " (ports below 1024 need privileges; choose another port)";
        return refuse(why);
    }
    port_ = socket_.localPort();
    {
        std::lock_guard lock(mutex_);
        stopping_ = false;
    }
    listenWait_.beginOperation();
    running_ = true;
    log("TFTP Server Started at Port " + std::to_string(port_.load()));
    listener_ = std::thread([this] { listen(); });
    return true;
}

void TftpServer::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    listenWait_.abort();
    if (listener_.joinable()) listener_.join();
    {
        std::lock_guard lock(mutex_);
        for (auto& t : transfers_) t->wait.abort();
    }
    reap(true);
    socket_ = UdpSocket();
    running_ = false;
}

void TftpServer::reap(bool all) {
    std::list<std::unique_ptr<Transfer>> ended;
    {
        std::lock_guard lock(mutex_);
        for (auto it = transfers_.begin(); it != transfers_.end();) {
            if (all || (*it)->done) {
                ended.push_back(std::move(*it));
                it = transfers_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& t : ended)
        if (t->thread.joinable()) t->thread.join();
}

void TftpServer::answer(const Address& to, ErrorCode code, std::string_view text) {
    socket_.sendTo(to, encodeError(code, text));
}

void TftpServer::listen() {
    std::vector<char> buf(static_cast<std::size_t>(settings_.bufferSize));
    for (;;) {
        const Outcome o = listenWait_.wait(socket_.fd(), FD_READ, std::nullopt);
        if (o == Outcome::Aborted) break;
        if (o != Outcome::Done) continue;
        for (;;) {
            Address from;
            long n = socket_.recvFrom(buf.data(), buf.size(), from);
            if (n < 0) break; // EAGAIN: drained (other errors: ICMP reports, nothing to do)
            reap(false);
            log("Transfer in progress... - " + std::to_string(n));
            if (n == 0) continue;
            if (static_cast<std::size_t>(n) > buf.size()) {
                auto op = peekOpcode(std::string_view(buf.data(), buf.size()));
                if (op && *op != static_cast<std::uint16_t>(Opcode::ERROR))
                    answer(from, ErrorCode::NotDefined, "Request larger than the server's buffer");
                continue;
            }
            handle(std::string_view(buf.data(), static_cast<std::size_t>(n)), from);
            if (listenWait_.cancelled()) return;
        }
    }
}

void TftpServer::handle(std::string_view dg, const Address& from) {
    const auto op = peekOpcode(dg);
    // Never answer an ERROR: two servers would answer each other for ever.
    if (op && *op == static_cast<std::uint16_t>(Opcode::ERROR)) return;
    const std::string unexpected = "Unexpected operation from " + from.text();
    if (!op) return answer(from, ErrorCode::NotDefined, "Packet shorter than 2 bytes");
    if (*op != 1 && *op != 2) return answer(from, ErrorCode::IllegalOperation, unexpected);
    const Decoded d = decode(dg);
    if (!d.ok) return answer(from, d.answer, d.error);
    const Packet& req = d.packet;
    if (!isKnownMode(req.mode))
        return answer(from, ErrorCode::IllegalOperation, "Unsupported transfer mode: \"" + printable(req.mode, 40) + "\"");

    auto t = std::make_unique<Transfer>();
    t->read = req.op == Opcode::RRQ;
    t->peer = from;
    // The block size counts as the first option only; others are not acknowledged.
    if (!req.options.empty() && sameOptionName(req.options.front().name, "blksize")) {
        const auto v = parseDecimal(req.options.front().value);
        if (!v) return answer(from, ErrorCode::NotDefined, "Invalid blksize value: " + printable(req.options.front().value, 20));
        if (*v < kMinBlockSize) return answer(from, ErrorCode::OptionRefused, "Option negotiation refused: blksize below 8");
        // Never more than the client asked for: it may not take a larger block.
        t->blockSize = clampBlockSize(*v);
        t->oack = true;
    }

    std::shared_ptr<const BaseFolder> base;
    {
        std::lock_guard lock(mutex_);
        if (stopping_) return;
        std::size_t active = 0;
        for (const auto& x : transfers_) {
            if (x->done) continue;
            // The client sent its request again before our first answer reached it.
            if (x->peer == from) return;
            ++active;
        }
        if (active >= static_cast<std::size_t>(settings_.maxTransfers > 0 ? settings_.maxTransfers : 1))
            return answer(from, ErrorCode::NotDefined, "Server busy");
        base = base_;
    }

    const NameCheck name = checkRequestName(req.filename);
    if (!name.ok)
        return answer(from, ErrorCode::AccessViolation, "Access to " + printable(req.filename) + " denied");
    t->path = base->text() + name.relative;
    const std::string denied = "Access to " + printable(req.filename) + " denied";

    if (t->read) {
        log("Sending File " + printable(t->path, 4096) + " From " + peerText(from));
        log("Transfer in progress...");
        OpenResult r = openBeneathForRead(base->fd(), name.relative);
        if (r.fd < 0) {
            if (r.escapes || r.notRegular) {
                log("ERROR: Access Violation [Remote client tried to get " + printable(t->path, 4096) + "]");
                return answer(from, ErrorCode::AccessViolation, denied);
            }
            log("ERROR: File doesn't exist [Remote client tried to get " + printable(t->path, 4096) + "]");
            return answer(from, r.err == EACCES ? ErrorCode::AccessViolation : ErrorCode::FileNotFound, std::strerror(r.err));
        }
        t->fd = r.fd;
    } else {
        log("Getting File " + printable(leafOf(name.relative), 4096) + " From " + peerText(from));
        log("Transfer in progress...");
        std::string leaf;
        OpenResult r = openParentBeneath(base->fd(), name.relative, leaf);
        int err = r.err;
        if (r.fd >= 0) {
            t->temp = TempFile::createIn(r.fd, leaf, err);
            if (t->temp.valid()) err = 0;
        }
        if (r.escapes || r.notRegular) {
            log("ERROR: Access Violation [Remote client tried to put " + printable(t->path, 4096) + "]");
            return answer(from, ErrorCode::AccessViolation, denied);
        }
        if (err != 0) {
            log("ERROR: File Access Violation [Remote client tried to put " + printable(t->path, 4096) + "]");
            return answer(from, ErrorCode::DiskFull, std::strerror(err));
        }
    }
    if (int e = t->socket.open(bindIp_, 0); e != 0) return answer(from, ErrorCode::NotDefined, std::strerror(e));

    Transfer* raw = t.get();
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    transfers_.push_back(std::move(t));
    raw->thread = std::thread([this, raw] { runTransfer(*raw); });
}

void TftpServer::runTransfer(Transfer& t) {
    Channel ch(t.socket, t.wait);
    ch.lockTo(t.peer);
    Timing timing;
    timing.interval = std::chrono::milliseconds(settings_.timeoutMs > 0 ? settings_.timeoutMs : 1500);
    timing.maxSends = settings_.maxSends > 0 ? settings_.maxSends : 1;
    timing.dally = timing.interval;
    const std::string oack = t.oack ? encodeOack({{"blksize", std::to_string(t.blockSize)}}) : std::string();
    bool reported = false;
    auto complete = [&](bool ok, const std::string& why) {
        if (reported) return;
        reported = true;
        if (!ok && !why.empty()) log("ERROR: " + why + " - " + peerText(t.peer));
        log(std::string("Transfer Complete - ") + (ok ? "Success" : "Error Transmitting"));
    };
    TransferResult r;
    if (t.read) {
        SendSetup s;
        s.role = Role::Server;
        s.first = oack;
        s.blockSize = t.oack ? t.blockSize : kDefaultBlockSize;
        s.timing = timing;
        s.unexpectedFrom = t.peer.text();
        r = sendFile(ch, t.fd, s, nullptr);
        ::close(t.fd);
        t.fd = -1;
    } else {
        ReceiveSetup s;
        s.role = Role::Server;
        s.first = t.oack ? oack : encodeAck(0);
        s.blockSize = t.oack ? t.blockSize : kDefaultBlockSize;
        s.timing = timing;
        s.unexpectedFrom = t.peer.text();
        s.finish = [&t]() -> std::string {
            if (int e = t.temp.commit(); e != 0) return std::strerror(e);
            return {};
        };
        s.completed = [&] { complete(true, {}); };
        r = receiveFile(ch, t.temp.fd(), s, nullptr);
        t.temp.discard(); // nothing left once committed
    }
    complete(r.outcome == Outcome::Done, r.error);
    t.done = true;
}

} // namespace vn::tftp
