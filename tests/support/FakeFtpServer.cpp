#include "FakeFtpServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vn::test {
namespace {

constexpr int kDataTimeoutMs = 10000;

sockaddr_in loopback(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    return a;
}

uint16_t boundPort(int fd) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) return 0;
    return ntohs(a.sin_port);
}

int listenLoopback(int backlog) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a = loopback(0);
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, backlog) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

void noDelay(int fd) {
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

bool writeAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool startsWith(const std::string& s, const std::string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

// "PORT h1,h2,h3,h4,p1,p2" -> address; only loopback targets are accepted.
bool parsePort(const std::string& line, sockaddr_in& out) {
    unsigned v[6];
    char tail = 0;
    size_t at = line.find(' ');
    if (at == std::string::npos) return false;
    if (std::sscanf(line.c_str() + at + 1, "%u,%u,%u,%u,%u,%u%c", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5],
                    &tail) != 6)
        return false;
    for (unsigned x : v)
        if (x > 255) return false;
    if (v[0] != 127) return false;
    out = sockaddr_in{};
    out.sin_family = AF_INET;
    out.sin_addr.s_addr = htonl((v[0] << 24) | (v[1] << 16) | (v[2] << 8) | v[3]);
    out.sin_port = htons(static_cast<uint16_t>(v[4] * 256 + v[5]));
    return true;
}

} // namespace

struct FakeFtpServer::Session {
    int fd = -1;
    std::string buffer;
    int passive = -1;  // listener from the last PASV
    bool active = false;
    sockaddr_in activeAddr{};
};

FakeFtpServer::FakeFtpServer() {
    if (pipe2(stopPipe_, O_CLOEXEC) != 0) std::abort();
    listener_ = listenLoopback(16);
    if (listener_ < 0) std::abort();
    port_ = boundPort(listener_);
}

FakeFtpServer::~FakeFtpServer() {
    stop();
    close(stopPipe_[0]);
    close(stopPipe_[1]);
}

FakeFtpServer& FakeFtpServer::addStep(Step step) {
    std::lock_guard lock(mutex_);
    steps_.push_back(std::move(step));
    return *this;
}

FakeFtpServer& FakeFtpServer::addEntry(Entry entry) {
    std::lock_guard lock(mutex_);
    for (auto& e : entries_) {
        if (e.prefix == entry.prefix) {
            e = std::move(entry);
            return *this;
        }
    }
    entries_.push_back(std::move(entry));
    return *this;
}

FakeFtpServer& FakeFtpServer::send(std::string bytes) { return addStep({StepKind::Send, std::move(bytes)}); }
FakeFtpServer& FakeFtpServer::pause(std::chrono::milliseconds d) { return addStep({StepKind::Pause, {}, d}); }
FakeFtpServer& FakeFtpServer::expect(std::string prefix) { return addStep({StepKind::Expect, std::move(prefix)}); }
FakeFtpServer& FakeFtpServer::reply(std::string prefix, std::string bytes) {
    expect(std::move(prefix));
    return send(std::move(bytes));
}
FakeFtpServer& FakeFtpServer::closeConnection() { return addStep({StepKind::Close, {}}); }
FakeFtpServer& FakeFtpServer::silence() { return addStep({StepKind::Silence, {}}); }

FakeFtpServer& FakeFtpServer::on(std::string prefix, std::string bytes) {
    return addEntry({std::move(prefix), Action::Answer, std::move(bytes), {}, {}});
}
FakeFtpServer& FakeFtpServer::onClose(std::string prefix, std::string bytes) {
    return addEntry({std::move(prefix), Action::AnswerClose, std::move(bytes), {}, {}});
}
FakeFtpServer& FakeFtpServer::dataPassive(std::string bytes) {
    return addEntry({"PASV", Action::Passive, std::move(bytes), {}, {}});
}
FakeFtpServer& FakeFtpServer::dataExtendedPassive(std::string bytes) {
    return addEntry({"EPSV", Action::ExtendedPassive, std::move(bytes), {}, {}});
}
FakeFtpServer& FakeFtpServer::dataActive(std::string bytes) {
    return addEntry({"PORT", Action::Active, std::move(bytes), {}, {}});
}
FakeFtpServer& FakeFtpServer::onData(std::string prefix, std::string bytes, std::string preliminary,
                                     std::string completion) {
    return addEntry({std::move(prefix), Action::DataOut, std::move(bytes), std::move(preliminary),
                     std::move(completion)});
}
FakeFtpServer& FakeFtpServer::onList(std::string listing, std::string preliminary, std::string completion) {
    return onData("LIST", std::move(listing), std::move(preliminary), std::move(completion));
}
FakeFtpServer& FakeFtpServer::onUpload(std::string prefix, std::string preliminary, std::string completion) {
    return addEntry({std::move(prefix), Action::DataIn, {}, std::move(preliminary), std::move(completion)});
}

