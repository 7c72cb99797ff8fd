#pragma once
// The ICMP echo request and the classification of what comes back. Pure: no
// sockets, no clock, so tests feed both with raw datagrams.
//
// Multi-byte fields of the request are written least significant byte first;
// the identifier and sequence are compared as the bytes lie on the wire.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vn::icmp {

inline constexpr std::size_t kRequestSize = 52;
inline constexpr std::size_t kReceiveBufferSize = 1024;

inline constexpr const char* kNotEnoughBytes = "Not enough bytes received";
inline constexpr const char* kNonEchoType = "Non-echo type response received";

enum class EchoStatus { Echo, Error, TimeOut, Unreachable, TtlExceeded };

// The row text of a status: "Echo", "Error", "TimeOut", "Unreachable", "TTL Exceeded".
const char* statusText(EchoStatus s);

// RFC 1071 over the bytes as they lie: the stored result is valid in either byte order.
std::uint16_t internetChecksum(std::string_view bytes);

// The 52-byte request: type 8, code 0, checksum, identifier, sequence, the
// millisecond tick at 8..11, eight zeros, 32 times "E".
std::string buildEchoRequest(std::uint16_t identifier, std::uint16_t sequence, std::uint32_t tick);

// One reply record, as handed to a session.
struct EchoReply {
    int bytesReceived = 0;           // with the IP header; 0 on time-out
    std::string source = "0.0.0.0";  // dotted sender of the answer
    std::uint8_t type = 0;           // ICMP type; 0 on time-out
    std::uint16_t sequence = 0;      // of the answer; on time-out the counter after the request
    std::uint32_t roundTripMs = 0;   // monotonic clock, send to receipt; 0 on time-out
    std::uint32_t roundTripUs = 0;   // the same in microseconds
    std::uint8_t ttl = 0;            // time-to-live byte of the received IP header; 0 on time-out
    EchoStatus status = EchoStatus::TimeOut;
};

// What an answer must match to count: our request, to our target.
struct EchoExpectation {
    std::uint16_t identifier = 0;
    std::uint16_t sequence = 0;
    std::uint32_t target = 0;  // IPv4 address in network byte order
};

enum class Verdict {
    Answer,  // it answers our request: reply.status says how
    Skip,    // someone else's ICMP, a late reply or a quote of another datagram: keep waiting
    Error    // ends the exchange with `error`
};

struct Classification {
    Verdict verdict = Verdict::Skip;
    EchoReply reply;    // length, source, type, sequence, TTL and status when Answer
    std::string error;  // when Error
};

// Classifies one received IPv4 datagram (header included). The round-trip
// fields are left for the caller, which timed the exchange.
//  - a header shorter than 20 bytes, or fewer than header + 8 bytes: Error "Not enough bytes received";
//  - type 0 with our identifier and sequence from the target: Echo;
//  - type 8, an echo request (our own, when a raw socket pings this machine): Skip;
//  - type 3 or 11 quoting our request to the target: Unreachable or TTL Exceeded;
//  - any other type quoting our request: Error "Non-echo type response received";
//  - everything else: Skip.
Classification classifyDatagram(std::string_view datagram, const EchoExpectation& expect);

// Dotted text of an address in network byte order.
std::string dottedAddress(std::uint32_t networkOrder);

} // namespace vn::icmp
