#include "tftp/TftpChannel.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tftp/TftpPacket.h"

namespace vn::tftp {

std::string Address::ipText() const {
    char buf[INET_ADDRSTRLEN] = {};
    in_addr a{};
    a.s_addr = ip;
    ::inet_ntop(AF_INET, &a, buf, sizeof buf);
    return buf;
}

std::string Address::text() const { return ipText() + ":" + std::to_string(port); }

bool Address::parse(const std::string& dotted, std::uint16_t port, Address& out) {
    in_addr a{};
    if (::inet_pton(AF_INET, dotted.c_str(), &a) != 1) return false;
    out.ip = a.s_addr;
    out.port = port;
    return true;
}

UdpSocket::~UdpSocket() {
    if (fd_ >= 0) ::close(fd_);
}

UdpSocket& UdpSocket::operator=(UdpSocket&& o) noexcept {
    if (this != &o) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = o.fd_;
        o.fd_ = -1;
    }
    return *this;
}

int UdpSocket::open(std::uint32_t ip, std::uint16_t port) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return errno;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = ip;
    sa.sin_port = htons(port);
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        int e = errno;
        ::close(fd_);
        fd_ = -1;
        return e;
    }
    return 0;
}

std::uint16_t UdpSocket::localPort() const {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (fd_ < 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return 0;
    return ntohs(sa.sin_port);
}

int UdpSocket::sendTo(const Address& to, std::string_view bytes) const {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = to.ip;
    sa.sin_port = htons(to.port);
    for (;;) {
        ssize_t n = ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
        if (n >= 0) return 0;
        if (errno == EINTR) continue;
        // A full socket buffer drops the datagram as the network would; the
        // retransmission covers it.
        if (errno == EAGAIN || errno == ENOBUFS) return 0;
        return errno;
    }
}

long UdpSocket::recvFrom(char* buf, std::size_t cap, Address& from) const {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    for (;;) {
        ssize_t n = ::recvfrom(fd_, buf, cap, MSG_TRUNC, reinterpret_cast<sockaddr*>(&sa), &len);
        if (n < 0 && errno == EINTR) continue;
        if (n >= 0) {
            from.ip = sa.sin_addr.s_addr;
            from.port = ntohs(sa.sin_port);
        }
        return static_cast<long>(n);
    }
}

Channel::Channel(UdpSocket& socket, EventWait& wait) : socket_(socket), wait_(wait), buf_(kMaxDatagram + 1) {}

void Channel::lockTo(const Address& peer) {
    dest_ = peer;
    locked_ = true;
}

void Channel::expectFrom(const Address& server) {
    dest_ = server;
    locked_ = false;
}

Channel::Got Channel::receive(Clock::time_point deadline, std::string_view& datagram) {
    for (;;) {
        // Wait first: in lock step the answer is rarely there yet, and a queued
        // datagram makes the wait return at once.
        switch (wait_.wait(socket_.fd(), FD_READ, deadline)) {
        case Outcome::Done: break;
        case Outcome::TimedOut: return Got::Silence;
        case Outcome::Aborted: return Got::Aborted;
        default: error_ = EIO; return Got::Failed;
        }
        Address from;
        long n = socket_.recvFrom(buf_.data(), buf_.size(), from);
        if (n < 0) {
            // EAGAIN: nothing after all; ICMP errors of earlier sends: the peer's silence decides.
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ECONNREFUSED || errno == EHOSTUNREACH ||
                errno == ENETUNREACH)
                continue;
            error_ = errno;
            return Got::Failed;
        }
        const std::size_t size = static_cast<std::size_t>(n) < buf_.size() ? static_cast<std::size_t>(n) : buf_.size();
        const bool fromPeer = locked_ ? from == dest_ : from.ip == dest_.ip;
        if (!fromPeer) {
            ++foreign_;
            auto op = peekOpcode(std::string_view(buf_.data(), size));
            if (op && *op != static_cast<std::uint16_t>(Opcode::ERROR))
                socket_.sendTo(from, encodeError(ErrorCode::UnknownTransferId, "Unknown transfer ID"));
            continue;
        }
        if (!locked_) {
            dest_ = from;
            locked_ = true;
        }
        // A datagram beyond the largest packet arrives cut to one byte more than
        // that, so the decoder still sees it is too large.
        datagram = std::string_view(buf_.data(), size);
        return Got::Datagram;
    }
}

} // namespace vn::tftp
