#pragma once
// One transfer's UDP socket and its peer. The peer (address and port, the
// transfer ID) is fixed once known: datagrams from anyone else are answered with
// ERROR 5 and otherwise ignored, so they never disturb the transfer. Every wait
// goes through the caller's EventWait, so Abort (or the server stopping) ends
// it at once.
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/EventWait.h"

namespace vn::tftp {

struct Address {
    std::uint32_t ip = 0;   // network byte order
    std::uint16_t port = 0; // host byte order
    bool operator==(const Address&) const = default;
    std::string ipText() const;
    // "ip:port"
    std::string text() const;
    static bool parse(const std::string& dotted, std::uint16_t port, Address& out);
};

class UdpSocket {
public:
    UdpSocket() = default;
    ~UdpSocket();
    UdpSocket(UdpSocket&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
    UdpSocket& operator=(UdpSocket&& o) noexcept;
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // A non-blocking IPv4 UDP socket bound to ip:port (port 0: any); 0 or errno.
    int open(std::uint32_t ip, std::uint16_t port);
    bool valid() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    std::uint16_t localPort() const;
    // 0 or errno.
    int sendTo(const Address& to, std::string_view bytes) const;
    // Bytes received (the datagram's full size, which may exceed cap), or -1
    // with errno (EAGAIN: nothing queued).
    long recvFrom(char* buf, std::size_t cap, Address& from) const;

private:
    int fd_ = -1;
};

class Channel {
public:
    using Clock = std::chrono::steady_clock;
    enum class Got { Datagram, Silence, Aborted, Failed };

    Channel(UdpSocket& socket, EventWait& wait);

    // The peer is known (the server's side of a transfer).
    void lockTo(const Address& peer);
    // Requests go to `server`; the first datagram from the server's address
    // (from any port) fixes the peer.
    void expectFrom(const Address& server);
    bool locked() const { return locked_; }
    const Address& peer() const { return dest_; }

    // Sends to the peer (or, before it is known, to the server); 0 or errno.
    int send(std::string_view bytes) const { return socket_.sendTo(dest_, bytes); }
    // The next datagram from the peer, before the deadline. Foreign datagrams
    // are answered (ERROR 5, never an answer to an ERROR) and skipped; they
    // don't move the deadline. The view stays valid until the next call.
    Got receive(Clock::time_point deadline, std::string_view& datagram);
    // errno of a Failed receive.
    int lastError() const { return error_; }
    // Datagrams answered with ERROR 5 so far.
    std::uint64_t foreignCount() const { return foreign_; }

private:
    UdpSocket& socket_;
    EventWait& wait_;
    Address dest_;
    bool locked_ = false;
    std::vector<char> buf_;
    int error_ = 0;
    std::uint64_t foreign_ = 0;
};

} // namespace vn::tftp