FakeFtpServer& FakeFtpServer::login(std::string greeting) {
    send(std::move(greeting));
    reply("USER", "331 Password required.\r\n");
    reply("PASS", "230 Logged in.\r\n");
    on("PWD", "257 \"/\" is the current directory.\r\n");
    on("NOOP", "200 NOOP ok.\r\n");
    on("REST 0", "350 Restarting at 0.\r\n");
    on("TYPE", "200 Type set.\r\n");
    return on("SYST", "215 UNIX Type: L8\r\n");
}

std::unique_ptr<FakeFtpServer> FakeFtpServer::loginScript(std::string greeting) {
    auto server = std::make_unique<FakeFtpServer>();
    server->login(std::move(greeting));
    return server;
}

void FakeFtpServer::start() {
    std::lock_guard lock(mutex_);
    if (started_ || stopping_) return;
    started_ = true;
    threads_.emplace_back([this] { acceptLoop(); });
}

uint16_t FakeFtpServer::port() {
    start();
    return port_;
}

void FakeFtpServer::stop() {
    {
        std::lock_guard lock(mutex_);
        if (!stopping_) {
            stopping_ = true;
            char c = 1;
            if (write(stopPipe_[1], &c, 1) < 0) { /* poll wakes on the shutdowns below too */ }
            for (int fd : fds_) shutdown(fd, SHUT_RDWR);
        }
    }
    for (;;) {
        std::vector<std::thread> running;
        {
            std::lock_guard lock(mutex_);
            running.swap(threads_);
        }
        if (running.empty()) break;
        for (auto& t : running) t.join();
    }
    std::lock_guard lock(mutex_);
    if (listener_ >= 0) {
        close(listener_);
        listener_ = -1;
    }
    changed_.notify_all();
}

bool FakeFtpServer::spawn(std::thread&& t) {
    std::lock_guard lock(mutex_);
    threads_.push_back(std::move(t));
    return true;
}

bool FakeFtpServer::registerFd(int fd) {
    std::lock_guard lock(mutex_);
    if (stopping_) {
        close(fd);
        return false;
    }
    fds_.insert(fd);
    return true;
}

void FakeFtpServer::closeFd(int fd) {
    if (fd < 0) return;
    std::lock_guard lock(mutex_);
    fds_.erase(fd);
    close(fd);
}

