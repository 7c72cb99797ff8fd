#include "ScriptedPeer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vn::test {

namespace {

int loopbackListener(int backlog, uint16_t& port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, backlog) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        ::close(fd);
        return -1;
    }
    port = ntohs(a.sin_port);
    return fd;
}

} // namespace

ScriptedPeer::ScriptedPeer(Script script) : script_(std::move(script)) {
    listenFd_ = loopbackListener(8, port_);
    stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    thread_ = std::thread([this] { run(); });
}

ScriptedPeer::~ScriptedPeer() { stop(); }

void ScriptedPeer::stop() {
    if (stopFd_ >= 0) {
        std::uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(stopFd_, &one, sizeof one);
    }
    if (thread_.joinable()) thread_.join();
    if (listenFd_ >= 0) ::close(listenFd_);
    if (stopFd_ >= 0) ::close(stopFd_);
    listenFd_ = stopFd_ = -1;
}

std::string ScriptedPeer::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

void ScriptedPeer::record(std::string_view bytes) {
    std::lock_guard lock(mutex_);
    received_.append(bytes);
}

void ScriptedPeer::run() {
    if (listenFd_ < 0 || stopFd_ < 0) return;
    for (;;) {
        pollfd p[2] = {{listenFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (::poll(p, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (p[1].revents) {
            // Connections still queued count too: a test asks whether any came.
            for (;;) {
                int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
                if (fd < 0) return;
                ++accepted_;
                ::close(fd);
            }
        }
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        ++accepted_;
        Conn c(*this, fd);
        script_(c);
        if (c.fd() >= 0) ::close(c.fd());
        finished_ = true;
    }
}

bool ScriptedPeer::Conn::waitReadable() {
    pollfd p[2] = {{fd_, POLLIN, 0}, {peer_.stopFd_, POLLIN, 0}};
    for (;;) {
        if (::poll(p, 2, -1) >= 0) break;
        if (errno != EINTR) return false;
    }
    return p[1].revents == 0;
}

bool ScriptedPeer::Conn::send(std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

std::optional<std::string> ScriptedPeer::Conn::readLine() {
    for (;;) {
        size_t nl = buffered_.find('\n');
        if (nl != std::string::npos) {
            std::string line = buffered_.substr(0, nl + 1);
            buffered_.erase(0, nl + 1);
            return line;
        }
        if (!waitReadable()) return std::nullopt;
        char buf[4096];
        ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        if (n <= 0) return std::nullopt;
        peer_.record(std::string_view(buf, static_cast<size_t>(n)));
        buffered_.append(buf, static_cast<size_t>(n));
    }
}

void ScriptedPeer::Conn::silence() {
    for (;;) {
        if (!waitReadable()) return;
        char buf[4096];
        ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        if (n <= 0) return;
        peer_.record(std::string_view(buf, static_cast<size_t>(n)));
    }
}

void ScriptedPeer::Conn::reset() {
    linger l{1, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    ::close(fd_);
    fd_ = -1;
}

FullListener::FullListener() {
    // With a backlog of 0 the queue holds one connection nobody accepts; the
    // next connect's SYN goes unanswered.
    listenFd_ = loopbackListener(0, port_);
    if (listenFd_ < 0) return;
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port_);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        fillers_[0] = fd;
        ready_ = true;
    } else if (fd >= 0) {
        ::close(fd);
    }
}

FullListener::~FullListener() {
    for (int fd : fillers_)
        if (fd >= 0) ::close(fd);
    if (listenFd_ >= 0) ::close(listenFd_);
}

} // namespace vn::test
