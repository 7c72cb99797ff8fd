#include "platform/Socket.h"

#include <arpa/inet.h>
#include <cerrno>
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

namespace {

std::optional<Endpoint> toEndpoint(const sockaddr_in& sa) {
    char buf[INET_ADDRSTRLEN] = {};
    if (!inet_ntop(AF_INET, &sa.sin_addr, buf, sizeof buf)) return std::nullopt;
    return Endpoint{buf, ntohs(sa.sin_port)};
}

bool makeAddress(const std::string& dotted, std::uint16_t port, sockaddr_in& sa) {
    sa = {};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    return inet_pton(AF_INET, dotted.c_str(), &sa.sin_addr) == 1;
}

} // namespace

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

Socket Socket::tcp(int& err) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
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

int Socket::connectStart(const std::string& dotted, std::uint16_t port) {
    sockaddr_in sa;
    if (!makeAddress(dotted, port, sa)) return EINVAL;
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0) return 0;
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
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return std::nullopt;
    return toEndpoint(sa);
}

std::optional<Endpoint> Socket::peerAddress() const {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getpeername(fd_, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return std::nullopt;
    return toEndpoint(sa);
}

int Socket::listenOn(const std::string& dotted, std::uint16_t port, int backlog) {
    sockaddr_in sa;
    if (!makeAddress(dotted, port, sa)) return EINVAL;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) return errno;
    if (::listen(fd_, backlog) != 0) return errno;
    return 0;
}

Socket Socket::acceptOne(Endpoint* peer, int& err) {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    int fd = ::accept4(fd_, reinterpret_cast<sockaddr*>(&sa), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    err = fd < 0 ? errno : 0;
    if (fd >= 0 && peer) {
        if (auto e = toEndpoint(sa)) *peer = *e;
    }
    return Socket(fd);
}

} // namespace vn