bool FakeFtpServer::waitReadable(int fd, int timeoutMs) const {
    pollfd p[2] = {{fd, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
    for (;;) {
        int n = poll(p, 2, timeoutMs);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        if (p[1].revents) return false;
        return true;
    }
}

void FakeFtpServer::acceptLoop() {
    for (;;) {
        if (!waitReadable(listener_, -1)) return;
        int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        noDelay(fd);
        std::lock_guard lock(mutex_);
        if (stopping_) {
            close(fd);
            return;
        }
        ++connections_;
        changed_.notify_all();
        fds_.insert(fd);
        threads_.emplace_back([this, fd] { serve(fd); });
    }
}

void FakeFtpServer::record(const std::string& line) {
    std::lock_guard lock(mutex_);
    commands_.push_back(line);
    changed_.notify_all();
}

bool FakeFtpServer::readLine(Session& s, std::string& line) {
    for (;;) {
        size_t nl = s.buffer.find('\n');
        if (nl != std::string::npos) {
            line = s.buffer.substr(0, nl);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            s.buffer.erase(0, nl + 1);
            return true;
        }
        if (!waitReadable(s.fd, -1)) return false;
        char buf[4096];
        ssize_t n = recv(s.fd, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        s.buffer.append(buf, static_cast<size_t>(n));
    }
}

void FakeFtpServer::serve(int fd) {
    Session s;
    s.fd = fd;
    std::string line;
    for (size_t next = 0;; ++next) {
        Step step;
        {
            std::lock_guard lock(mutex_);
            if (next >= steps_.size()) break;
            step = steps_[next];
        }
        bool goOn = true;
        switch (step.kind) {
        case StepKind::Send:
            goOn = writeAll(fd, step.text);
            break;
        case StepKind::Pause: {
            pollfd p{stopPipe_[0], POLLIN, 0};
            goOn = poll(&p, 1, static_cast<int>(step.duration.count())) == 0;
            break;
        }
        case StepKind::Expect:
            for (;;) {
                if (!readLine(s, line)) {
                    goOn = false;
                    break;
                }
                record(line);
                if (startsWith(line, step.text)) break;
                // A server without TLS: a client that asks for it first hears no.
                if (startsWith(line, "AUTH ") && !startsWith(step.text, "AUTH") &&
                    !writeAll(fd, "502 AUTH not supported.\r\n")) {
                    goOn = false;
                    break;
                }
                // Every login asks FEAT: scripts that don't expect it still answer it.
                if (startsWith(line, "FEAT") && !respond(s, line)) {
                    goOn = false;
                    break;
                }
            }
            break;
        case StepKind::Close:
            goOn = false;
            break;
        case StepKind::Silence:
            while (readLine(s, line)) record(line);
            goOn = false;
            break;
        }
        if (!goOn) {
            closeFd(s.passive);
            closeFd(fd);
            return;
        }
    }
    while (readLine(s, line)) {
        record(line);
        if (!respond(s, line)) break;
    }
    closeFd(s.passive);
    closeFd(fd);
}

bool FakeFtpServer::openPassive(Session& s) {
    closeFd(s.passive);
    s.passive = -1;
    s.active = false;
    int l = listenLoopback(1);
    if (l < 0 || !registerFd(l)) return false;
    s.passive = l;
    return true;
}

int FakeFtpServer::acceptData(int listener) {
    if (!waitReadable(listener, kDataTimeoutMs)) return -1;
    int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return -1;
    noDelay(fd);
    return registerFd(fd) ? fd : -1;
}

int FakeFtpServer::connectData(const Session& s) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    if (!registerFd(fd)) return -1;
    int rc = connect(fd, reinterpret_cast<const sockaddr*>(&s.activeAddr), sizeof s.activeAddr);
    if (rc != 0 && errno != EINPROGRESS) {
        closeFd(fd);
        return -1;
    }
    if (rc != 0) {
        pollfd p[2] = {{fd, POLLOUT, 0}, {stopPipe_[0], POLLIN, 0}};
        int err = 0;
        socklen_t len = sizeof err;
        if (poll(p, 2, kDataTimeoutMs) <= 0 || p[1].revents ||
            getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0) {
            closeFd(fd);
            return -1;
        }
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    noDelay(fd);
    return fd;
}

bool FakeFtpServer::respond(Session& s, const std::string& line) {
    Entry entry{"", Action::Answer, "502 Command not implemented.\r\n", {}, {}};
    bool found = false;
    {
        std::lock_guard lock(mutex_);
        for (const auto& e : entries_) {
            if (startsWith(line, e.prefix)) {
                entry = e;
                found = true;
                break;
            }
        }
    }
    if (!found && startsWith(line, "QUIT")) entry = {"QUIT", Action::AnswerClose, "221 Goodbye.\r\n", {}, {}};

    switch (entry.action) {
    case Action::Answer:
        return writeAll(s.fd, entry.bytes);
    case Action::AnswerClose:
        writeAll(s.fd, entry.bytes);
        return false;
    case Action::Passive:
    case Action::ExtendedPassive: {
        if (!openPassive(s)) return writeAll(s.fd, "425 Can't open passive connection.\r\n");
        uint16_t p = boundPort(s.passive);
        std::string answer = entry.action == Action::Passive
                                 ? "227 Entering Passive Mode (127,0,0,1," + std::to_string(p / 256) + "," +
                                       std::to_string(p % 256) + ").\r\n"
                                 : "229 Entering Extended Passive Mode (|||" + std::to_string(p) + "|)\r\n";
        if (!entry.bytes.empty()) {
            int l = s.passive;
            s.passive = -1;
            std::string bytes = entry.bytes;
            spawn(std::thread([this, l, bytes] {
                int fd = acceptData(l);
                closeFd(l);
                if (fd >= 0) writeAll(fd, bytes);
                closeFd(fd);
            }));
        }
        return writeAll(s.fd, answer);
    }
    case Action::Active: {
        closeFd(s.passive);
        s.passive = -1;
        s.active = false;
        if (!parsePort(line, s.activeAddr)) return writeAll(s.fd, "500 Illegal PORT command.\r\n");
        s.active = true;
        bool ok = writeAll(s.fd, "200 PORT command successful.\r\n");
        if (ok && !entry.bytes.empty()) {
            s.active = false;
            Session copy;
            copy.activeAddr = s.activeAddr;
            std::string bytes = entry.bytes;
            spawn(std::thread([this, copy, bytes] {
                int fd = connectData(copy);
                if (fd >= 0) writeAll(fd, bytes);
                closeFd(fd);
            }));
        }
        return ok;
    }
    case Action::DataOut:
    case Action::DataIn: {
        if (s.passive < 0 && !s.active) return writeAll(s.fd, "425 Use PORT or PASV first.\r\n");
        if (!writeAll(s.fd, entry.preliminary)) return false;
        int data = s.passive >= 0 ? acceptData(s.passive) : connectData(s);
        closeFd(s.passive);
        s.passive = -1;
        s.active = false;
        if (data < 0) return writeAll(s.fd, "425 Can't open data connection.\r\n");
        if (entry.action == Action::DataOut) {
            writeAll(data, entry.bytes);
        } else {
            std::string got;
            char buf[16384];
            while (waitReadable(data, kDataTimeoutMs)) {
                ssize_t n = recv(data, buf, sizeof buf, 0);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) break;
                got.append(buf, static_cast<size_t>(n));
            }
            std::lock_guard lock(mutex_);
            uploads_.push_back(std::move(got));
            changed_.notify_all();
        }
        closeFd(data);
        return writeAll(s.fd, entry.completion);
    }
    }
    return true;
}

std::vector<std::string> FakeFtpServer::commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
}

bool FakeFtpServer::waitForCommand(const std::string& prefix, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
        for (const auto& c : commands_)
            if (startsWith(c, prefix)) return true;
        return false;
    });
}

