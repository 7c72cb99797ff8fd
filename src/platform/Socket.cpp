#include "platform/Socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/EventWait.h"
#include "platform/Tls.h"

namespace vn {

bool isDottedIPv4(std::string_view text) {
    if (text.empty() || text.size() > 15) return false;
    in_addr a{};
    return inet_pton(AF_INET, std::string(text).c_str(), &a) == 1;
}

bool isIPv6Literal(std::string_view text) {
    if (text.empty() || text.size() >= INET6_ADDRSTRLEN) return false;
    in6_addr a{};
    return inet_pton(AF_INET6, std::string(text).c_str(), &a) == 1;
}

namespace {

std::string v6Text(const in6_addr& a) {
    if (IN6_IS_ADDR_V4MAPPED(&a)) {
        // The peer of a dual-stack socket: the IPv4 address it really is.
        in_addr v4{};
        std::memcpy(&v4, a.s6_addr + 12, sizeof v4);
        char buf[INET_ADDRSTRLEN] = {};
        return inet_ntop(AF_INET, &v4, buf, sizeof buf) ? buf : "";
    }
    char buf[INET6_ADDRSTRLEN] = {};
    return inet_ntop(AF_INET6, &a, buf, sizeof buf) ? buf : "";
}

std::optional<Endpoint> toEndpoint(const sockaddr_storage& ss) {
    if (ss.ss_family == AF_INET) {
        const auto& sa = reinterpret_cast<const sockaddr_in&>(ss);
        char buf[INET_ADDRSTRLEN] = {};
        if (!inet_ntop(AF_INET, &sa.sin_addr, buf, sizeof buf)) return std::nullopt;
        return Endpoint{buf, ntohs(sa.sin_port)};
    }
    if (ss.ss_family == AF_INET6) {
        const auto& sa = reinterpret_cast<const sockaddr_in6&>(ss);
        std::string text = v6Text(sa.sin6_addr);
        if (text.empty()) return std::nullopt;
        return Endpoint{text, ntohs(sa.sin6_port)};
    }
    return std::nullopt;
}

// The socket address of a literal IPv4 or IPv6 address; 0 when it is neither.
socklen_t makeAddress(const std::string& address, std::uint16_t port, sockaddr_storage& ss) {
    ss = {};
    auto& v4 = reinterpret_cast<sockaddr_in&>(ss);
    if (inet_pton(AF_INET, address.c_str(), &v4.sin_addr) == 1) {
        v4.sin_family = AF_INET;
        v4.sin_port = htons(port);
        return sizeof(sockaddr_in);
    }
    ss = {};
    auto& v6 = reinterpret_cast<sockaddr_in6&>(ss);
    if (inet_pton(AF_INET6, address.c_str(), &v6.sin6_addr) == 1) {
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(port);
        return sizeof(sockaddr_in6);
    }
    return 0;
}

} // namespace

std::string canonicalAddress(std::string_view text) {
    const std::string s(text);
    in_addr a4{};
    if (s.size() <= 15 && inet_pton(AF_INET, s.c_str(), &a4) == 1) {
        char buf[INET_ADDRSTRLEN] = {};
        return inet_ntop(AF_INET, &a4, buf, sizeof buf) ? buf : "";
    }
    in6_addr a6{};
    if (isIPv6Literal(s) && inet_pton(AF_INET6, s.c_str(), &a6) == 1) return v6Text(a6);
    return {};
}

Socket::~Socket() { close(); }

Socket& Socket::operator=(Socket&& o) noexcept {
    if (this != &o) {
        close();
        fd_ = o.fd_;
        o.fd_ = -1;
        tls_ = std::move(o.tls_);
    }
    return *this;
}

Socket Socket::tcp(int& err, bool ipv6) {
    int fd = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    err = fd < 0 ? errno : 0;
    return Socket(fd);
}

void Socket::close() {
    if (tls_) {
        // close_notify when the socket takes it now; a graceful end waits
        // for it beforehand (TlsLayer::shutdown), a close never does.
        if (fd_ >= 0) tls_->shutdown(false);
        tls_.reset();
    }
    if (fd_ >= 0) {
        ::shutdown(fd_, SHUT_RDWR);
        ::close(fd_);
        fd_ = -1;
    }
}

int Socket::release() {
    tls_.reset();
    int fd = fd_;
    fd_ = -1;
    return fd;
}

int Socket::connectStart(const std::string& address, std::uint16_t port) {
    sockaddr_storage sa;
    const socklen_t len = makeAddress(address, port, sa);
    if (len == 0) return EINVAL;
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&sa), len) == 0) return 0;
    return errno == EINPROGRESS ? 0 : errno;
}

int Socket::pendingError() const {
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return errno;
    return err;
}

void Socket::attachTls(std::unique_ptr<TlsLayer> tls) { tls_ = std::move(tls); }

bool Socket::buffered() const { return tls_ && tls_->pending(); }

unsigned Socket::waitEvents(unsigned events) const {
    return tls_ ? tls_->wantsFor(events) : events;
}

long Socket::sendSome(const char* data, std::size_t size) {
    if (tls_) return tls_->write(data, size);
    return static_cast<long>(::send(fd_, data, size, MSG_NOSIGNAL | MSG_DONTWAIT));
}

long Socket::recvSome(char* data, std::size_t size) {
    if (tls_) return tls_->read(data, size);
    return static_cast<long>(::recv(fd_, data, size, MSG_DONTWAIT));
}

std::optional<Endpoint> Socket::localAddress() const {
    sockaddr_storage sa{};
    socklen_t len = sizeof sa;
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return std::nullopt;
    return toEndpoint(sa);
}

std::optional<Endpoint> Socket::peerAddress() const {
    sockaddr_storage sa{};
    socklen_t len = sizeof sa;
    if (::getpeername(fd_, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return std::nullopt;
    return toEndpoint(sa);
}

int Socket::listenOn(const std::string& address, std::uint16_t port, int backlog) {
    sockaddr_storage sa;
    const socklen_t len = makeAddress(address, port, sa);
    if (len == 0) return EINVAL;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&sa), len) != 0) return errno;
    if (::listen(fd_, backlog) != 0) return errno;
    return 0;
}

Socket Socket::acceptOne(Endpoint* peer, int& err) {
    sockaddr_storage sa{};
    socklen_t len = sizeof sa;
    int fd = ::accept4(fd_, reinterpret_cast<sockaddr*>(&sa), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    err = fd < 0 ? errno : 0;
    if (fd >= 0 && peer) {
        if (auto e = toEndpoint(sa)) *peer = *e;
    }
    return Socket(fd);
}

} // namespace vn
