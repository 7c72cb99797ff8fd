#include "icmp/IcmpChannel.h"

#include "icmp/EchoPacket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <linux/errqueue.h>
#include <linux/icmp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vn::icmp {

namespace {

// A 20-byte IPv4 header for what the datagram back-end receives without one.
std::string ipHeader(std::size_t payload, std::uint8_t ttl, std::uint32_t src, std::uint32_t dst) {
    std::string h(20, '\0');
    std::size_t total = 20 + payload;
    h[0] = 0x45;
    h[2] = static_cast<char>((total >> 8) & 0xFF);
    h[3] = static_cast<char>(total & 0xFF);
    h[8] = static_cast<char>(ttl);
    h[9] = IPPROTO_ICMP;
    std::memcpy(h.data() + 12, &src, 4);
    std::memcpy(h.data() + 16, &dst, 4);
    return h;
}

std::uint8_t ttlFrom(msghdr& msg) {
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_TTL) {
            int ttl = 0;
            std::memcpy(&ttl, CMSG_DATA(c), sizeof ttl);
            return static_cast<std::uint8_t>(ttl);
        }
    }
    return 0;
}

} // namespace

const char* backendName(Backend b) { return b == Backend::Raw ? "raw" : "datagram"; }

std::string cannotAllocateText(int err) {
    std::string text = "Cannot allocate socket.";
    if (err == EPERM || err == EACCES) {
        text += "\r\nThis user may open neither a raw ICMP socket nor an unprivileged ICMP "
                "(ping) socket. An administrator can allow ping sockets for every user with:"
                "\r\nsysctl -w net.ipv4.ping_group_range=\"0 2147483647\""
                "\r\n(kept across restarts in /etc/sysctl.d).";
    } else if (err != 0) {
        text += "\r\n";
        text += std::strerror(err);
    }
    return text;
}

IcmpChannel::~IcmpChannel() { close(); }

IcmpChannel::IcmpChannel(IcmpChannel&& o) noexcept
    : fd_(o.fd_), backend_(o.backend_), kernelId_(o.kernelId_) {
    o.fd_ = -1;
}

IcmpChannel& IcmpChannel::operator=(IcmpChannel&& o) noexcept {
    if (this != &o) {
        close();
        fd_ = o.fd_;
        backend_ = o.backend_;
        kernelId_ = o.kernelId_;
        o.fd_ = -1;
    }
    return *this;
}

void IcmpChannel::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

IcmpChannel IcmpChannel::open(BackendChoice choice, int& err) {
    err = 0;
    if (choice != BackendChoice::Datagram) {
        int fd = ::socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
        if (fd >= 0) {
            // Only what can answer an echo request reaches us: replies and the
            // error messages that may quote it. Other processes' requests, and
            // our own seen on this machine, stay out.
            icmp_filter f{};
            f.data = ~((1u << 0) | (1u << 3) | (1u << 4) | (1u << 5) | (1u << 11) | (1u << 12));
            ::setsockopt(fd, SOL_RAW, ICMP_FILTER, &f, sizeof f);
            return IcmpChannel(fd, Backend::Raw);
        }
        err = errno;
        if (choice == BackendChoice::Raw || (err != EPERM && err != EACCES)) return {};
    }
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0) {
        // Keep the raw attempt's EPERM when this one says the same in other words.
        int e = errno;
        if (err == 0 || (e != EPERM && e != EACCES)) err = e;
        return {};
    }
    IcmpChannel ch(fd, Backend::Datagram);
    int on = 1;
    // Time-exceeded and unreachable messages only reach a ping socket through
    // its error queue; the TTL of what arrives comes as ancillary data.
    if (::setsockopt(fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on) != 0 ||
        ::setsockopt(fd, IPPROTO_IP, IP_RECVTTL, &on, sizeof on) != 0) {
        err = errno;
        return {};
    }
    // Binding to port 0 makes the kernel choose an identifier no other ping
    // socket uses; the request carries it so that quotes of it are recognised.
    sockaddr_in local{};
    local.sin_family = AF_INET;
    socklen_t len = sizeof local;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len) != 0) {
        err = errno;
        return {};
    }
    const auto* p = reinterpret_cast<const unsigned char*>(&local.sin_port);
    ch.kernelId_ = static_cast<std::uint16_t>(p[0] | (p[1] << 8));
    return ch;
}