int FakeFtpServer::connections() const {
    std::lock_guard lock(mutex_);
    return connections_;
}

bool FakeFtpServer::waitForConnections(int count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return connections_ >= count; });
}

std::vector<std::string> FakeFtpServer::uploads() const {
    std::lock_guard lock(mutex_);
    return uploads_;
}

uint16_t FakeFtpServer::refusingPort() {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    sockaddr_in a = loopback(0);
    uint16_t p = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) p = boundPort(fd);
    close(fd);
    return p;
}

// ---- HangingConnectTarget ----

HangingConnectTarget::HangingConnectTarget() {
    listener_ = listenLoopback(0);
    if (listener_ < 0) return;
    port_ = boundPort(listener_);
    sockaddr_in a = loopback(port_);
    // Connections that complete sit in the accept queue; the first one that
    // stays pending shows the queue is full and SYNs are being dropped.
    for (int i = 0; i < 16 && !hangs_; ++i) {
        int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) break;
        fillers_.push_back(fd);
        if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) continue;
        if (errno != EINPROGRESS) break;
        pollfd p{fd, POLLOUT, 0};
        if (poll(&p, 1, 300) == 0) hangs_ = true;
    }
}

HangingConnectTarget::~HangingConnectTarget() {
    for (int fd : fillers_) close(fd);
    if (listener_ >= 0) close(listener_);
}

} // namespace vn::test
