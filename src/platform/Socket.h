#pragma once
// A TCP socket (IPv4 or IPv6) that owns its descriptor. Sockets are always non-blocking:
// every operation is preceded by the socket event wait (EventWait), so a
// silent or vanished peer can never block a thread.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Tls.h"

namespace vn {

struct Endpoint {
    std::string address; // dotted IPv4 or IPv6 text, as inet_ntop writes it
    std::uint16_t port = 0;
    bool ipv6() const { return address.find(':') != std::string::npos; }
};

// True only for a literal dotted IPv4 address ("3com.example" is a name).
bool isDottedIPv4(std::string_view text);
// True only for a literal IPv6 address without brackets ("::1", "fe80::1").
bool isIPv6Literal(std::string_view text);
// The address in the form inet_ntop writes it ("::0001" gives "::1"); an
// IPv4-mapped IPv6 address gives its dotted IPv4 form. Empty when the text is
// no literal address.
std::string canonicalAddress(std::string_view text);

class Socket {
public:
    Socket() = default;
    explicit Socket(int fd) : fd_(fd) {}
    ~Socket();
    Socket(Socket&& o) noexcept : fd_(o.fd_), tls_(std::move(o.tls_)) { o.fd_ = -1; }
    Socket& operator=(Socket&& o) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    // A new non-blocking TCP socket; on failure invalid, with errno in err.
    static Socket tcp(int& err, bool ipv6 = false);
    // One of the family a literal address needs.
    static Socket tcpFor(const std::string& address, int& err) { return tcp(err, isIPv6Literal(address)); }

    int fd() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void close();
    // The descriptor, handed over without TLS close_notify (a reset close).
    int release();

    // TLS on this socket: sendSome and recvSome go through it from now on.
    void attachTls(std::unique_ptr<TlsLayer> tls);
    TlsLayer* tls() const { return tls_.get(); }
    // Data already decrypted that no socket event announces: read it before waiting.
    bool buffered() const;
    // The events to wait for before retrying an operation that needed `events`:
    // TLS may need the other direction (a handshake message inside a read).
    unsigned waitEvents(unsigned events) const;

    // Starts a non-blocking connect to a literal IPv4 or IPv6 address (of the
    // socket's family): 0 when connected or in progress, else errno.
    int connectStart(const std::string& address, std::uint16_t port);
    // The pending error of the socket (SO_ERROR): 0 after a successful connect.
    int pendingError() const;

    // One send/recv call. send never raises SIGPIPE. Both return -1 with errno
    // set on failure (EAGAIN when nothing could be moved now); recv returns 0 at
    // the end of the stream.
    long sendSome(const char* data, std::size_t size);
    long recvSome(char* data, std::size_t size);

    std::optional<Endpoint> localAddress() const;
    std::optional<Endpoint> peerAddress() const;

    // Binds to address:port (port 0: the kernel chooses) and listens; 0 or errno.
    int listenOn(const std::string& address, std::uint16_t port, int backlog = 1);
    // Accepts one pending connection (non-blocking); invalid with errno in err.
    Socket acceptOne(Endpoint* peer, int& err);

private:
    int fd_ = -1;
    std::unique_ptr<TlsLayer> tls_;
};

} // namespace vn