int IcmpChannel::setTtl(int ttl) {
    if (::setsockopt(fd_, IPPROTO_IP, IP_TTL, &ttl, sizeof ttl) != 0) return errno;
    return 0;
}

long IcmpChannel::sendTo(const std::string& request, std::uint32_t target) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = target;
    return ::sendto(fd_, request.data(), request.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&to),
                    sizeof to);
}

IcmpChannel::Received IcmpChannel::receive(std::string& out, int& err) {
    err = 0;
    char buf[kReceiveBufferSize];
    if (backend_ == Backend::Raw) {
        long n = ::recv(fd_, buf, sizeof buf, 0);
        if (n < 0) {
            err = errno;
            return err == EAGAIN || err == EWOULDBLOCK || err == EINTR ? Received::Nothing : Received::Failed;
        }
        out.assign(buf, static_cast<std::size_t>(n));
        return Received::Datagram;
    }

    // Errors first: a pending one also fails the ordinary receive.
    Received e = receiveError(out, err);
    if (e != Received::Nothing) return e;

    sockaddr_in from{};
    alignas(cmsghdr) char control[256];
    iovec iov{buf, sizeof buf - 20};
    msghdr msg{};
    msg.msg_name = &from;
    msg.msg_namelen = sizeof from;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    long n = ::recvmsg(fd_, &msg, 0);
    if (n < 0) {
        err = errno;
        return err == EAGAIN || err == EWOULDBLOCK || err == EINTR ? Received::Nothing : Received::Failed;
    }
    out = ipHeader(static_cast<std::size_t>(n), ttlFrom(msg), from.sin_addr.s_addr, 0);
    out.append(buf, static_cast<std::size_t>(n));
    return Received::Datagram;
}

// One message of the error queue, rebuilt as the ICMP error datagram the
// router sent: its header (source the offender), then the quoted header and
// the start of our request.
IcmpChannel::Received IcmpChannel::receiveError(std::string& out, int& err) {
    char payload[kReceiveBufferSize];
    sockaddr_in dest{};
    alignas(cmsghdr) char control[512];
    iovec iov{payload, sizeof payload - 64};
    msghdr msg{};
    msg.msg_name = &dest;
    msg.msg_namelen = sizeof dest;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    long n = ::recvmsg(fd_, &msg, MSG_ERRQUEUE);
    if (n < 0) {
        err = errno;
        return err == EAGAIN || err == EWOULDBLOCK || err == EINTR ? Received::Nothing : Received::Failed;
    }
    const sock_extended_err* ee = nullptr;
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c))
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_RECVERR)
            ee = reinterpret_cast<const sock_extended_err*>(CMSG_DATA(c));
    // The same error also sits in the socket's pending error, which would fail
    // the next ordinary receive: it has been read here.
    int pending = 0;
    socklen_t plen = sizeof pending;
    ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &pending, &plen);
    if (!ee) return Received::Nothing;
    if (ee->ee_origin != SO_EE_ORIGIN_ICMP) {
        err = static_cast<int>(ee->ee_errno);
        return Received::Failed;
    }
    std::uint32_t offender = 0;
    const sockaddr* off = SO_EE_OFFENDER(ee);
    if (off->sa_family == AF_INET) offender = reinterpret_cast<const sockaddr_in*>(off)->sin_addr.s_addr;

    std::string icmp(8, '\0');
    icmp[0] = static_cast<char>(ee->ee_type);
    icmp[1] = static_cast<char>(ee->ee_code);
    std::string quotedReq(payload, static_cast<std::size_t>(n));
    icmp += ipHeader(quotedReq.size(), 1, 0, dest.sin_addr.s_addr);
    icmp += quotedReq;
    out = ipHeader(icmp.size(), ttlFrom(msg), offender, 0);
    out += icmp;
    return Received::Datagram;
}

} // namespace vn::icmp
