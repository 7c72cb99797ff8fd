#include "icmp/EchoPacket.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstring>

namespace vn::icmp {

namespace {

inline std::uint8_t byteAt(std::string_view s, std::size_t i) { return static_cast<std::uint8_t>(s[i]); }

inline std::uint16_t le16(std::string_view s, std::size_t i) {
    return static_cast<std::uint16_t>(byteAt(s, i) | (byteAt(s, i + 1) << 8));
}

inline std::uint32_t rawAddress(std::string_view s, std::size_t i) {
    std::uint32_t a = 0;
    auto* p = reinterpret_cast<unsigned char*>(&a);
    for (int k = 0; k < 4; ++k) p[k] = byteAt(s, i + k);
    return a;  // as on the wire: network byte order
}

// The quoted datagram of an error message is ours: an echo request carrying
// our identifier and sequence, sent to our target.
bool quotesOurRequest(std::string_view icmp, const EchoExpectation& e) {
    std::string_view quote = icmp.substr(8);
    if (quote.size() < 20) return false;
    std::size_t qh = 4u * (byteAt(quote, 0) & 0x0F);
    if ((byteAt(quote, 0) >> 4) != 4 || qh < 20 || quote.size() < qh + 8) return false;
    if (byteAt(quote, 9) != IPPROTO_ICMP) return false;
    if (rawAddress(quote, 16) != e.target) return false;
    std::string_view req = quote.substr(qh);
    return byteAt(req, 0) == 8 && le16(req, 4) == e.identifier && le16(req, 6) == e.sequence;
}

} // namespace

const char* statusText(EchoStatus s) {
    switch (s) {
    case EchoStatus::Echo: return "Echo";
    case EchoStatus::Error: return "Error";
    case EchoStatus::TimeOut: return "TimeOut";
    case EchoStatus::Unreachable: return "Unreachable";
    case EchoStatus::TtlExceeded: return "TTL Exceeded";
    }
    return "Error";
}

std::uint16_t internetChecksum(std::string_view bytes) {
    std::uint32_t sum = 0;
    std::size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        // Words as they lie in memory (native order): the result lands in the
        // same order, so the stored checksum is valid either way.
        std::uint16_t w;
        auto* p = reinterpret_cast<unsigned char*>(&w);
        p[0] = byteAt(bytes, i);
        p[1] = byteAt(bytes, i + 1);
        sum += w;
    }
    if (i < bytes.size()) {
        std::uint16_t w = 0;
        reinterpret_cast<unsigned char*>(&w)[0] = byteAt(bytes, i);
        sum += w;
    }
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

std::string buildEchoRequest(std::uint16_t identifier, std::uint16_t sequence, std::uint32_t tick) {
    std::string r(kRequestSize, '\0');
    auto put16 = [&](std::size_t at, std::uint16_t v) {
        r[at] = static_cast<char>(v & 0xFF);
        r[at + 1] = static_cast<char>(v >> 8);
    };
    r[0] = 8;
    r[1] = 0;
    put16(4, identifier);
    put16(6, sequence);
    for (int k = 0; k < 4; ++k) r[8 + k] = static_cast<char>((tick >> (8 * k)) & 0xFF);
    for (std::size_t k = 20; k < kRequestSize; ++k) r[k] = 'E';
    std::uint16_t sum = internetChecksum(r);
    std::memcpy(r.data() + 2, &sum, 2);  // native order, matching the sum
    return r;
}

std::string dottedAddress(std::uint32_t networkOrder) {
    in_addr a{};
    a.s_addr = networkOrder;
    char buf[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a, buf, sizeof buf);
    return buf;
}

Classification classifyDatagram(std::string_view d, const EchoExpectation& e) {
    Classification c;
    auto error = [&](const char* text) {
        c.verdict = Verdict::Error;
        c.error = text;
        return c;
    };
    if (d.size() < 20) return error(kNotEnoughBytes);
    std::size_t h = 4u * (byteAt(d, 0) & 0x0F);
    if (h < 20 || d.size() < h + 8) return error(kNotEnoughBytes);

    std::string_view icmp = d.substr(h);
    const std::uint8_t type = byteAt(icmp, 0);
    const std::uint32_t source = rawAddress(d, 12);
    const std::uint16_t id = le16(icmp, 4);
    const std::uint16_t seq = le16(icmp, 6);

    EchoReply& r = c.reply;
    r.bytesReceived = static_cast<int>(d.size());
    r.source = dottedAddress(source);
    r.type = type;
    r.ttl = byteAt(d, 8);
    r.sequence = seq;

    switch (type) {
    case 8:
        // A request, not an answer: on this machine a raw socket sees our own
        // outgoing request before the reply. Taking it would report a round trip
        // that never happened (and an Echo from a host that ignores pings).
        return c;  // Skip
    case 0:
        if (id != e.identifier || seq != e.sequence || source != e.target) return c;  // Skip
        r.status = EchoStatus::Echo;
        break;
    case 3:
    case 11:
        if (!quotesOurRequest(icmp, e)) return c;
        r.status = type == 3 ? EchoStatus::Unreachable : EchoStatus::TtlExceeded;
        r.sequence = e.sequence;  // ours, as quoted
        break;
    default:
        if (icmp.size() < 8 + 20 + 8 || !quotesOurRequest(icmp, e)) return c;
        return error(kNonEchoType);
    }
    c.verdict = Verdict::Answer;
    return c;
}

} // namespace vn::icmp
