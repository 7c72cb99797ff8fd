#pragma once
// The ICMP socket of one exchange, in one of two back-ends chosen at run time:
//  - Raw: SOCK_RAW/IPPROTO_ICMP, when the process may open one (CAP_NET_RAW).
//    It sees every ICMP message of the host; the classifier picks ours.
//  - Datagram: the unprivileged ICMP socket (SOCK_DGRAM/IPPROTO_ICMP), allowed
//    when the user's group is in net.ipv4.ping_group_range. The kernel sets the
//    identifier and delivers only our replies, without the IP header;
//    time-exceeded and unreachable messages come through the error queue
//    (IP_RECVERR).
// Either way receive() hands back one whole IPv4 datagram (the datagram
// back-end rebuilds the headers it does not get), so one classifier serves both.
#include <cstdint>
#include <optional>
#include <string>

namespace vn::icmp {

enum class Backend { Raw, Datagram };
// Auto: raw when permitted, else datagram.
enum class BackendChoice { Auto, Raw, Datagram };

const char* backendName(Backend b);

// The text when neither socket may be opened: the system's words, then the
// administrator's one-line fix.
std::string cannotAllocateText(int err);

class IcmpChannel {
public:
    IcmpChannel() = default;
    ~IcmpChannel();
    IcmpChannel(IcmpChannel&& o) noexcept;
    IcmpChannel& operator=(IcmpChannel&& o) noexcept;
    IcmpChannel(const IcmpChannel&) = delete;
    IcmpChannel& operator=(const IcmpChannel&) = delete;

    // Opens a non-blocking socket. On failure the channel is invalid and err
    // holds the errno of the last attempt.
    static IcmpChannel open(BackendChoice choice, int& err);

    bool valid() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    Backend backend() const { return backend_; }
    // The identifier our request must carry to be recognised: for the
    // datagram back-end the kernel's (as the bytes lie), else nullopt.
    std::optional<std::uint16_t> kernelIdentifier() const { return kernelId_; }

    // IP time-to-live of the outgoing datagrams (1..255); 0 or errno.
    int setTtl(int ttl);
    // One sendto of the request; the byte count, or -1 with errno set.
    long sendTo(const std::string& request, std::uint32_t target);

    enum class Received { Datagram, Nothing, Failed };
    // One message, without blocking: Datagram with the bytes in `out`, Nothing
    // when none is waiting, Failed with errno in err (a local error from the
    // error queue, or a failed call).
    Received receive(std::string& out, int& err);

private:
    explicit IcmpChannel(int fd, Backend b) : fd_(fd), backend_(b) {}
    Received receiveError(std::string& out, int& err);
    void close();

    int fd_ = -1;
    Backend backend_ = Backend::Raw;
    std::optional<std::uint16_t> kernelId_;
};

} // namespace vn::icmp
