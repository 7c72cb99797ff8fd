#pragma once
// The echo client of one Ping or Traceroute window. exchange() runs one echo
// exchange on the calling thread (the window's worker): resolve, open a socket
// (raw or datagram back-end), send one request, wait through the window's
// EventWait for our answer or the time-out, close. Abort (EventWait::abort)
// ends a pending look-up or wait at once.
#include <cstdint>
#include <optional>
#include <string>

#include "icmp/EchoPacket.h"
#include "icmp/IcmpChannel.h"
#include "platform/EventWait.h"
#include "platform/Outcome.h"

namespace vn::icmp {

inline constexpr int kDefaultTimeoutMs = 5000;
inline constexpr int kDefaultClientTtl = 128;

// The millisecond tick a request carries: the monotonic clock, modulo 2^32.
std::uint32_t tickCount();

// Host text to an address: "LOCALHOST" (any case) is 127.0.0.1, a dotted quad
// is taken as it is, anything else is nullopt (a name to look up).
std::optional<std::uint32_t> literalAddress(const std::string& host);

struct ExchangeResult {
    // Done: `reply` holds the record (Echo, TimeOut, Unreachable, TTL Exceeded).
    // Aborted: the user stopped it; nothing to show.
    // Failed: `error` holds the message box text; no record.
    Outcome outcome = Outcome::Failed;
    EchoReply reply;
    std::string error;
};

class IcmpClient {
public:
    // Each client takes its own identifier (the process id's low 16 bits for
    // the first, the next values for the others), so two windows never
    // mistake each other's replies.
    IcmpClient();

    void setHost(std::string host) { host_ = std::move(host); }
    const std::string& host() const { return host_; }
    // Milliseconds; below 1 means the default 5000.
    void setTimeout(int ms) { timeoutMs_ = ms < 1 ? kDefaultTimeoutMs : ms; }
    int timeout() const { return timeoutMs_; }
    // 1..255; anything else becomes 255 (the socket refuses it otherwise).
    void setTtl(int ttl) { ttl_ = ttl < 1 || ttl > 255 ? 255 : ttl; }
    int ttl() const { return ttl_; }
    void setBackendChoice(BackendChoice c) { choice_ = c; }

    std::uint16_t identifier() const { return identifier_; }
    // Sequence number of the next request; wraps after 65535.
    std::uint16_t sequence() const { return sequence_; }
    void setSequence(std::uint16_t s) { sequence_ = s; }

    // One exchange; see ExchangeResult. A host that does not resolve fails
    // before any socket is opened, so nothing is sent.
    ExchangeResult exchange(EventWait& wait);

    // The back-end of the last exchange that opened a socket.
    std::optional<Backend> lastBackend() const { return lastBackend_; }
    const EchoReply& lastReply() const { return lastReply_; }
    // Messages skipped in the last exchange (other processes' ICMP, late replies).
    int lastSkipped() const { return lastSkipped_; }

private:
    std::string host_;
    int timeoutMs_ = kDefaultTimeoutMs;
    int ttl_ = kDefaultClientTtl;
    BackendChoice choice_ = BackendChoice::Auto;
    std::uint16_t identifier_ = 0;
    std::uint16_t sequence_ = 0;
    std::optional<Backend> lastBackend_;
    EchoReply lastReply_;
    int lastSkipped_ = 0;
};

// "Socket Error # n\r\ndescription".
std::string socketErrorText(int n, const std::string& description);

} // namespace vn::icmp
