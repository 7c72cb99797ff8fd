// Fuzz target for the reply classifier: the first 8 bytes are what we expect
// (identifier and sequence as they lie, the target address), the rest is the
// received datagram. Invariants: only the two error texts; an answer is an
// Echo, Unreachable or TTL Exceeded whose fields come from the datagram; an
// Echo is a type 0 message carrying exactly our identifier and sequence, from
// the target.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "icmp/EchoPacket.h"

using namespace vn::icmp;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 8) return 0;
    EchoExpectation e;
    e.identifier = static_cast<std::uint16_t>(data[0] | (data[1] << 8));
    e.sequence = static_cast<std::uint16_t>(data[2] | (data[3] << 8));
    std::memcpy(&e.target, data + 4, 4);
    std::string_view d(reinterpret_cast<const char*>(data + 8), size - 8);

    Classification c = classifyDatagram(d, e);
    switch (c.verdict) {
    case Verdict::Error:
        if (c.error != kNotEnoughBytes && c.error != kNonEchoType) std::abort();
        break;
    case Verdict::Skip: break;
    case Verdict::Answer: {
        const std::size_t h = 4u * (static_cast<std::uint8_t>(d[0]) & 0x0F);
        if (h < 20 || d.size() < h + 8) std::abort();
        if (c.reply.bytesReceived != static_cast<int>(d.size())) std::abort();
        if (c.reply.ttl != static_cast<std::uint8_t>(d[8])) std::abort();
        if (c.reply.type != static_cast<std::uint8_t>(d[h])) std::abort();
        if (c.reply.roundTripMs != 0 || c.reply.roundTripUs != 0) std::abort();
        switch (c.reply.status) {
        case EchoStatus::Echo:
            if (d[h] != 0 || std::memcmp(d.data() + h + 4, data, 4) != 0 || std::memcmp(d.data() + 12, data + 4, 4) != 0)
                std::abort();
            break;
        case EchoStatus::Unreachable:
            if (d[h] != 3) std::abort();
            break;
        case EchoStatus::TtlExceeded:
            if (d[h] != 11) std::abort();
            break;
        default: std::abort();
        }
        if (c.reply.status != EchoStatus::Echo && c.reply.sequence != e.sequence) std::abort();
        break;
    }
    }
    return 0;
}
